// Jobs the print scheduler holds because no agent took them: a starting
// agent has its user's released at once (those with a marker of the backend's
// in root's held-jobs folder, and those an older backend left to be retried),
// and nothing else; an absent or silent scheduler costs a bounded wait and a
// log line.
#include "agent/CupsPrintScheduler.h"
#include "agent/HeldJobReleaser.h"
#include "shared/HandOff.h"
#include "shared/SocketAddress.h"
#include "shared/SystemPath.h"

#include "support/AgentProcess.h"
#include "support/MemorySystemLog.h"
#include "support/PrivateCupsd.h"
#include "support/SecondUser.h"
#include "support/StandInClient.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTest>
#include <cups/ipp.h>
#include <atomic>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

using namespace tavoren::agent;
using tavoren::testsupport::AgentProcess;
using tavoren::testsupport::PrivateCupsd;
using tavoren::testsupport::MemorySystemLog;
using tavoren::testsupport::SecondUser;
using tavoren::testsupport::StandInClient;
using tavoren::testsupport::TestRoot;

Q_DECLARE_METATYPE(std::vector<PrintScheduler::Job>)

namespace {
const QString queue = QString::fromLatin1(tavoren::shared::HandOff::queueName);
const QString heldJobsFolder = QString::fromLatin1(tavoren::shared::HandOff::heldJobsFolder);

// A scheduler holding fixed lists, recording what it was asked to release:
// `jobs` are those of the user "grace", `othersJobs` everybody else's.
class ListedScheduler final : public PrintScheduler
{
public:
    std::vector<Job> jobs;
    std::vector<Job> othersJobs;
    std::optional<std::string> listingFailure;
    int refusedId = 0;
    QList<int> released;

    std::string description() const override { return "the listed scheduler"; }
    tavoren::shared::Expected<std::vector<Job>> unfinishedJobs(const std::string &, const std::string &user) override
    {
        if (listingFailure)
            return tavoren::shared::Error::because("ask", "the listed scheduler", *listingFailure);
        return user == "grace" ? jobs : othersJobs;
    }
    tavoren::shared::Expected<void> release(const std::string &, const std::string &, int jobId) override
    {
        if (jobId == refusedId)
            return tavoren::shared::Error::because("release", "the listed scheduler", "not allowed");
        released.append(jobId);
        return {};
    }
};

// A backend that takes a job only once the test says an agent is there:
// until then it asks the scheduler to try again later, as older ones did.
const QByteArray retryingBackend = "#!/bin/sh\n"
                                   "[ $# -eq 0 ] && { echo 'direct corvanetavoren:/ \"Unknown\" \"test\"'; exit 0; }\n"
                                   "cat >/dev/null\n"
                                   "[ -e \"$TAVOREN_ROOT/agent-is-there\" ] && exit 0\n"
                                   "exit 6\n";
// The same, but it has the job held and leaves its marker, as ours does.
const QByteArray holdingBackend = "#!/bin/sh\n"
                                  "[ $# -eq 0 ] && { echo 'direct corvanetavoren:/ \"Unknown\" \"test\"'; exit 0; }\n"
                                  "cat >/dev/null\n"
                                  "[ -e \"$TAVOREN_ROOT/agent-is-there\" ] && exit 0\n"
                                  ": > \"$TAVOREN_ROOT/var/log/cups/corvanetavorencups/held/$1\"\n"
                                  "exit 3\n";

// The held-jobs folder below the root as the backend makes it: root's, 0755.
QString makeHeldJobsFolder(const TestRoot &root)
{
    const QString folder = root.makeDir(heldJobsFolder);
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    return folder;
}

bool listenWithoutAnswering(const QString &path, int *fd)
{
    const auto address = tavoren::shared::SocketAddress::forPath(QFile::encodeName(path).toStdString());
    if (!address)
        return false;
    *fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return *fd >= 0 && ::bind(*fd, address->address(), address->length()) == 0 && ::listen(*fd, 4) == 0;
}
} // namespace

