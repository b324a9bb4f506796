#include "client/core/Log.h"
#include "client/core/LogFile.h"
#include "support/RecordingSystemLog.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTimeZone>

#include <cstdio>
#include <sys/stat.h>
#include <cstdlib>
#include <latch>
#include <thread>
#include <vector>

using namespace tavoren::client;
using tavoren::testsupport::RecordingSystemLog;
using tavoren::testsupport::TestRoot;

namespace {

const QString logName = QStringLiteral("/private/var/log/cups/tavorencups/tavorendriver.log");
const QString backupName = QStringLiteral("/private/var/log/cups/tavorencups/tavorendriver.1.log");
const QString generatingFailed = QStringLiteral("Error in generating log file");
const QString writingFailed = QStringLiteral("Error in writing logging");
const QString writerDetails = QStringLiteral("<- concurrent writer ") + QString(120, QLatin1Char('x'));

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Whole lines of filler, cut to exactly `size` bytes.
QByteArray filler(qint64 size)
{
    QByteArray out;
    out.reserve(size);
    for (int i = 0; out.size() < size; ++i)
        out += "filler line " + QByteArray::number(i) + ' ' + QByteArray(80, '.') + '\n';
    out.truncate(size);
    return out;
}

QStringList timestampsBetween(const QDateTime &from, const QDateTime &to)
{
    QStringList result;
    for (QDateTime t = from.addMSecs(-from.time().msec()); t <= to; t = t.addSecs(1))
        result.append(LogFile::formatTimestamp(t));
    return result;
}

void writeLines(int writer, int threads, int lines)
{
    std::latch start(threads);
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int i = 0; i < lines; ++i)
                Log(LogLevel::Status, QStringLiteral("w%1-t%2 #%3").arg(writer).arg(t).arg(i), writerDetails);
        });
    }
    for (std::thread &thread : pool)
        thread.join();
}

// Child mode: waits for "go" on standard input so all writers start together.
int writerChild(int writer, int threads, int lines)
{
    RecordingSystemLog systemLog;
    char go[8] = {};
    if (!std::fgets(go, sizeof go, stdin))
        return 2;
    writeLines(writer, threads, lines);
    for (const QString &message : systemLog.messages())
        std::fprintf(stderr, "%s\n", qPrintable(message));
    return systemLog.messages().isEmpty() ? 0 : 1;
}

} // namespace

class TestLogFile : public QObject
{
    Q_OBJECT

private slots:
    void levelWords_data()
    {
        QTest::addColumn<LogLevel>("level");
        QTest::addColumn<QString>("word");
        QTest::newRow("status") << LogLevel::Status << QStringLiteral("Status");
        QTest::newRow("debug") << LogLevel::Debug << QStringLiteral("Debug");
        QTest::newRow("error") << LogLevel::Error << QStringLiteral("Error");
    }

    void levelWords()
    {
        QFETCH(LogLevel, level);
        QFETCH(QString, word);
        QCOMPARE(levelWord(level), word);
    }

