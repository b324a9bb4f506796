#include "client/core/Log.h"
#include "client/core/LogFile.h"
#include "shared/Descriptor.h"
#include "support/MemorySystemLog.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTimeZone>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <cstdlib>
#include <latch>
#include <unistd.h>
#include <thread>
#include <vector>

using namespace tavoren::client;
using tavoren::shared::Descriptor;
using tavoren::testsupport::MemorySystemLog;
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

// Undoes the log's escapes; the test's own reading of the visible form.
QString unescape(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('\\') || i + 1 == text.size()) {
            out += text.at(i);
            continue;
        }
        const QChar kind = text.at(++i);
        const qsizetype digits = kind == QLatin1Char('x') ? 2 : kind == QLatin1Char('u') ? 4 : 0;
        if (digits > 0) {
            out += QChar(char16_t(text.mid(i + 1, digits).toUInt(nullptr, 16)));
            i += digits;
        } else {
            out += kind == QLatin1Char('n') ? QLatin1Char('\n')
                   : kind == QLatin1Char('r') ? QLatin1Char('\r')
                   : kind == QLatin1Char('t') ? QLatin1Char('\t')
                                              : kind;
        }
    }
    return out;
}

// A line of the log as the file shape and the system log carry it.
bool isLine(const QString &text, const QString &message, const QString &details = QString())
{
    const QString tail = QStringLiteral(" Message: ") + message + QLatin1Char(' ')
                         + (details.isEmpty() ? QString() : QStringLiteral(" Details: ") + details);
    return text.startsWith(QStringLiteral("Status : ")) && text.endsWith(tail) && !text.contains(QLatin1Char('\n'));
}

QStringList timestampsBetween(const QDateTime &from, const QDateTime &to)
{
    QStringList result;
    for (QDateTime t = from.addMSecs(-from.time().msec()); t <= to; t = t.addSecs(1))
        result.append(LogFile::formatTimestamp(t));
    return result;
}

void writeLines(MemorySystemLog &systemLog, int writer, int threads, int lines)
{
    std::latch start(threads);
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int i = 0; i < lines; ++i)
                Log(systemLog, LogLevel::Status, QStringLiteral("w%1-t%2 #%3").arg(writer).arg(t).arg(i), writerDetails);
        });
    }
    for (std::thread &thread : pool)
        thread.join();
}

