// How the job argument is put together and taken apart by the backend, the
// agent and the client alike.
#include "shared/JobArgument.h"

#include <QStringList>
#include <QTest>

using tavoren::shared::JobArgument;

namespace {
QStringList toList(const std::vector<std::string> &pieces)
{
    QStringList list;
    for (const std::string &piece : pieces)
        list << QString::fromStdString(piece);
    return list;
}
} // namespace

class TestJobArgument : public QObject
{
    Q_OBJECT

private slots:
    void pieces_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QStringList>("pieces");
        QTest::addColumn<QString>("spooledFile");
        QTest::addColumn<QString>("extension");
        QTest::newRow("name and path") << QStringLiteral("Report.pdf:: ::/spool/j/f.pdf")
                                       << QStringList{QStringLiteral("Report.pdf"), QStringLiteral("/spool/j/f.pdf")}
                                       << QStringLiteral("/spool/j/f.pdf") << QStringLiteral("pdf");
        QTest::newRow("no separator") << QStringLiteral("Report.pdf /spool/j/f.pdf")
                                      << QStringList{QStringLiteral("Report.pdf /spool/j/f.pdf")} << QString()
                                      << QStringLiteral("pdf");
        QTest::newRow("three pieces") << QStringLiteral("a:: ::b:: ::c")
                                      << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}
                                      << QStringLiteral("b") << QString();
        QTest::newRow("colons in the name") << QStringLiteral("12:30 :: notes.txt:: ::/p")
                                            << QStringList{QStringLiteral("12:30 :: notes.txt"), QStringLiteral("/p")}
                                            << QStringLiteral("/p") << QStringLiteral("txt");
        QTest::newRow("empty name") << QStringLiteral(":: ::/p") << QStringList{QString(), QStringLiteral("/p")}
                                    << QStringLiteral("/p") << QString();
        QTest::newRow("empty path") << QStringLiteral("a.b:: ::") << QStringList{QStringLiteral("a.b"), QString()}
                                    << QString() << QStringLiteral("b");
        QTest::newRow("empty") << QString() << QStringList{QString()} << QString() << QString();
        QTest::newRow("separators overlap") << QStringLiteral("a:: :: ::b")
                                            << QStringList{QStringLiteral("a"), QStringLiteral(" ::b")}
                                            << QStringLiteral(" ::b") << QString();
        QTest::newRow("non-ASCII name") << QStringLiteral("Résumé.é:: ::/p")
                                        << QStringList{QStringLiteral("Résumé.é"), QStringLiteral("/p")}
                                        << QStringLiteral("/p") << QStringLiteral("é");
    }

    void pieces()
    {
        QFETCH(QString, argument);
        QFETCH(QStringList, pieces);
        QFETCH(QString, spooledFile);
        QFETCH(QString, extension);
        const std::string bytes = argument.toStdString();
        const std::vector<std::string> split = JobArgument::pieces(bytes);
        QCOMPARE(toList(split), pieces);
        // The same cut as the client's text split makes.
        QCOMPARE(toList(split), argument.split(QString::fromUtf8(JobArgument::separator)));
        QCOMPARE(QString::fromStdString(JobArgument::spooledFile(bytes)), spooledFile);
        QCOMPARE(QString::fromStdString(JobArgument::extension(split.front())), extension);
        if (split.size() == 2)
            QCOMPARE(JobArgument::compose(split[0], split[1]), bytes);
    }
};

QTEST_GUILESS_MAIN(TestJobArgument)
#include "tst_jobargument.moc"