class TestHeldJobs : public QObject
{
    Q_OBJECT

private slots:
    void onlyJobsHeldForAnAgentAreReleased_data()
    {
        using Job = PrintScheduler::Job;
        QTest::addColumn<std::vector<Job>>("jobs");
        QTest::addColumn<QList<int>>("released");
        const std::string held = HeldJobReleaser::heldState;
        const std::string retry = HeldJobReleaser::retryReason;
        QTest::newRow("held for an agent") << std::vector<Job>{{7, held, {retry}}} << QList<int>{7};
        QTest::newRow("among other reasons") << std::vector<Job>{{7, held, {"job-incoming", retry}}} << QList<int>{7};
        QTest::newRow("held by its user") << std::vector<Job>{{7, held, {"job-hold-until-specified"}}} << QList<int>{};
        QTest::newRow("pending") << std::vector<Job>{{7, "pending", {"none"}}} << QList<int>{};
        QTest::newRow("printing, reason left over") << std::vector<Job>{{7, "processing", {retry}}} << QList<int>{};
        QTest::newRow("several")
            << std::vector<Job>{{3, held, {retry}}, {4, "pending", {}}, {5, held, {"job-held-for-review"}}, {6, held, {retry}}}
            << QList<int>{3, 6};
    }

    void onlyJobsHeldForAnAgentAreReleased()
    {
        QFETCH(std::vector<PrintScheduler::Job>, jobs);
        QFETCH(QList<int>, released);
        TestRoot root;
        MemorySystemLog log;
        ListedScheduler scheduler;
        scheduler.jobs = jobs;
        const HeldJobReleaser::Result result = HeldJobReleaser(scheduler, queue.toStdString(), "grace", log).run();
        QVERIFY(result.listed);
        QCOMPARE(scheduler.released, released);
        QCOMPARE(log.count(QStringLiteral("Released %1 held print jobs").arg(released.size())), 1);
    }

    // The backend holds a job indefinitely and leaves a marker named by its
    // id: only that releases a job held so. The markers count only in a
    // folder of root's alone.
    void markedJobsAreReleased_data()
    {
        using Job = PrintScheduler::Job;
        QTest::addColumn<std::vector<Job>>("jobs");
        QTest::addColumn<std::vector<Job>>("othersJobs");
        QTest::addColumn<QStringList>("markers");
        QTest::addColumn<QString>("folder"); // root's, missing, link, foreign, writable
        QTest::addColumn<QList<int>>("released");
        QTest::addColumn<QString>("logLine"); // %1: the folder
        const std::string held = HeldJobReleaser::heldState;
        const std::string retry = HeldJobReleaser::retryReason;
        const std::string hold = "job-hold-until-specified";
        const QStringList seven{QStringLiteral("7")};
        const QString root = QStringLiteral("root's");
        QTest::newRow("held with its marker") << std::vector<Job>{{7, held, {hold}}} << std::vector<Job>{} << seven << root << QList<int>{7} << QString();
        QTest::newRow("the user's own hold, no marker")
            << std::vector<Job>{{7, held, {hold}}} << std::vector<Job>{} << QStringList{} << root << QList<int>{} << QString();
        QTest::newRow("another job's marker")
            << std::vector<Job>{{7, held, {hold}}} << std::vector<Job>{} << QStringList{QStringLiteral("8")} << root << QList<int>{} << QString();
        QTest::newRow("names that are no job id")
            << std::vector<Job>{{7, held, {hold}}} << std::vector<Job>{}
            << QStringList{QStringLiteral("7.tmp"), QStringLiteral("-7"), QStringLiteral("x7"), QStringLiteral("99999999999")} << root
            << QList<int>{} << QString();
        QTest::newRow("marker of a job no longer held")
            << std::vector<Job>{{7, "processing", {}}} << std::vector<Job>{} << seven << root << QList<int>{} << QString();
        QTest::newRow("another user's job with its marker")
            << std::vector<Job>{{7, held, {hold}}} << std::vector<Job>{{9, held, {hold}}} << QStringList{QStringLiteral("9")} << root
            << QList<int>{} << QString();
        QTest::newRow("an older backend's, no folder")
            << std::vector<Job>{{7, held, {retry}}, {8, held, {hold}}} << std::vector<Job>{} << QStringList{} << QStringLiteral("missing")
            << QList<int>{7} << QString();
        QTest::newRow("folder a link") << std::vector<Job>{{7, held, {hold}}} << std::vector<Job>{} << seven << QStringLiteral("link")
                                       << QList<int>{} << QStringLiteral("The held-jobs folder \"%1\" is a symbolic link; its markers are ignored");
        QTest::newRow("folder not root's") << std::vector<Job>{{7, held, {hold}}, {8, held, {retry}}} << std::vector<Job>{} << seven
                                           << QStringLiteral("foreign") << QList<int>{8}
                                           << QStringLiteral("The held-jobs folder \"%1\" is not owned by root; its markers are ignored");
        QTest::newRow("folder writable by others")
            << std::vector<Job>{{7, held, {hold}}} << std::vector<Job>{} << seven << QStringLiteral("writable") << QList<int>{}
            << QStringLiteral("The held-jobs folder \"%1\" is writable by others; its markers are ignored");
    }