// Child mode: waits for "go" on standard input so all writers start together.
int writerChild(int writer, int threads, int lines)
{
    MemorySystemLog systemLog;
    char go[8] = {};
    if (!std::fgets(go, sizeof go, stdin))
        return 2;
    writeLines(systemLog, writer, threads, lines);
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
        QTest::newRow("line feeds escaped") << LogLevel::Error << QStringLiteral("a\nb") << QStringLiteral("c\n")
                                            << QStringLiteral("Error : ")
                                            << QStringLiteral(" Message: a\\nb  Details: c\\n\n");
        QTest::newRow("carriage return, tab, escape") << LogLevel::Status << QStringLiteral("a\rb\tc")
                                                      << QStringLiteral("\x1b[31mred") << QStringLiteral("Status : ")
                                                      << QStringLiteral(" Message: a\\rb\\tc  Details: \\x1b[31mred\n");
        QTest::newRow("backslash doubled") << LogLevel::Status << QStringLiteral("C:\\new\\x41") << QString()
                                           << QStringLiteral("Status : ")
                                           << QStringLiteral(" Message: C:\\\\new\\\\x41 \n");
        QTest::newRow("NUL, DEL, C1, separators") << LogLevel::Debug << QString(QChar(0)) + QChar(0x7f) + QChar(0x85)
                                                  << QString(QChar(0x9b)) + QChar(0x2028) + QChar(0x2029)
                                                  << QStringLiteral("Debug : ")
                                                  << QStringLiteral(" Message: \\x00\\x7f\\x85  Details: \\x9b\\u2028\\u2029\n");
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
        MemorySystemLog systemLog;
        QVERIFY(!QFile::exists(root.system(logName)));

        const QDateTime before = QDateTime::currentDateTime();
        Log(systemLog, level, message, details);
        const QDateTime after = QDateTime::currentDateTime();

        const QString content = QString::fromUtf8(readFile(root.system(logName)));
        QVERIFY2(content.startsWith(head) && content.endsWith(tail), qPrintable(content));
        const QString stamp = content.mid(head.size(), content.size() - head.size() - tail.size());
        QVERIFY2(timestampsBetween(before, after).contains(stamp), qPrintable(stamp));
        QVERIFY(systemLog.messages().isEmpty());
    }

    // Whatever a document name, a path or a service answer holds, it gives
    // one line without control characters, from which it can be read back.
    void controlsNeverReachTheFile_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("details");
        QString everyControl;
        for (char16_t u = 0; u < 0xa0; ++u)
            everyControl += QChar(u);
        everyControl += QChar(0x2028);
        everyControl += QChar(0x2029);
        QTest::newRow("every control") << everyControl << everyControl;
        QTest::newRow("forged line") << QStringLiteral("Report.pdf\nStatus : January 1, 2026 at 9:00:00 AM Message: paid ")
                                     << QStringLiteral("<- done\r\nError : January 1, 2026 at 9:00:01 AM Message: x ");
        QTest::newRow("terminal sequences") << QStringLiteral("\x1b[2J\x1b]0;title\x07\x9b1A")
                                            << QStringLiteral("\x1b[1A\x1b[2K");
        QTest::newRow("escapes written out") << QStringLiteral("\\n\\x0a\\\\") << QStringLiteral("\\u2028\\");
    }

    void controlsNeverReachTheFile()
    {
        QFETCH(QString, message);
        QFETCH(QString, details);
        TestRoot root;
        MemorySystemLog systemLog;

        Log(systemLog, LogLevel::Status, message, details);

        const QByteArray bytes = readFile(root.system(logName));
        QCOMPARE(bytes.count('\n'), 1);
        QVERIFY(bytes.endsWith('\n'));
        const QString line = QString::fromUtf8(bytes.chopped(1));
        for (const QChar c : line)
            QVERIFY2(c.category() != QChar::Other_Control && c != QChar(0x2028) && c != QChar(0x2029),
                qPrintable(QString::number(c.unicode(), 16)));
        static const QRegularExpression parts(
            QStringLiteral("^Status : .*? Message: (.*) Details: (.*)$"), QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpressionMatch match = parts.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        QCOMPARE(unescape(match.captured(1)), message + QLatin1Char(' '));
        QCOMPARE(unescape(match.captured(2)), details);
        QVERIFY(systemLog.messages().isEmpty());
    }

    // The paths follow the root in force at each call.
    void pathsFollowRoot()
    {
        MemorySystemLog systemLog;
        TestRoot first;
        Log(systemLog, LogLevel::Status, QStringLiteral("one"), QString());
        {
            TestRoot second;
            Log(systemLog, LogLevel::Status, QStringLiteral("two"), QString());
            QVERIFY(readFile(second.system(logName)).endsWith(" Message: two \n"));
        }
        Log(systemLog, LogLevel::Status, QStringLiteral("three"), QString());
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
        QTest::newRow("far over") << qint64(2000000) << true << true;
    }

    void rotation()
    {
        QFETCH(qint64, size);
        QFETCH(bool, earlierBackup);
        QFETCH(bool, rotates);
        TestRoot root;
        MemorySystemLog systemLog;
        const QByteArray old = filler(size);
        const QByteArray oldBackup = "an earlier backup\n";
        root.writeFile(logName, old);
        if (earlierBackup)
            root.writeFile(backupName, oldBackup);

        Log(systemLog, LogLevel::Status, QStringLiteral("next"), QStringLiteral("<- after"));

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

    // The folder is never created; every call reports both failures and
    // hands its line to the system log.
    void missingFolder()
    {
        TestRoot root;
        QVERIFY(QDir(root.logDir()).removeRecursively());
        MemorySystemLog systemLog;

        Log(systemLog, LogLevel::Status, QStringLiteral("a"), QStringLiteral("b\nc"));
        Log(systemLog, LogLevel::Status, QStringLiteral("d"), QString());

        const QStringList messages = systemLog.messages();
        QCOMPARE(messages.size(), 6);
        QCOMPARE(messages.mid(0, 2), QStringList({generatingFailed, writingFailed}));
        QVERIFY2(isLine(messages.at(2), QStringLiteral("a"), QStringLiteral("b\\nc")), qPrintable(messages.at(2)));
        QCOMPARE(messages.mid(3, 2), QStringList({generatingFailed, writingFailed}));
        QVERIFY2(isLine(messages.at(5), QStringLiteral("d")), qPrintable(messages.at(5)));
        QVERIFY(QDir(root.system(QStringLiteral("/private/var/log/cups"))).isEmpty());
    }

    // Users of one computer share the log: whoever creates the log or its
    // backup, all can append and rotate.
    void newLogIsWritableForAll_data()
    {
        QTest::addColumn<bool>("rotated");
        QTest::newRow("first line: the log") << false;
        QTest::newRow("first rotation: the backup") << true;
    }

    void newLogIsWritableForAll()
    {
        QFETCH(bool, rotated);
        MemorySystemLog systemLog;
        TestRoot root;
        if (rotated)
            root.writeFile(QStringLiteral("/private/var/log/cups/tavorencups/tavorendriver.log"), QByteArray(LogFile::sizeLimit + 1, 'x'));
        const mode_t previous = ::umask(022);
        Log(systemLog, LogLevel::Status, QStringLiteral("a"), QString());
        ::umask(previous);
        const QFile::Permissions all = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup
            | QFile::ReadOther | QFile::WriteOther;
        QCOMPARE(QFile::permissions(rotated ? LogFile::backupFilePath() : LogFile::logFilePath()) & all, all);
    }

    // A backup that cannot be written: reported, and the log is emptied all
    // the same, so its size stays bounded; the blocker is left alone.
    void rotationFailure()
    {
        TestRoot root;
        root.writeFile(logName, filler(1024001));
        const QString blocker = root.writeFile(backupName + QStringLiteral("/blocker"), "x");
        MemorySystemLog systemLog;

        Log(systemLog, LogLevel::Status, QStringLiteral("one"), QString());
        Log(systemLog, LogLevel::Status, QStringLiteral("two"), QString());

        QCOMPARE(systemLog.messages(), QStringList({generatingFailed}));
        const QList<QByteArray> lines = readFile(root.system(logName)).split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(isLine(QString::fromUtf8(lines.at(0)), QStringLiteral("one")));
        QVERIFY(isLine(QString::fromUtf8(lines.at(1)), QStringLiteral("two")));
        QCOMPARE(readFile(blocker), QByteArray("x"));
    }

    // A log someone wrote far past the limit costs a bounded copy: the
    // backup keeps only its newest whole lines within the backup limit.
    void inflatedLog_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("sparse");
        QTest::newRow("one byte past the backup limit") << qint64(LogFile::backupLimit + 1) << false;
        QTest::newRow("3 MB of lines") << qint64(3000000) << false;
        QTest::newRow("sparse 8 GiB without line ends") << (qint64(8) << 30) << true;
    }

    void inflatedLog()
    {
        QFETCH(qint64, size);
        QFETCH(bool, sparse);
        TestRoot root;
        MemorySystemLog systemLog;
        const QByteArray old = sparse ? QByteArray() : filler(size);
        const QString path = root.writeFile(logName, old);
        if (sparse)
            QVERIFY(::truncate(QFile::encodeName(path).constData(), size) == 0);

        Log(systemLog, LogLevel::Status, QStringLiteral("next"), QString());

        const QByteArray log = readFile(path);
        QCOMPARE(log.count('\n'), 1);
        QVERIFY(isLine(QString::fromUtf8(log.chopped(1)), QStringLiteral("next")));
        QVERIFY(QFileInfo(root.system(backupName)).size() <= LogFile::backupLimit);
        const QByteArray backup = readFile(root.system(backupName));
        if (sparse) {
            QVERIFY(backup.isEmpty());
        } else {
            QVERIFY(old.endsWith(backup));
            // Starts at a line start, and only the one partial line at the
            // window's start is left out.
            QCOMPARE(old.at(old.size() - backup.size() - 1), '\n');
            const QByteArray dropped = old.mid(old.size() - LogFile::backupLimit, LogFile::backupLimit - backup.size());
            QVERIFY(dropped.indexOf('\n') == -1 || dropped.indexOf('\n') == dropped.size() - 1);
        }
        QVERIFY(systemLog.messages().isEmpty());
    }

    // Where the log should be stands something else: it is left as it is,
    // nothing is made through it, and the line goes to the system log.
    void unusableLog_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("link to nowhere") << QStringLiteral("dangling link");
        QTest::newRow("folder") << QStringLiteral("folder");
        QTest::newRow("FIFO with a reader") << QStringLiteral("fifo");
        QTest::newRow("the log folder a link") << QStringLiteral("folder link");
    }

    void unusableLog()
    {
        QFETCH(QString, kind);
        TestRoot root;
        const QByteArray log = QFile::encodeName(root.system(logName));
        const QString elsewhere = root.makeDir(QStringLiteral("/var/tmp/elsewhere"));
        const QByteArray target = QFile::encodeName(elsewhere + QStringLiteral("/tavorendriver.log"));
        Descriptor reader;
        if (kind == QStringLiteral("dangling link")) {
            QVERIFY(::symlink(target.constData(), log.constData()) == 0);
        } else if (kind == QStringLiteral("folder")) {
            QVERIFY(QDir().mkdir(root.system(logName)));
        } else if (kind == QStringLiteral("fifo")) {
            QVERIFY(::mkfifo(log.constData(), 0666) == 0);
            // With a reader a plain open of the FIFO would not block.
            reader.reset(::open(log.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
            QVERIFY(reader);
        } else {
            QVERIFY(QDir(root.logDir()).removeRecursively());
            QVERIFY(::symlink(QFile::encodeName(elsewhere).constData(), QFile::encodeName(root.logDir()).constData()) == 0);
        }
        MemorySystemLog systemLog;

        Log(systemLog, LogLevel::Status, QStringLiteral("line"), QStringLiteral("<- kept"));

        const QStringList messages = systemLog.messages();
        QCOMPARE(messages.size(), 3);
        QCOMPARE(messages.mid(0, 2), QStringList({generatingFailed, writingFailed}));
        QVERIFY2(isLine(messages.at(2), QStringLiteral("line"), QStringLiteral("<- kept")), qPrintable(messages.at(2)));
        QVERIFY(QDir(elsewhere).isEmpty());
        if (reader.isValid()) {
            char byte = 0;
            QCOMPARE(::read(reader.get(), &byte, 1), ssize_t(0));
        }
        // Left as it was.
        const QByteArray planted = kind == QStringLiteral("folder link") ? QFile::encodeName(root.logDir()) : log;
        struct stat status{};
        QVERIFY(::lstat(planted.constData(), &status) == 0);
        const mode_t type = status.st_mode & S_IFMT;
        QCOMPARE(type, kind == QStringLiteral("folder") ? S_IFDIR : kind == QStringLiteral("fifo") ? S_IFIFO : S_IFLNK);
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
        MemorySystemLog systemLog;
        const QByteArray old = filler(1024001);
        root.writeFile(logName, old);

        const int writers = qMax(processes, 1);
        if (processes == 0) {
            writeLines(systemLog, 0, threads, lines);
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
