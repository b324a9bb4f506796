// The backend's pieces in-process: the document name, the message, and the
// job file as whoever waits for it sees it.
#include "printer-backend/Backend.h"
#include "printer-backend/JobRequest.h"
#include "printer-backend/JobSpooler.h"

#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using tavoren::printerbackend::Backend;
using tavoren::printerbackend::JobRequest;
using tavoren::printerbackend::JobSpooler;
using tavoren::printerbackend::UserAccount;
using tavoren::testsupport::TestRoot;

namespace {
UserAccount currentUser()
{
    const passwd *entry = ::getpwuid(::geteuid());
    return {entry->pw_name, entry->pw_uid, entry->pw_gid};
}

QStringList jobFolders(const TestRoot &root)
{
    return QDir(root.spoolRoot()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// Another process that holds a folder's lock, as a running backend does,
// until it is destroyed.
class LockHolder
{
public:
    LockHolder() = default;
    LockHolder(const LockHolder &) = delete;
    LockHolder &operator=(const LockHolder &) = delete;
    ~LockHolder()
    {
        if (m_end >= 0)
            ::close(m_end);
        if (m_pid > 0)
            ::waitpid(m_pid, nullptr, 0);
    }

    // True once the other process holds the lock.
    bool start(const QByteArray &folder)
    {
        int ready[2];
        int end[2];
        if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(end, O_CLOEXEC) != 0)
            return false;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(end[1]);
            const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::write(ready[1], "x", 1) != 1)
                ::_exit(1);
            char byte;
            while (::read(end[0], &byte, 1) != 0) {
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(end[0]);
        m_end = end[1];
        char byte = 0;
        const bool locked = m_pid > 0 && ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
        return locked;
    }

private:
    pid_t m_pid = -1;
    int m_end = -1;
};
} // namespace

class TestJobSpooler : public QObject
{
    Q_OBJECT

private slots:
    void documentName_data()
    {
        QTest::addColumn<QByteArray>("title");
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("plain") << QByteArray("Quarterly report.pdf") << QByteArray("Quarterly report.pdf");
        QTest::newRow("job separator") << QByteArray("a:: ::b") << QByteArray("a:: :b");
        QTest::newRow("separators side by side") << QByteArray(":: :::: ::") << QByteArray(":: : ::");
        QTest::newRow("end separator") << QByteArray("a|| ||b") << QByteArray("a|| |b");
        QTest::newRow("control characters") << QByteArray("a\tb\nc\x7F") << QByteArray("a b c ");
        QTest::newRow("invalid UTF-8") << QByteArray("caf\xE9") << QByteArray("caf\xEF\xBF\xBD");
        QTest::newRow("empty") << QByteArray() << QByteArray("Untitled");
        QTest::newRow("blanks only") << QByteArray("   ") << QByteArray("Untitled");
    }

    void documentName()
    {
        QFETCH(QByteArray, title);
        QFETCH(QByteArray, name);
        const std::string result = JobRequest::documentNameOf(title.toStdString());
        QCOMPARE(QByteArray::fromStdString(result), name);
        QVERIFY(result.find(":: ::") == std::string::npos);
        QVERIFY(result.find("|| ||") == std::string::npos);
    }

    // The message never outgrows the agent's one read of 1024 bytes.
    void messageFitsTheAgentsBuffer_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("pathLength");
        QTest::addColumn<QByteArray>("sentName"); // "-": no message at all
        QTest::newRow("short") << QByteArray("Doc.pdf") << 40 << QByteArray("Doc.pdf");
        QTest::newRow("exactly full") << QByteArray(1024 - 1 - 5 - 40, 'n') << 40 << QByteArray(1024 - 1 - 5 - 40, 'n');
        QTest::newRow("one byte over") << QByteArray(1024 - 5 - 40, 'n') << 40 << QByteArray(1024 - 1 - 5 - 40, 'n');
        // A two-byte character across the limit goes whole.
        QTest::newRow("character at the limit") << QByteArray(1024 - 1 - 5 - 40 - 1, 'n') + "\xC3\xA9" << 40
                                                << QByteArray(1024 - 1 - 5 - 40 - 1, 'n');
        QTest::newRow("path alone too long") << QByteArray("Doc.pdf") << 1024 - 5 - 1 << QByteArray("-");
    }