    void markedJobsAreReleased()
    {
        QFETCH(std::vector<PrintScheduler::Job>, jobs);
        QFETCH(std::vector<PrintScheduler::Job>, othersJobs);
        QFETCH(QStringList, markers);
        QFETCH(QString, folder);
        QFETCH(QList<int>, released);
        QFETCH(QString, logLine);
        if (::geteuid() != 0)
            QSKIP("the held-jobs folder must be root's, which only root can make");
        TestRoot root;
        MemorySystemLog log;
        const QString path = root.system(heldJobsFolder);
        // The markers lie in a folder of root's; what leads there varies.
        const QString real = folder == QStringLiteral("link") ? root.makeDir(QStringLiteral("/elsewhere/held")) : path;
        if (folder != QStringLiteral("missing")) {
            root.makeDir(heldJobsFolder);
            QVERIFY(::chmod(QFile::encodeName(real).constData(), 0755) == 0);
            for (const QString &marker : std::as_const(markers))
                root.writeFile(QString(real).remove(0, root.path().size()) + QLatin1Char('/') + marker, {});
        }
        if (folder == QStringLiteral("link")) {
            QVERIFY(QDir(path).removeRecursively());
            QVERIFY(QFile::link(real, path));
        } else if (folder == QStringLiteral("foreign")) {
            QString reason;
            QVERIFY2(SecondUser::ensure(&reason), qPrintable(reason));
            QVERIFY(::chown(QFile::encodeName(path).constData(), SecondUser::uid(), SecondUser::gid()) == 0);
        } else if (folder == QStringLiteral("writable")) {
            QVERIFY(::chmod(QFile::encodeName(path).constData(), 0775) == 0);
        }

        ListedScheduler scheduler;
        scheduler.jobs = jobs;
        scheduler.othersJobs = othersJobs;
        const HeldJobReleaser::Result result = HeldJobReleaser(scheduler, queue.toStdString(), "grace", log).run();
        QVERIFY(result.listed);
        QCOMPARE(scheduler.released, released);
        QCOMPARE(log.count(QStringLiteral("Released %1 held print jobs").arg(released.size())), 1);
        if (!logLine.isEmpty())
            QCOMPARE(log.count(logLine.arg(path)), 1);
        else
            QCOMPARE(log.messages().filter(QStringLiteral("held-jobs folder")), QStringList{});
    }

