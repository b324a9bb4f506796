// Jobs the print scheduler holds because no agent took them: a starting
// agent has its user's released at once, and nothing else; an absent or
// silent scheduler costs a bounded wait and a log line.
#include "agent/CupsPrintScheduler.h"
#include "agent/HeldJobReleaser.h"
#include "shared/HandOff.h"
#include "shared/SocketAddress.h"
#include "shared/SystemPath.h"

#include "support/AgentProcess.h"
#include "support/PrivateCupsd.h"
#include "support/RecordingSystemLog.h"
#include "support/SecondUser.h"
#include "support/StandInClient.h"
#include "support/TestRoot.h"

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
using tavoren::testsupport::RecordingSystemLog;
using tavoren::testsupport::SecondUser;
using tavoren::testsupport::StandInClient;
using tavoren::testsupport::TestRoot;

Q_DECLARE_METATYPE(std::vector<PrintScheduler::Job>)

namespace {
const QString queue = QString::fromLatin1(tavoren::shared::HandOff::queueName);

// A scheduler holding a fixed list, recording what it was asked to release.
class ListedScheduler final : public PrintScheduler
{
public:
    std::vector<Job> jobs;
    std::optional<std::string> listingFailure;
    int refusedId = 0;
    QList<int> released;

    std::string description() const override { return "the listed scheduler"; }
    Listing unfinishedJobs(const std::string &, const std::string &) override { return {jobs, listingFailure}; }
    std::optional<std::string> release(const std::string &, const std::string &, int jobId) override
    {
        if (jobId == refusedId)
            return std::string("not allowed");
        released.append(jobId);
        return std::nullopt;
    }
};

// A backend that takes a job only once the test says an agent is there:
// until then it asks the scheduler to try again later, as ours does.
const QByteArray retryingBackend = "#!/bin/sh\n"
                                   "[ $# -eq 0 ] && { echo 'direct corvanetavoren:/ \"Unknown\" \"test\"'; exit 0; }\n"
                                   "cat >/dev/null\n"
                                   "[ -e \"$TAVOREN_ROOT/agent-is-there\" ] && exit 0\n"
                                   "exit 6\n";

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
        RecordingSystemLog log;
        ListedScheduler scheduler;
        scheduler.jobs = jobs;
        const HeldJobReleaser::Result result = HeldJobReleaser(scheduler, queue.toStdString(), "grace").run();
        QVERIFY(result.listed);
        QCOMPARE(scheduler.released, released);
        QCOMPARE(log.count(QStringLiteral("Released %1 held print jobs").arg(released.size())), 1);
    }

    // One refusal does not keep the others held; a scheduler that cannot
    // list releases nothing.
    void failuresAreLogged()
    {
        const std::string held = HeldJobReleaser::heldState;
        const std::string retry = HeldJobReleaser::retryReason;
        RecordingSystemLog log;
        ListedScheduler scheduler;
        scheduler.jobs = {{3, held, {retry}}, {4, held, {retry}}};
        scheduler.refusedId = 3;
        HeldJobReleaser::Result result = HeldJobReleaser(scheduler, queue.toStdString(), "grace").run();
        QCOMPARE(result.released, std::size_t(1));
        QCOMPARE(result.failed, std::size_t(1));
        QCOMPARE(scheduler.released, QList<int>{4});
        QCOMPARE(log.count(QStringLiteral("Could not release print job 3: not allowed")), 1);

        scheduler.listingFailure = "Forbidden";
        scheduler.released.clear();
        result = HeldJobReleaser(scheduler, queue.toStdString(), "grace").run();
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
        QElapsedTimer timer;
        timer.start();
        CupsPrintScheduler scheduler(socket.toStdString(), std::chrono::milliseconds(300));
        const PrintScheduler::Listing listing = scheduler.unfinishedJobs(queue.toStdString(), "grace");
        const qint64 elapsed = timer.elapsed();
        if (fd >= 0)
            ::close(fd);
        QVERIFY(listing.failure);
        QVERIFY(listing.jobs.empty());
        // Generous against a slow machine, far below a hang.
        QVERIFY2(elapsed < 20000, qPrintable(QString::number(elapsed)));
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
    // scheduler's retry. Another user's held job and a job the user held
    // stay held.
    void startingAgentReleasesTheUsersHeldJobs()
    {
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
        const QString backend = root.writeFile(QStringLiteral("/usr/lib/cups/backend/corvanetavoren"), retryingBackend);
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
        // The backend ran and asked to be tried again later.
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