    void messageFitsTheAgentsBuffer()
    {
        QFETCH(QByteArray, name);
        QFETCH(int, pathLength);
        QFETCH(QByteArray, sentName);
        const std::string path = "/" + std::string(std::size_t(pathLength - 1), 'p');
        const QByteArray message = QByteArray::fromStdString(Backend::message(name.toStdString(), path));
        if (sentName == "-") {
            QVERIFY(message.isEmpty());
            return;
        }
        QVERIFY(message.size() <= 1024);
        QCOMPARE(message, sentName + ":: ::" + QByteArray::fromStdString(path) + '\0');
    }

    void sizeLimit_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("empty") << 0 << true;
        QTest::newRow("at the limit") << 100000 << true;
        QTest::newRow("one byte over") << 100001 << false;
    }

    void sizeLimit()
    {
        QFETCH(int, size);
        QFETCH(bool, accepted);
        TestRoot root;
        const QString input = root.writeFile(QStringLiteral("/input.pdf"), QByteArray(size, 'x'));
        const int fd = ::open(QFile::encodeName(input).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        const auto job = JobSpooler(root.spoolRoot().toStdString(), 100000).spool(fd, "7", currentUser());
        ::close(fd);
        QCOMPARE(job.hasValue(), accepted);
        if (!accepted) {
            QCOMPARE(JobSpooler::kindOf(job.error()), JobSpooler::FailureKind::TooLarge);
            QCOMPARE(QString::fromStdString(job.error().text), QStringLiteral("The job is larger than 100000 bytes"));
            QCOMPARE(jobFolders(root), QStringList());
            return;
        }
        QCOMPARE(QFileInfo(QString::fromStdString(job->file)).size(), qint64(size));
        QCOMPARE(QFileInfo(QString::fromStdString(job->folder)).absolutePath(), root.spoolRoot());
        QCOMPARE(QDir(QString::fromStdString(job->folder)).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("job7.pdf")});
    }

    // Until the last byte is in, the final name does not exist.
    void fileAppearsWhole()
    {
        TestRoot root;
        int pipeFds[2];
        QVERIFY(::pipe2(pipeFds, O_CLOEXEC) == 0);
        std::optional<tavoren::shared::Expected<JobSpooler::SpooledJob>> spooled;
        std::thread spooling([&] {
            spooled = JobSpooler(root.spoolRoot().toStdString(), JobSpooler::defaultMaximumBytes).spool(pipeFds[0], "9", currentUser());
        });
        const QByteArray first(200000, 'a');
        QCOMPARE(::write(pipeFds[1], first.constData(), std::size_t(first.size())), ssize_t(first.size()));
        QString folder;
        QTRY_VERIFY_WITH_TIMEOUT(jobFolders(root).size() == 1
                                     && QFileInfo(folder = root.spoolRoot() + QLatin1Char('/') + jobFolders(root).first()
                                                           + QStringLiteral("/.job9.pdf.part"))
                                                .size() == first.size(),
                                 20000);
        QVERIFY(!QFileInfo::exists(QFileInfo(folder).path() + QStringLiteral("/job9.pdf")));
        const QByteArray rest(100000, 'b');
        QCOMPARE(::write(pipeFds[1], rest.constData(), std::size_t(rest.size())), ssize_t(rest.size()));
        ::close(pipeFds[1]);
        spooling.join();
        ::close(pipeFds[0]);
        QVERIFY(spooled && *spooled);
        QFile file(QString::fromStdString((*spooled)->file));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), first + rest);
        QVERIFY(!QFileInfo::exists(folder));
    }

    // Run by root, the job belongs to its user, who alone may read it.
    void jobBelongsToItsUser()
    {
        if (::geteuid() != 0)
            QSKIP("only root can give files to another user");
        const passwd *nobody = ::getpwnam("nobody");
        QVERIFY(nobody);
        TestRoot root;
        const QString input = root.writeFile(QStringLiteral("/input.pdf"), "%PDF");
        const int fd = ::open(QFile::encodeName(input).constData(), O_RDONLY | O_CLOEXEC);
        const auto job = JobSpooler(root.spoolRoot().toStdString(), 1000)
                             .spool(fd, "3", UserAccount{nobody->pw_name, nobody->pw_uid, nobody->pw_gid});
        ::close(fd);
        QVERIFY(job);
        for (const std::string &path : {job->folder, job->file}) {
            struct stat status{};
            QVERIFY(::stat(path.c_str(), &status) == 0);
            QCOMPARE(status.st_uid, nobody->pw_uid);
            QCOMPARE(status.st_mode & 0077, mode_t(0));
        }
    }

    // The spool root is where every user's job folder lies: one that a link
    // stands for, that others may write to without the sticky bit, or that
    // belongs to someone else takes no job.
    void spoolRootRules_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("refusal"); // empty: accepted
        const QString others = QStringLiteral(" is writable by others without the sticky bit");
        QTest::newRow("the backend's own, 0755") << QStringLiteral("folder") << 0755 << QString();
        QTest::newRow("sticky and open to all") << QStringLiteral("folder") << 01777 << QString();
        QTest::newRow("open to all, not sticky") << QStringLiteral("folder") << 0777 << others;
        QTest::newRow("open to its group, not sticky") << QStringLiteral("folder") << 0775 << others;
        QTest::newRow("missing: made sticky and open to all") << QStringLiteral("missing") << 01777 << QString();
        QTest::newRow("link to a sticky folder") << QStringLiteral("link") << 01777 << QStringLiteral(" is a symbolic link");
        QTest::newRow("another user's") << QStringLiteral("foreign") << 01777
                                        << QStringLiteral(" belongs to neither root nor the backend's user");
    }

    void spoolRootRules()
    {
        QFETCH(QString, kind);
        QFETCH(int, mode);
        QFETCH(QString, refusal);
        TestRoot root;
        const QString spool = root.spoolRoot();
        const QString elsewhere = root.makeDir(QStringLiteral("/elsewhere"));
        QVERIFY(QDir(spool).removeRecursively());
        if (kind == QStringLiteral("link")) {
            QVERIFY(::chmod(QFile::encodeName(elsewhere).constData(), mode_t(mode)) == 0);
            QVERIFY(QFile::link(elsewhere, spool));
        } else if (kind != QStringLiteral("missing")) {
            QVERIFY(QDir().mkpath(spool));
            QVERIFY(::chmod(QFile::encodeName(spool).constData(), mode_t(mode)) == 0);
        }
        if (kind == QStringLiteral("foreign")) {
            if (::geteuid() != 0)
                QSKIP("only root can give a folder to another user");
            const passwd *nobody = ::getpwnam("nobody");
            QVERIFY(nobody);
            QVERIFY(::chown(QFile::encodeName(spool).constData(), nobody->pw_uid, nobody->pw_gid) == 0);
        }
        const QString input = root.writeFile(QStringLiteral("/input.pdf"), "%PDF");
        const int fd = ::open(QFile::encodeName(input).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        const auto job = JobSpooler(spool.toStdString(), 1000).spool(fd, "5", currentUser());
        ::close(fd);
        QCOMPARE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        if (!refusal.isEmpty()) {
            QVERIFY(!job);
            QCOMPARE(QString::fromStdString(job.error().text), QStringLiteral("The spool root \"") + spool + QLatin1Char('"') + refusal);
            return;
        }
        QVERIFY2(job, job ? "" : job.error().text.c_str());
        QCOMPARE(QFileInfo(QString::fromStdString(job->folder)).path(), spool);
        struct stat status{};
        QVERIFY(::lstat(QFile::encodeName(spool).constData(), &status) == 0);
        QCOMPARE(status.st_mode, mode_t(S_IFDIR | mode_t(mode)));
    }

    // What a backend stopped mid-job left goes; what a running backend
    // holds or has just made, a user's folder and what a link leads to stay.
    void leftoverFolders_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("age"); // seconds; the threshold is 10
        QTest::addColumn<bool>("removed");
        const QString name = QStringLiteral("job12-aB3dE9");
        QTest::newRow("unlocked, a minute old") << QStringLiteral("root's") << name << 60 << true;
        QTest::newRow("unlocked, just made") << QStringLiteral("root's") << name << 0 << false;
        QTest::newRow("locked by a running backend") << QStringLiteral("locked") << name << 60 << false;
        QTest::newRow("the user's") << QStringLiteral("user's") << name << 60 << false;
        QTest::newRow("a link to an old folder of root's") << QStringLiteral("link") << name << 60 << false;
        QTest::newRow("not named as a job folder") << QStringLiteral("root's") << QStringLiteral("job12-aB3dE") << 60 << false;
    }

    void leftoverFolders()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(int, age);
        QFETCH(bool, removed);
        if (::geteuid() != 0)
            QSKIP("only root's backend leaves folders of root's");
        TestRoot root;
        const QString spool = root.spoolRoot();
        const QString old = kind == QStringLiteral("link") ? root.makeDir(QStringLiteral("/elsewhere/old")) : spool + QLatin1Char('/') + name;
        QVERIFY(QDir().mkpath(old));
        root.writeFile(old.mid(root.path().size()) + QStringLiteral("/.job12.pdf.part"), "%PDF-1.4 half");
        QVERIFY(TestRoot::setTimesBack(old, age));
        if (kind == QStringLiteral("link"))
            QVERIFY(QFile::link(old, spool + QLatin1Char('/') + name));
        if (kind == QStringLiteral("user's")) {
            const passwd *nobody = ::getpwnam("nobody");
            QVERIFY(nobody);
            QVERIFY(::chown(QFile::encodeName(old).constData(), nobody->pw_uid, nobody->pw_gid) == 0);
        }
        LockHolder holder;
        if (kind == QStringLiteral("locked"))
            QVERIFY(holder.start(QFile::encodeName(old)));

        QStringList log;
        const std::size_t count = JobSpooler(spool.toStdString(), 1000).removeStale(std::chrono::seconds(10), [&log](const std::string &line) {
            log << QString::fromStdString(line);
        });
        QCOMPARE(count, std::size_t(removed ? 1 : 0));
        QCOMPARE(jobFolders(root), removed ? QStringList() : QStringList{name});
        QCOMPARE(log, removed ? QStringList{QStringLiteral("Removed the leftover job folder ") + old} : QStringList());
        QCOMPARE(QFileInfo::exists(old + QStringLiteral("/.job12.pdf.part")), !removed);
    }

    // A spool root that cannot be made fails the job without a folder.
    void unusableSpoolRoot()
    {
        TestRoot root;
        const QString blocker = root.writeFile(QStringLiteral("/blocked"), "a file");
        const auto job = JobSpooler(QString(blocker + QStringLiteral("/spool")).toStdString(), 1000).spool(0, "3", currentUser());
        QVERIFY(!job);
        QCOMPARE(JobSpooler::kindOf(job.error()), JobSpooler::FailureKind::Failed);
        QCOMPARE(QString::fromStdString(job.error().text),
                 QStringLiteral("Could not create \"") + blocker + QStringLiteral("\": Not a directory"));
    }
};

QTEST_GUILESS_MAIN(TestJobSpooler)
#include "tst_jobspooler.moc"