    // One refusal does not keep the others held; a scheduler that cannot
    // list releases nothing.
    void failuresAreLogged()
    {
        const std::string held = HeldJobReleaser::heldState;
        const std::string retry = HeldJobReleaser::retryReason;
        TestRoot root;
        MemorySystemLog log;
        ListedScheduler scheduler;
        scheduler.jobs = {{3, held, {retry}}, {4, held, {retry}}};
        scheduler.refusedId = 3;
        HeldJobReleaser::Result result = HeldJobReleaser(scheduler, queue.toStdString(), "grace", log).run();
        QCOMPARE(result.released, std::size_t(1));
        QCOMPARE(result.failed, std::size_t(1));
        QCOMPARE(scheduler.released, QList<int>{4});
        QCOMPARE(log.count(QStringLiteral("Could not release print job 3: not allowed")), 1);

        scheduler.listingFailure = "Forbidden";
        scheduler.released.clear();
        result = HeldJobReleaser(scheduler, queue.toStdString(), "grace", log).run();
        QVERIFY(!result.listed);
        QVERIFY(scheduler.released.isEmpty());
        QCOMPARE(log.count(QStringLiteral("Could not ask the listed scheduler for held print jobs: Forbidden")), 1);
    }

    // Below a root only the root's scheduler is asked, and a missing or
    // silent one is given up on within the time limit.
    void unansweredSchedulerIsGivenUpOn_data()
    {
        QTest::addColumn<bool>("listening");
        QTest::newRow("no scheduler") << false;
        QTest::newRow("scheduler that never answers") << true;
    }

    void unansweredSchedulerIsGivenUpOn()
    {
        QFETCH(bool, listening);
        TestRoot root;
        const QString socket = root.system(QString::fromLatin1(tavoren::shared::HandOff::schedulerSocket));
        QCOMPARE(QString::fromStdString(CupsPrintScheduler::agentServer()), socket);
        int fd = -1;
        if (listening) {
            root.makeDir(QStringLiteral("/run/cups"));
            if (!listenWithoutAnswering(socket, &fd))
                QSKIP("the test root's path is too long for a socket address");
        }
        // A hang would never return here; the test's own time-out catches it.
        CupsPrintScheduler scheduler(socket.toStdString(), std::chrono::milliseconds(300));
        const auto listing = scheduler.unfinishedJobs(queue.toStdString(), "grace");
        if (fd >= 0)
            ::close(fd);
        QVERIFY(!listing);
        QVERIFY(!listing.error().text.empty());
    }

    // A scheduler that hangs up on the agent's request costs a log line, not
    // the agent.
    void schedulerHangingUpLeavesTheAgentRunning()
    {
        TestRoot root;
        QVERIFY(root.makeSocketRoot());
        if (!AgentProcess::socketPathFits())
            QSKIP("the test root's path is too long for a socket address");
        root.makeDir(QStringLiteral("/run/cups"));
        int listener = -1;
        if (!listenWithoutAnswering(root.system(QString::fromLatin1(tavoren::shared::HandOff::schedulerSocket)), &listener))
            QSKIP("the test root's path is too long for a socket address");
        std::atomic<bool> done{false};
        std::thread hangingUp([&] {
            while (!done) {
                pollfd wait{listener, POLLIN, 0};
                if (::poll(&wait, 1, 20) > 0) {
                    const int connection = ::accept(listener, nullptr, nullptr);
                    if (connection >= 0)
                        ::close(connection);
                }
            }
        });
        const auto stop = qScopeGuard([&] {
            done = true;
            hangingUp.join();
            ::close(listener);
        });
        AgentProcess agent;
        QVERIFY(agent.start());
        QVERIFY(QTest::qWaitFor([&] { return agent.standardError().contains("log: Could not ask the print scheduler at"); }, 20000));
        QVERIFY(StandInClient::install(root));
        QCOMPARE(AgentProcess::answerTo("A:: ::/spool/j/a.pdf"), QByteArray(1, tavoren::shared::HandOff::clientStarted));
        QCOMPARE(agent.process().state(), QProcess::Running);
    }