    // Long date with medium time, in the user's zone (UTC under the test runner).
    void timestamp_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("pattern");
        const QString at = QStringLiteral("(,| at) ");
        QTest::newRow("afternoon") << QDateTime(QDate(2024, 1, 5), QTime(15, 4, 5), QTimeZone(0))
                                   << QStringLiteral("January 5, 2024") + at + QStringLiteral("3:04:05[\\x{202F} ]PM");
        QTest::newRow("morning") << QDateTime(QDate(2023, 12, 31), QTime(9, 8, 7), QTimeZone(0))
                                 << QStringLiteral("December 31, 2023") + at + QStringLiteral("9:08:07[\\x{202F} ]AM");
        QTest::newRow("other zone shown in user's") << QDateTime(QDate(2024, 3, 1), QTime(1, 30, 0),
            QTimeZone(2 * 3600)) << QStringLiteral("February 29, 2024") + at + QStringLiteral("11:30:00[\\x{202F} ]PM");
    }

    void timestamp()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, pattern);
        const QString text = LogFile::formatTimestamp(when);
        QVERIFY2(
            QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(text).hasMatch(), qPrintable(text));
    }

    void lineFormat_data()
    {
        QTest::addColumn<LogLevel>("level");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("details");
        QTest::addColumn<QString>("head");
        QTest::addColumn<QString>("tail");
        QTest::newRow("with details") << LogLevel::Status << QStringLiteral("upload.pdf")
                                      << QStringLiteral("<- Upload started") << QStringLiteral("Status : ")
                                      << QStringLiteral(" Message: upload.pdf  Details: <- Upload started\n");
        QTest::newRow("empty details") << LogLevel::Error << QStringLiteral("404") << QString()
                                       << QStringLiteral("Error : ") << QStringLiteral(" Message: 404 \n");
        QTest::newRow("empty message") << LogLevel::Debug << QString()
                                       << QStringLiteral("Trying to launch from the doc or app")
                                       << QStringLiteral("Debug : ")
                                       << QStringLiteral(" Message:   Details: Trying to launch from the doc or app\n");
        QTest::newRow("spaces kept") << LogLevel::Status << QStringLiteral("  a ") << QStringLiteral(" <- b ")
                                     << QStringLiteral("Status : ")
                                     << QStringLiteral(" Message:   a   Details:  <- b \n");
        QTest::newRow("line feeds kept") << LogLevel::Error << QStringLiteral("a\nb") << QStringLiteral("c\n")
                                         << QStringLiteral("Error : ")
                                         << QStringLiteral(" Message: a\nb  Details: c\n\n");
        QTest::newRow("UTF-8") << LogLevel::Status << QStringLiteral("Zoë €") << QString()
                               << QStringLiteral("Status : ") << QStringLiteral(" Message: Zoë € \n");
    }

    // The first call creates the file, and it then holds exactly this line.
    void lineFormat()
    {
        QFETCH(LogLevel, level);
        QFETCH(QString, message);
        QFETCH(QString, details);
        QFETCH(QString, head);
        QFETCH(QString, tail);
        TestRoot root;
        RecordingSystemLog systemLog;
        QVERIFY(!QFile::exists(root.system(logName)));

        const QDateTime before = QDateTime::currentDateTime();
        Log(level, message, details);
        const QDateTime after = QDateTime::currentDateTime();

        const QString content = QString::fromUtf8(readFile(root.system(logName)));
        QVERIFY2(content.startsWith(head) && content.endsWith(tail), qPrintable(content));
        const QString stamp = content.mid(head.size(), content.size() - head.size() - tail.size());
        QVERIFY2(timestampsBetween(before, after).contains(stamp), qPrintable(stamp));
        QVERIFY(systemLog.messages().isEmpty());
    }

    // The paths follow the root in force at each call.
    void pathsFollowRoot()
    {
        TestRoot first;
        Log(LogLevel::Status, QStringLiteral("one"), QString());
        {
            TestRoot second;
            Log(LogLevel::Status, QStringLiteral("two"), QString());
            QVERIFY(readFile(second.system(logName)).endsWith(" Message: two \n"));
        }
        Log(LogLevel::Status, QStringLiteral("three"), QString());
        const QByteArray content = readFile(first.system(logName));
        QCOMPARE(content.count('\n'), 2);
        QVERIFY(content.endsWith(" Message: three \n"));
    }

    void rotation_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("earlierBackup");
        QTest::addColumn<bool>("rotates");
        QTest::newRow("empty") << qint64(0) << false << false;
        QTest::newRow("exactly at the limit") << qint64(1024000) << false << false;
        QTest::newRow("at the limit, backup kept") << qint64(1024000) << true << false;
        QTest::newRow("one byte over") << qint64(1024001) << false << true;
        QTest::newRow("one byte over, backup replaced") << qint64(1024001) << true << true;
        QTest::newRow("far over") << qint64(3000000) << true << true;
    }

    void rotation()
    {
        QFETCH(qint64, size);
        QFETCH(bool, earlierBackup);
        QFETCH(bool, rotates);
        TestRoot root;
        RecordingSystemLog systemLog;
        const QByteArray old = filler(size);
        const QByteArray oldBackup = "an earlier backup\n";
        root.writeFile(logName, old);
        if (earlierBackup)
            root.writeFile(backupName, oldBackup);

        Log(LogLevel::Status, QStringLiteral("next"), QStringLiteral("<- after"));

        const QByteArray log = readFile(root.system(logName));
        const QByteArray line = log.mid(rotates ? 0 : old.size());
        QVERIFY(line.startsWith("Status : "));
        QVERIFY(line.endsWith(" Message: next  Details: <- after\n"));
        QCOMPARE(line.count('\n'), 1);
        if (rotates) {
            QCOMPARE(readFile(root.system(backupName)), old);
        } else {
            QVERIFY(log.startsWith(old));
            QCOMPARE(QFile::exists(root.system(backupName)), earlierBackup);
            if (earlierBackup)
                QCOMPARE(readFile(root.system(backupName)), oldBackup);
        }
        // At most the log and one backup, nothing else.
        QStringList expected{QStringLiteral("tavorendriver.log")};
        if (rotates || earlierBackup)
            expected.prepend(QStringLiteral("tavorendriver.1.log"));
        QCOMPARE(QDir(root.logDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name),
            expected);
        QVERIFY(systemLog.messages().isEmpty());
    }

    // The folder is never created; every call reports both failures.
    void missingFolder()
    {
        TestRoot root;
        QVERIFY(QDir(root.logDir()).removeRecursively());
        RecordingSystemLog systemLog;

        Log(LogLevel::Status, QStringLiteral("a"), QStringLiteral("b"));
        Log(LogLevel::Error, QStringLiteral("c"), QString());

        QCOMPARE(systemLog.messages(), QStringList({generatingFailed, writingFailed, generatingFailed, writingFailed}));
        QVERIFY(QDir(root.system(QStringLiteral("/private/var/log/cups"))).isEmpty());
    }

    // Users of one computer share the log: whoever creates it, all can append.
    void newLogIsWritableForAll_data()
    {
        QTest::addColumn<bool>("rotated");
        QTest::newRow("first line") << false;
        QTest::newRow("after rotation") << true;
    }

    void newLogIsWritableForAll()
    {
        QFETCH(bool, rotated);
        TestRoot root;
        if (rotated)
            root.writeFile(QStringLiteral("/private/var/log/cups/tavorencups/tavorendriver.log"), QByteArray(LogFile::sizeLimit + 1, 'x'));
        const mode_t previous = ::umask(022);
        Log(LogLevel::Status, QStringLiteral("a"), QString());
        ::umask(previous);
        const QFile::Permissions all = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup
            | QFile::ReadOther | QFile::WriteOther;
        QCOMPARE(QFile::permissions(LogFile::logFilePath()) & all, all);
    }

    // A backup that cannot be replaced: reported, and the log keeps growing.
    void rotationFailure()
    {
        TestRoot root;
        const QByteArray old = filler(1024001);
        root.writeFile(logName, old);
        root.writeFile(backupName + QStringLiteral("/blocker"), "x");
        RecordingSystemLog systemLog;

        Log(LogLevel::Status, QStringLiteral("one"), QString());
        Log(LogLevel::Status, QStringLiteral("two"), QString());

        QCOMPARE(systemLog.messages(), QStringList({generatingFailed, generatingFailed}));
        const QByteArray log = readFile(root.system(logName));
        QVERIFY(log.startsWith(old));
        const QList<QByteArray> added = log.mid(old.size()).split('\n');
        QCOMPARE(added.size(), 3);
        QVERIFY(added.at(0).endsWith(" Message: one "));
        QVERIFY(added.at(1).endsWith(" Message: two "));
    }

    // Writers start on a file just over the limit, so they race to rotate
    // it; the total stays below a second rotation, so no line may be lost.
    void concurrentWriters_data()
    {
        QTest::addColumn<int>("processes");
        QTest::addColumn<int>("threads");
        QTest::newRow("threads") << 0 << 16;
        QTest::newRow("processes") << 4 << 4;
    }

    void concurrentWriters()
    {
        QFETCH(int, processes);
        QFETCH(int, threads);
        // A lost race shows only now and then; a few fresh rounds make a
        // broken rotation fail reliably.
        for (int round = 0; round < 4 && !QTest::currentTestFailed(); ++round)
            concurrentRound(processes, threads);
    }

