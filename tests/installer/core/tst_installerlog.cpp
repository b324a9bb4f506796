// The installer's log and its working folder, which every user may write:
// size limit, banner and stamps, lines from several threads, the log
// window's text and filter, and links or strange files planted in the folder.
#include "installer/core/InstallLogCapture.h"
#include "installer/core/InstallerLog.h"
#include "shared/MachineClock.h"
#include "support/MemorySystemLog.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tavoren::installer;
using tavoren::testsupport::MemorySystemLog;
using tavoren::testsupport::TestRoot;

namespace {
const QString folderName = QStringLiteral("/var/tmp/kyr");
const QString logName = QStringLiteral("/var/tmp/kyr/CorvaneTavoren.log");
const QString row = QString(32, QLatin1Char('#'));
// The short date and time of an English (United States) locale; ICU puts a
// narrow no-break space before AM and PM.
const QRegularExpression stamped(QStringLiteral("^\\d{1,2}/\\d{1,2}/\\d{2}, \\d{1,2}:\\d{2}\\s[AP]M : "),
                                 QRegularExpression::UseUnicodePropertiesOption);

InstallerLog::Settings settingsFor(const TestRoot &root)
{
    return {root.system(folderName).toStdString(), 10485760};
}

// A log below `root`, with a console and a clock of its own.
struct Logged
{
    explicit Logged(const TestRoot &root)
        : log(settingsFor(root), console, clock)
    {
    }
    MemorySystemLog console;
    tavoren::shared::MachineClock clock;
    InstallerLog log;
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList lines(const QString &path)
{
    return QString::fromUtf8(readFile(path)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
} // namespace

class TestInstallerLog : public QObject
{
    Q_OBJECT

private slots:
    void sizeLimit_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("kept");
        QTest::newRow("at the limit") << qint64(10485760) << true;
        QTest::newRow("one byte over") << qint64(10485761) << false;
    }
    void sizeLimit()
    {
        QFETCH(qint64, size);
        QFETCH(bool, kept);
        TestRoot root;
        const QString path = root.writeFile(logName, QByteArray(size - 1, 'o') + '\n');
        Logged logged(root);
        InstallerLog &log = logged.log;
        MemorySystemLog &console = logged.console;
        log.initLogFile();

        QVERIFY(console.messages().contains(QStringLiteral("Existing Log file size: %1").arg(size)));
        const QByteArray content = readFile(path);
        QCOMPARE(content.startsWith("ooo"), kept);
        const QStringList written = QString::fromUtf8(kept ? content.mid(size) : content).split(QLatin1Char('\n'));
        if (!kept) {
            QVERIFY(stamped.match(written.value(0)).hasMatch());
            QVERIFY(written.value(0).endsWith(QLatin1String(" : Deleted existing log file as it exceeded size limit!")));
        }
        // Then the banner: an empty line, a row, the text without a stamp, a row.
        const qsizetype at = written.indexOf(row);
        QVERIFY(at >= 1);
        QCOMPARE(written.value(at - 1), QString());
        QVERIFY(written.value(at + 1).startsWith(QLatin1String("Initiated Corvane Tavoren Driver at ")));
        QCOMPARE(written.value(at + 2), row);
    }

    void everyLineButTheBannerIsStamped()
    {
        TestRoot root;
        Logged logged(root);
        InstallerLog &log = logged.log;
        log.initLogFile();
        log.WriteLog(QStringLiteral("Installing /Volumes/Disk/OSX/Corvane Tavoren Driver.pkg"));
        log.WriteLog(QStringLiteral("  keeps its blanks  "));
        const QStringList written = lines(root.system(logName));
        QCOMPARE(written.size(), 5);
        QVERIFY(stamped.match(written.at(3)).hasMatch());
        QVERIFY(written.at(3).endsWith(QLatin1String(" : Installing /Volumes/Disk/OSX/Corvane Tavoren Driver.pkg")));
        QVERIFY(written.at(4).endsWith(QLatin1String(" :   keeps its blanks  ")));
        QVERIFY(!stamped.match(written.at(1)).hasMatch());
        // The in-memory copy has the messages alone.
        QVERIFY(log.internalLog().endsWith(
            QLatin1String("Installing /Volumes/Disk/OSX/Corvane Tavoren Driver.pkg\n  keeps its blanks  \n")));
    }

    void linesOfSeveralThreadsStayWhole()
    {
        TestRoot root;
        Logged logged(root);
        InstallerLog &log = logged.log;
        log.initLogFile();
        constexpr int threads = 4;
        constexpr int perThread = 200;
        const QString payload(300, QLatin1Char('p'));
        std::vector<std::thread> writers;
        for (int t = 0; t < threads; ++t)
            writers.emplace_back([&, t] {
                for (int i = 0; i < perThread; ++i)
                    log.WriteLog(QStringLiteral("writer %1 line %2 %3").arg(t).arg(i).arg(payload));
            });
        for (std::thread &writer : writers)
            writer.join();
        const QRegularExpression whole(stamped.pattern() + QStringLiteral("writer \\d line \\d+ p{300}$"),
                                       QRegularExpression::UseUnicodePropertiesOption);
        int matched = 0;
        for (const QString &line : lines(root.system(logName)))
            matched += whole.match(line).hasMatch() ? 1 : 0;
        QCOMPARE(matched, threads * perThread);
        QCOMPARE(log.internalLog().count(QLatin1String(" line ")), qsizetype(threads * perThread));
    }

    void theFolderIsMadeStickyAndOpenToAll()
    {
        TestRoot root;
        Logged logged(root);
        InstallerLog &log = logged.log;
        log.initLogFile();
        struct stat status{};
        QCOMPARE(::stat(QFile::encodeName(root.system(folderName)).constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, ::geteuid() == 0 ? mode_t(01777) : mode_t(0755));
        QVERIFY(log.workingFolder());

        // A folder of our own with another mode gets the right one back.
        QVERIFY(::chmod(QFile::encodeName(root.system(folderName)).constData(), 0700) == 0);
        Logged loggedAgain(root);
        InstallerLog &again = loggedAgain.log;
        again.initLogFile();
        QCOMPARE(::stat(QFile::encodeName(root.system(folderName)).constData(), &status), 0);
        // Root's is shared by every user's installer; a user's own is his alone.
        QCOMPARE(status.st_mode & 07777, ::geteuid() == 0 ? mode_t(01777) : mode_t(0755));
    }

    // What another user could leave in or instead of the shared folder. The
    // victim file stays as it was; root replaces what is in the way, a user's
    // installer goes on without a file.
    void plantedEntriesAreNeverWrittenThrough_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::newRow("the folder is a link") << QStringLiteral("folder link");
        QTest::newRow("the log is a link") << QStringLiteral("log link");
        QTest::newRow("the log is a hard link") << QStringLiteral("log hard link");
        QTest::newRow("the log is a FIFO") << QStringLiteral("log fifo");
        QTest::newRow("the folder is another user's") << QStringLiteral("foreign folder");
    }
    void plantedEntriesAreNeverWrittenThrough()
    {
        QFETCH(QString, planted);
        TestRoot root;
        const QString victimFolder = root.makeDir(QStringLiteral("/victim"));
        const QString victim = root.writeFile(QStringLiteral("/victim/CorvaneTavoren.log"), "precious\n");
        const QString folder = root.system(folderName);
        const QString log = root.system(logName);
        if (planted == QLatin1String("folder link")) {
            QVERIFY(QFile::link(victimFolder, folder));
        } else if (planted == QLatin1String("foreign folder")) {
            if (::geteuid() != 0)
                QSKIP("giving the folder to another user needs root");
            QDir().mkpath(folder);
            QVERIFY(::chown(QFile::encodeName(folder).constData(), 65534, 65534) == 0);
        } else {
            QDir().mkpath(folder);
            if (planted == QLatin1String("log link"))
                QVERIFY(QFile::link(victim, log));
            else if (planted == QLatin1String("log hard link"))
                QVERIFY(::link(QFile::encodeName(victim).constData(), QFile::encodeName(log).constData()) == 0);
            else
                QVERIFY(::mkfifo(QFile::encodeName(log).constData(), 0666) == 0);
        }
        Logged logged(root);
        InstallerLog &installerLog = logged.log;
        MemorySystemLog &console = logged.console;
        installerLog.initLogFile();
        installerLog.WriteLog(QStringLiteral("a line for nobody else"));

        QCOMPARE(readFile(victim), QByteArray("precious\n"));
        QVERIFY(installerLog.internalLog().contains(QLatin1String("a line for nobody else")));
        QVERIFY(console.messages().contains(QStringLiteral("a line for nobody else")));
        const bool folderRefused
            = ::geteuid() != 0 && (planted == QLatin1String("folder link") || planted == QLatin1String("foreign folder"));
        QCOMPARE(!installerLog.workingFolder(), folderRefused);
        if (folderRefused) {
            QVERIFY(installerLog.internalLog().contains(QLatin1String("Error: Refusing the working folder /var/tmp/kyr: ")));
            return;
        }
        if (::geteuid() == 0) {
            // Root's own folder and file now, holding the line.
            const QFileInfo file(log);
            QVERIFY(!file.isSymLink() && file.isFile());
            QCOMPARE(file.ownerId(), 0u);
            QCOMPARE(QFileInfo(folder).ownerId(), 0u);
            QVERIFY(!QFileInfo(folder).isSymLink());
            QVERIFY(readFile(log).contains("a line for nobody else"));
            QCOMPARE(QDir(victimFolder).entryList(QDir::Files), QStringList{QStringLiteral("CorvaneTavoren.log")});
        }
    }

    void aFolderThatCannotBeMadeIsLogged()
    {
        TestRoot root;
        // Root makes missing folders above, but never in one others may change.
        if (::geteuid() == 0)
            QVERIFY(::chmod(QFile::encodeName(root.system(QStringLiteral("/var/tmp"))).constData(), 0777) == 0);
        else
            QVERIFY(QDir(root.system(QStringLiteral("/var/tmp"))).removeRecursively());
        Logged logged(root);
        InstallerLog &log = logged.log;
        log.initLogFile();
        QVERIFY(log.internalLog().startsWith(QLatin1String("Error: Create folder failed /var/tmp/kyr\n")));
        QVERIFY(!log.workingFolder());
    }

    void logWindowText()
    {
        TestRoot root;
        Logged logged(root);
        InstallerLog &log = logged.log;
        log.initLogFile();
        QVERIFY(!log.capturedInstallLog());
        QVERIFY(log.logFileData(QString()).endsWith(QLatin1String("\n\n\nInstaller Logs:\n")));
        log.WriteLog(QStringLiteral("Installation successful..."));
        root.writeFile(QStringLiteral("/var/tmp/kyr/kyr_install.log"), "installer: line one\ninstaller: line two\n");
        const auto capture = log.capturedInstallLog();
        QVERIFY(capture);
        const auto text = std::optional<QString>(log.logFileData(*capture));
        QVERIFY(text->startsWith(QLatin1String("Wrapper Application Logs:\n\n") + row));
        QVERIFY(text->endsWith(QLatin1String(
            "Installation successful...\n\n\n\nInstaller Logs:\ninstaller: line one\ninstaller: line two\n")));
    }

    // The capture of the system's install log: only what an installation
    // adds, followed across a replaced or truncated log, and never written
    // through a link planted in its place.
    void capture_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QByteArray>("captured");
        QTest::newRow("appended lines") << QStringLiteral("append") << QByteArray("new one\nnew two\n");
        QTest::newRow("a replaced log, read from its start") << QStringLiteral("replace")
                                                             << QByteArray("new one\nfresh log\n");
        QTest::newRow("a truncated log, read from its start") << QStringLiteral("truncate")
                                                              << QByteArray("new one\nafter\n");
    }
    void capture()
    {
        QFETCH(QString, change);
        QFETCH(QByteArray, captured);
        TestRoot root;
        const QString victim = root.writeFile(QStringLiteral("/victim"), "precious\n");
        root.makeDir(folderName);
        QVERIFY(QFile::link(victim, root.system(QStringLiteral("/var/tmp/kyr/kyr_install.log"))));
        const QString systemLog = root.writeFile(QStringLiteral("/var/log/install.log"), "old line\n");
        Logged logged(root);
        InstallerLog &log = logged.log;
        log.initLogFile();
        const QString capturePath = root.system(QStringLiteral("/var/tmp/kyr/kyr_install.log"));
        auto append = [](const QString &path, const QByteArray &bytes) {
            QFile file(path);
            return file.open(QIODevice::Append) && file.write(bytes) == bytes.size();
        };
        {
            InstallLogCapture capture(log.workingFolder(), systemLog.toStdString(), "kyr_install.log",
                                      std::chrono::milliseconds(1));
            QVERIFY(capture.start());
            QVERIFY(append(systemLog, "new one\n"));
            QTRY_COMPARE(readFile(capturePath), QByteArray("new one\n"));
            if (change == QLatin1String("append")) {
                QVERIFY(append(systemLog, "new two\n"));
            } else if (change == QLatin1String("replace")) {
                QVERIFY(QFile::remove(systemLog));
                QVERIFY(append(systemLog, "fresh log\n"));
            } else {
                QVERIFY(QFile::resize(systemLog, 0));
                QVERIFY(append(systemLog, "after\n"));
            }
            QTRY_COMPARE(readFile(capturePath), captured);
        }
        QCOMPARE(readFile(victim), QByteArray("precious\n"));
        QVERIFY(!QFileInfo(capturePath).isSymLink());
    }

    void filterLog_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        const QString whole = QStringLiteral("xab one\nAB two\nthree ab\nfour");
        QTest::newRow("lines with the text, case kept") << QStringLiteral("ab") << QStringLiteral("\nxab one\nthree ab");
        QTest::newRow("one character shows all") << QStringLiteral("a") << whole;
        QTest::newRow("nothing shows all") << QString() << whole;
        QTest::newRow("no match") << QStringLiteral("zz") << QString();
    }
    void filterLog()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        const QString whole = QStringLiteral("xab one\nAB two\nthree ab\nfour");
        QCOMPARE(InstallerLog::filterLog(whole, whole.split(QLatin1Char('\n')), text), shown);
    }
};

QTEST_GUILESS_MAIN(TestInstallerLog)
#include "tst_installerlog.moc"