    // The real scheduler: a job printed while the user had no agent is held;
    // once the user's agent starts it prints without waiting for the
    // scheduler's retry or a person's release. Another user's held job and a
    // job the user held stay held.
    void startingAgentReleasesTheUsersHeldJobs_data()
    {
        QTest::addColumn<QByteArray>("backendScript");
        QTest::newRow("held with a marker") << holdingBackend;
        QTest::newRow("left to be retried by an older backend") << retryingBackend;
    }

    void startingAgentReleasesTheUsersHeldJobs()
    {
        QFETCH(QByteArray, backendScript);
        QString reason;
        if (!PrivateCupsd::available(&reason))
            QSKIP(qPrintable(reason));
        if (!SecondUser::ensure(&reason))
            QSKIP(qPrintable(reason));
        const QString user = QString::fromLatin1(SecondUser::name);
        TestRoot root;
        QVERIFY(root.makeSocketRoot());
        if (!tavoren::shared::SocketAddress::forPath(QFile::encodeName(AgentProcess::socketPath(user)).toStdString()))
            QSKIP("the test root's path is too long for the user's socket address");
        makeHeldJobsFolder(root);
        const QString backend = root.writeFile(QStringLiteral("/usr/lib/cups/backend/corvanetavoren"), backendScript);
        QVERIFY(::chmod(QFile::encodeName(backend).constData(), 0700) == 0);
        const QString document = root.writeFile(QStringLiteral("/documents/page.txt"), "a page\n");
        QVERIFY(root.openToOthers());
        ::chmod(QFile::encodeName(root.system(QStringLiteral("/documents"))).constData(), 0755);
        ::chmod(QFile::encodeName(document).constData(), 0644);
        PrivateCupsd cupsd(root);
        QVERIFY2(cupsd.start(&reason), qPrintable(reason));
        QCOMPARE(cupsd.runCommand(QStringLiteral("lpadmin"),
                                  {QStringLiteral("-p"), queue, QStringLiteral("-E"), QStringLiteral("-v"),
                                   QStringLiteral("corvanetavoren:/")}),
                 0);

        const auto print = [&](const QString &asUser, const QStringList &options) {
            return cupsd.print(queue, options + QStringList{document}, asUser);
        };
        const int waiting = print(user, {});
        const int heldByUser = print(user, {QStringLiteral("-H"), QStringLiteral("hold")});
        const int othersJob = print(QString(), {});
        QVERIFY(waiting > 0 && heldByUser > 0 && othersJob > 0);
        // The backend ran and had the job held.
        QTRY_COMPARE_WITH_TIMEOUT(cupsd.jobState(queue, waiting), int(IPP_JSTATE_HELD), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(cupsd.jobState(queue, othersJob), int(IPP_JSTATE_HELD), 30000);
        QCOMPARE(cupsd.jobState(queue, heldByUser), int(IPP_JSTATE_HELD));

        root.writeFile(QStringLiteral("/agent-is-there"), {});
        AgentProcess agent;
        QElapsedTimer sinceStart;
        sinceStart.start();
        QVERIFY(agent.startAs(user));
        QVERIFY2(agent.waitForLine("log: Released 1 held print jobs"), agent.standardError().constData());
        QTRY_COMPARE_WITH_TIMEOUT(cupsd.jobState(queue, waiting), int(IPP_JSTATE_COMPLETED), 30000);
        qInfo("held job completed %lld ms after the agent started", sinceStart.elapsed());
        QCOMPARE(cupsd.jobState(queue, heldByUser), int(IPP_JSTATE_HELD));
        QCOMPARE(cupsd.jobState(queue, othersJob), int(IPP_JSTATE_HELD));
    }
};

QTEST_GUILESS_MAIN(TestHeldJobs)
#include "tst_heldjobs.moc"
