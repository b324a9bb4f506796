// The client log on a computer with several users: the log folder is root's,
// sticky and writable for all, and the other user may be hostile. Lines are
// written by the log writer program, as root or as the second user, so a
// writer that hangs shows as a failure rather than a stuck test.
#include "client/core/LogFile.h"
#include "shared/Descriptor.h"
#include "support/SecondUser.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using tavoren::client::LogFile;
using tavoren::shared::Descriptor;
using tavoren::testsupport::SecondUser;
using tavoren::testsupport::TestRoot;

namespace {

const QString logName = QStringLiteral("/private/var/log/cups/tavorencups/tavorendriver.log");
const QString backupName = QStringLiteral("/private/var/log/cups/tavorencups/tavorendriver.1.log");
const QString generatingFailed = QStringLiteral("Error in generating log file");
const QString writingFailed = QStringLiteral("Error in writing logging");
const QString logWriter = QStringLiteral(TAVOREN_LOG_WRITER);
// Far beyond the log's own lock wait: only a writer that hangs takes this long.
constexpr int writerBound = 20000;

struct Written
{
    int status = -1; // -1: did not end in time
    QStringList systemLog;
    QByteArray output;
};

Written parse(int status, const QByteArray &output)
{
    Written result{status, {}, output};
    const QByteArray mark = "system log: ";
    for (const QByteArray &line : output.split('\n')) {
        if (line.startsWith(mark))
            result.systemLog.append(QString::fromUtf8(line.mid(mark.size())));
    }
    return result;
}

Written writeAsSelf(const QString &message, const QString &details)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(logWriter, {message, details});
    if (!process.waitForFinished(writerBound)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return parse(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAll());
}

Written writeAsSecondUser(const QString &message, const QString &details)
{
    QByteArray output;
    const int status = SecondUser::run(logWriter, {message, details}, &output, writerBound);
    return parse(status, output);
}

// The attacker's steps: a shell script run as the second user, with the
// arguments as $1, $2, ...
bool asSecondUser(const QString &script, const QStringList &arguments)
{
    QByteArray output;
    const int status = SecondUser::run(QStringLiteral("sh"),
        QStringList{QStringLiteral("-c"), script, QStringLiteral("sh")} + arguments, &output);
    if (status != 0)
        qWarning("%s", output.constData());
    return status == 0;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray filler(const QByteArray &word, qint64 size)
{
    QByteArray out;
    for (int i = 0; out.size() < size; ++i)
        out += word + ' ' + QByteArray::number(i) + ' ' + QByteArray(80, '.') + '\n';
    return out;
}

// The root reachable for the second user, its log folder as the driver
// package leaves it: root's, sticky, writable for all.
bool shareLogFolder(const TestRoot &root)
{
    if (!root.openToOthers())
        return false;
    QString path = root.path();
    for (const QString &part : {QStringLiteral("private"), QStringLiteral("var"), QStringLiteral("log"),
                                QStringLiteral("cups")}) {
        path += QLatin1Char('/') + part;
        if (::chmod(QFile::encodeName(path).constData(), 0755) != 0)
            return false;
    }
    return ::chmod(QFile::encodeName(root.logDir()).constData(), 01777) == 0;
}

bool isLine(const QString &text, const QString &message, const QString &details)
{
    return text.startsWith(QStringLiteral("Status : "))
           && text.endsWith(QStringLiteral(" Message: ") + message + QStringLiteral("  Details: ") + details);
}

struct stat entryStatus(const QString &path)
{
    struct stat status{};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        status.st_mode = 0;
    return status;
}

} // namespace

#define REQUIRE_SECOND_USER()                                                                                         \
    do {                                                                                                              \
        if (::geteuid() != 0)                                                                                         \
            QSKIP("acting as a second user needs root");                                                             \
        QString reason;                                                                                               \
        if (!SecondUser::ensure(&reason))                                                                             \
            QSKIP(qPrintable(reason));                                                                                \
    } while (false)

class TestSharedLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (::geteuid() != 0 || !SecondUser::ensure())
            return;
        // Called without its arguments the writer only exits with 2.
        QByteArray output;
        QVERIFY2(SecondUser::run(logWriter, {}, &output) == 2,
            qPrintable(QStringLiteral("the second user cannot run ") + logWriter
                       + QStringLiteral(" (every folder above it must be reachable for others): ")
                       + QString::fromLocal8Bit(output)));
    }

    // The second user plants something at the log's or the backup's name;
    // root writes a line. Nothing is written through it, it is neither
    // replaced nor removed, and the writer never waits on it.
    void plantedEntry_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("kind");
        QTest::newRow("link at the log") << logName << QStringLiteral("link");
        QTest::newRow("hard link at the log") << logName << QStringLiteral("hard link");
        QTest::newRow("FIFO at the log") << logName << QStringLiteral("fifo");
        QTest::newRow("link at the backup") << backupName << QStringLiteral("link");
        QTest::newRow("hard link at the backup") << backupName << QStringLiteral("hard link");
        QTest::newRow("FIFO at the backup") << backupName << QStringLiteral("fifo");
    }

    void plantedEntry()
    {
        QFETCH(QString, entry);
        QFETCH(QString, kind);
        REQUIRE_SECOND_USER();
        TestRoot root;
        QVERIFY(shareLogFolder(root));
        const QString elsewhere = root.makeDir(QStringLiteral("/var/tmp/elsewhere"));
        QVERIFY(::chown(QFile::encodeName(elsewhere).constData(), SecondUser::uid(), SecondUser::gid()) == 0);
        // A link leads to a file of root's; a hard link can only name a file
        // of the user's own.
        const QByteArray precious = "precious\n";
        const QString target = kind == QStringLiteral("link")
                                   ? root.writeFile(QStringLiteral("/var/tmp/precious"), precious)
                                   : elsewhere + QStringLiteral("/own");
        const bool rotates = entry == backupName;
        const QByteArray oldLog = filler("old", LogFile::sizeLimit + 1);
        if (rotates)
            root.writeFile(logName, oldLog);
        const QString planted = root.system(entry);

        QString script = QStringLiteral("mkfifo \"$2\"");
        if (kind == QStringLiteral("link"))
            script = QStringLiteral("ln -s \"$1\" \"$2\"");
        else if (kind == QStringLiteral("hard link"))
            script = QStringLiteral("printf 'precious\\n' > \"$1\" && ln \"$1\" \"$2\"");
        QVERIFY(asSecondUser(script, {target, planted}));
        const struct stat before = entryStatus(planted);

        const Written written = writeAsSelf(QStringLiteral("hello"), QStringLiteral("<- planted"));

        QVERIFY2(written.status == 0, written.output.constData());
        if (kind != QStringLiteral("fifo"))
            QCOMPARE(readFile(target), precious);
        const struct stat after = entryStatus(planted);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_uid, SecondUser::uid());
        if (rotates) {
            // No backup can be made, yet the log is bounded.
            QCOMPARE(written.systemLog, QStringList{generatingFailed});
            const QByteArray log = readFile(root.system(logName));
            QCOMPARE(log.count('\n'), 1);
            QVERIFY(isLine(QString::fromUtf8(log.chopped(1)), QStringLiteral("hello"), QStringLiteral("<- planted")));
        } else {
            QCOMPARE(written.systemLog.size(), 3);
            QCOMPARE(written.systemLog.mid(0, 2), QStringList({generatingFailed, writingFailed}));
            QVERIFY2(isLine(written.systemLog.at(2), QStringLiteral("hello"), QStringLiteral("<- planted")),
                qPrintable(written.systemLog.at(2)));
        }
    }

    // The log and its backup, both over the limit, belong to one user and
    // the other writes: the sticky folder lets nobody but the owner rename
    // or remove them, yet rotation bounds the size and keeps the lines.
    void foreignFilesOverLimit_data()
    {
        QTest::addColumn<bool>("ownedBySecondUser");
        QTest::newRow("the second user's files, root writes") << true;
        QTest::newRow("root's files, the second user writes") << false;
    }

    void foreignFilesOverLimit()
    {
        QFETCH(bool, ownedBySecondUser);
        REQUIRE_SECOND_USER();
        TestRoot root;
        QVERIFY(shareLogFolder(root));
        const QByteArray oldLog = filler("old", LogFile::sizeLimit + 500);
        const QByteArray oldBackup = filler("older", LogFile::sizeLimit + 5000);
        const QString log = root.system(logName);
        const QString backup = root.system(backupName);
        if (ownedBySecondUser) {
            const QString source = root.writeFile(QStringLiteral("/var/tmp/log"), oldLog);
            const QString backupSource = root.writeFile(QStringLiteral("/var/tmp/backup"), oldBackup);
            QVERIFY(asSecondUser(QStringLiteral("cp \"$1\" \"$3\" && cp \"$2\" \"$4\" && chmod 666 \"$3\" \"$4\""),
                {source, backupSource, log, backup}));
        } else {
            root.writeFile(logName, oldLog);
            root.writeFile(backupName, oldBackup);
            QVERIFY(QFile::setPermissions(log, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                                   | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther));
            QVERIFY(QFile::setPermissions(backup, QFile::permissions(log)));
        }
        const uid_t owner = ownedBySecondUser ? SecondUser::uid() : 0;

        const Written written = ownedBySecondUser ? writeAsSelf(QStringLiteral("after"), QStringLiteral("<- rotated"))
                                                  : writeAsSecondUser(QStringLiteral("after"), QStringLiteral("<- rotated"));

        QVERIFY2(written.status == 0, written.output.constData());
        QVERIFY2(written.systemLog.isEmpty(), qPrintable(written.systemLog.join(QLatin1Char('\n'))));
        const QByteArray newLog = readFile(log);
        QCOMPARE(newLog.count('\n'), 1);
        QVERIFY(isLine(QString::fromUtf8(newLog.chopped(1)), QStringLiteral("after"), QStringLiteral("<- rotated")));
        QCOMPARE(readFile(backup), oldLog);
        QCOMPARE(entryStatus(log).st_uid, owner);
        QCOMPARE(entryStatus(backup).st_uid, owner);
        QCOMPARE(QDir(root.logDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name),
            QStringList({QStringLiteral("tavorendriver.1.log"), QStringLiteral("tavorendriver.log")}));
    }

    // A document name chosen by the other user cannot add a line of its own.
    void forgedLine()
    {
        REQUIRE_SECOND_USER();
        TestRoot root;
        QVERIFY(shareLogFolder(root));
        const QString name = QStringLiteral("Report.pdf\n2026 Status : January 1, 2026 at 9:00:00 AM Message: "
                                            "Upload finished \r\x1b[2K");

        const Written written = writeAsSecondUser(name, QStringLiteral("<- document"));

        QVERIFY2(written.status == 0, written.output.constData());
        QVERIFY(written.systemLog.isEmpty());
        const QByteArray log = readFile(root.system(logName));
        QCOMPARE(log.count('\n'), 1);
        QVERIFY(log.startsWith("Status : "));
        QVERIFY(log.contains("Report.pdf\\n2026 Status : "));
        QVERIFY(!log.contains('\r') && !log.contains('\x1b'));
    }

    // Someone holds the log's lock and never lets go: the writer waits a
    // bounded time, then hands its line to the system log; the file does
    // not grow past the limit meanwhile.
    void lockHeldElsewhere_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<qint64>("size");
        QTest::newRow("exclusive lock") << int(LOCK_EX) << qint64(100);
        QTest::newRow("shared lock, log over the limit") << int(LOCK_SH) << qint64(LogFile::sizeLimit + 1);
    }

    void lockHeldElsewhere()
    {
        QFETCH(int, operation);
        QFETCH(qint64, size);
        TestRoot root;
        const QByteArray old = filler("old", size);
        const QString log = root.writeFile(logName, old);
        Descriptor holder(::open(QFile::encodeName(log).constData(), O_RDONLY | O_CLOEXEC));
        QVERIFY(holder);
        QVERIFY(::flock(holder.get(), operation | LOCK_NB) == 0);

        const Written blocked = writeAsSelf(QStringLiteral("held"), QStringLiteral("<- waiting"));

        QVERIFY2(blocked.status == 0, blocked.output.constData());
        QCOMPARE(blocked.systemLog.size(), 2);
        QCOMPARE(blocked.systemLog.at(0), writingFailed);
        QVERIFY(isLine(blocked.systemLog.at(1), QStringLiteral("held"), QStringLiteral("<- waiting")));
        QCOMPARE(readFile(log), old);

        holder.reset();
        const Written released = writeAsSelf(QStringLiteral("free"), QStringLiteral("<- after"));
        QVERIFY(released.systemLog.isEmpty());
        QVERIFY(readFile(log).endsWith(" Message: free  Details: <- after\n"));
    }
};

QTEST_GUILESS_MAIN(TestSharedLog)

#include "tst_sharedlog.moc"