private:
    void concurrentRound(int processes, int threads)
    {
        const int lines = 150;
        TestRoot root;
        RecordingSystemLog systemLog;
        const QByteArray old = filler(1024001);
        root.writeFile(logName, old);

        const int writers = qMax(processes, 1);
        if (processes == 0) {
            writeLines(0, threads, lines);
        } else {
            std::vector<std::unique_ptr<QProcess>> children;
            for (int p = 0; p < processes; ++p) {
                auto child = std::make_unique<QProcess>();
                child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
                child->start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--write-lines"), QString::number(p), QString::number(threads),
                        QString::number(lines)});
                QVERIFY(child->waitForStarted());
                children.push_back(std::move(child));
            }
            for (auto &child : children)
                child->write("go\n");
            for (auto &child : children) {
                QVERIFY(child->waitForFinished(120000));
                QCOMPARE(child->exitStatus(), QProcess::NormalExit);
                QCOMPARE(child->exitCode(), 0);
            }
        }
        QVERIFY(systemLog.messages().isEmpty());

        // Exactly one rotation, which moved the old file untouched.
        QCOMPARE(readFile(root.system(backupName)), old);
        const QStringList written = QString::fromUtf8(readFile(root.system(logName))).split(QLatin1Char('\n'));
        QCOMPARE(written.last(), QString());
        const QRegularExpression shape(QRegularExpression::anchoredPattern(
            QStringLiteral("Status : .+ Message: (w\\d+-t\\d+ #\\d+)  Details: ") + writerDetails));
        QSet<QString> seen;
        for (qsizetype i = 0; i + 1 < written.size(); ++i) {
            const QRegularExpressionMatch match = shape.match(written.at(i));
            QVERIFY2(match.hasMatch(), qPrintable(written.at(i)));
            QVERIFY2(!seen.contains(match.captured(1)), qPrintable(match.captured(1)));
            seen.insert(match.captured(1));
        }
        QCOMPARE(seen.size(), writers * threads * lines);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 5 && qstrcmp(argv[1], "--write-lines") == 0)
        return writerChild(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]));
    TestLogFile test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_logfile.moc"
