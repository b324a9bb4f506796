#include "shared/SystemPath.h"

#include <QTest>

using tavoren::shared::SystemPath;

class TestSystemPath : public QObject
{
    Q_OBJECT

private slots:
    void resolve_data()
    {
        QTest::addColumn<QByteArray>("root");
        QTest::addColumn<bool>("set");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");

        const QString admin = QStringLiteral("/Library/Preferences/CorvaneTavorenAdmin.plist");
        QTest::newRow("unset") << QByteArray() << false << admin << admin;
        QTest::newRow("empty") << QByteArray() << true << admin << admin;
        QTest::newRow("root") << QByteArray("/tmp/r") << true << admin << QStringLiteral("/tmp/r") + admin;
        QTest::newRow("trailing slashes") << QByteArray("/tmp/r//") << true << admin << QStringLiteral("/tmp/r") + admin;
        QTest::newRow("slash root") << QByteArray("/") << true << admin << admin;
        QTest::newRow("path with spaces") << QByteArray("/tmp/a b") << true
                                          << QStringLiteral("/Library/Printers/CorvaneTavoren/Corvane Tavoren for Mac.app")
                                          << QStringLiteral("/tmp/a b/Library/Printers/CorvaneTavoren/Corvane Tavoren for Mac.app");
    }

    void resolve()
    {
        QFETCH(QByteArray, root);
        QFETCH(bool, set);
        QFETCH(QString, path);
        QFETCH(QString, expected);
        if (set)
            qputenv(SystemPath::rootVariable, root);
        else
            qunsetenv(SystemPath::rootVariable);
        QCOMPARE(QString::fromStdString(SystemPath::resolve(path.toStdString())), expected);
        qunsetenv(SystemPath::rootVariable);
    }
};

QTEST_GUILESS_MAIN(TestSystemPath)
#include "tst_systempath.moc"
