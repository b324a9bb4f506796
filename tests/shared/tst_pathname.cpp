// The split every program uses before acting relative to a folder.
#include "shared/PathName.h"

#include <QTest>

using tavoren::shared::PathName;

class TestPathName : public QObject
{
    Q_OBJECT

private slots:
    void split_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QString>("name");
        QTest::newRow("deep") << QStringLiteral("/var/tmp/kyr/file") << QStringLiteral("/var/tmp/kyr") << QStringLiteral("file");
        QTest::newRow("below the root") << QStringLiteral("/etc") << QStringLiteral("/") << QStringLiteral("etc");
        QTest::newRow("the root") << QStringLiteral("/") << QStringLiteral("/") << QString();
        QTest::newRow("no slash") << QStringLiteral("file") << QStringLiteral(".") << QStringLiteral("file");
        QTest::newRow("relative") << QStringLiteral("a/b") << QStringLiteral("a") << QStringLiteral("b");
        QTest::newRow("trailing slash") << QStringLiteral("/a/b/") << QStringLiteral("/a/b") << QString();
        QTest::newRow("empty") << QString() << QStringLiteral(".") << QString();
    }

    void split()
    {
        QFETCH(QString, path);
        QFETCH(QString, parent);
        QFETCH(QString, name);
        const std::string bytes = path.toStdString();
        QCOMPARE(QString::fromStdString(PathName::parent(bytes)), parent);
        QCOMPARE(QString::fromStdString(PathName::lastComponent(bytes)), name);
    }
};

QTEST_GUILESS_MAIN(TestPathName)
#include "tst_pathname.moc"
