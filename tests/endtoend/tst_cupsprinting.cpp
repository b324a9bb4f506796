// Printing from any application through the system's print scheduler: a
// private scheduler below the test's root, the driver package installed by
// the silent installer (which makes the queue), and an ordinary user who
// prints with lp through the installed backend, that user's installed agent
// and the real client (offscreen) to the release code.
#include "InstalledDriver.h"
#include "client/support/ClientLogReader.h"
#include "release-service/ReleaseService.h"
#include "support/HelperToolProcess.h"
#include "support/InstallationMedium.h"
#include "support/PrivateCupsd.h"
#include "support/SecondUser.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <cups/ipp.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace tavoren;
using clienttest::ClientLogReader;
using testsupport::HelperToolProcess;
using testsupport::InstallationMedium;
using testsupport::InstalledDriver;
using testsupport::InstallerRun;
using testsupport::PrivateCupsd;
using testsupport::SecondUser;
using testsupport::TestRoot;

namespace {
const QString queue = QStringLiteral("Corvane_Tavoren");
const QString user = QString::fromLatin1(SecondUser::name);
constexpr int roadMilliseconds = 60000;

int convertedJobs()
{
    int count = 0;
    for (const auto &entry : ClientLogReader::entries())
        count += entry.level == QLatin1String("Status") && entry.message == QLatin1String("file converted");
    return count;
}

// Pages of a PDF as a PDF tool of the system counts them; -1 when it cannot.
int pageCount(const QString &pdf)
{
    QProcess pdfinfo;
    pdfinfo.start(QStringLiteral("pdfinfo"), {pdf});
    if (!pdfinfo.waitForFinished(30000) || pdfinfo.exitCode() != 0)
        return -1;
    const auto match = QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)$"), QRegularExpression::MultilineOption)
                           .match(QString::fromUtf8(pdfinfo.readAllStandardOutput()));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}
} // namespace

class TestCupsPrinting : public QObject
{
    Q_OBJECT

private:
    QString document(const QString &name) const { return m_root->system(QStringLiteral("/documents/") + name); }
    QString socketPath() const
    {
        return m_root->socketRoot() + QLatin1Char('/') + user + QStringLiteral("/com.corvane.TavorenAgentApp.socket");
    }
    QStringList jobFolders() const { return QDir(m_root->spoolRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot); }

    // A PDF the user may read: `pages` copies of a one-page sample.
    bool makePdf(const QString &name, int pages)
    {
        const QString page = document(QStringLiteral("page-") + name);
        const QString path = document(name);
        if (QProcess::execute(QStringLiteral("bash"),
                              {QStringLiteral(TAVOREN_SOURCE_DIR "/scripts/make-sample-pdf.sh"), page, name})
            != 0)
            return false;
        QStringList arguments{QStringLiteral("--empty"), QStringLiteral("--pages")};
        for (int i = 0; i < pages; ++i)
            arguments << page;
        arguments << QStringLiteral("--") << path;
        return QProcess::execute(QStringLiteral("qpdf"), arguments) == 0 && ::chmod(QFile::encodeName(path), 0644) == 0;
    }

    // lp as the user; the job's number, 0 when it was refused.
    int print(const QStringList &options, const QString &asUser = user) { return m_cupsd->print(queue, options, asUser); }

    int jobState(int id) const { return m_cupsd->jobState(queue, id); }

    QString userConfigHome() const { return m_root->system(QStringLiteral("/home/") + user + QStringLiteral("/config")); }

    // The mark of a job the backend holds for its user.
    QString heldMark(int id) const
    {
        return m_root->system(QStringLiteral("/var/log/cups/corvanetavorencups/held/%1").arg(id));
    }

    // The agent in a graphical session (the client runs offscreen), or, when
    // `withSession` is false, in a console login: no display of any kind.
    bool startAgent(bool withSession = true)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAVOREN_ROOT"), m_root->path());
        for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(variable));
        if (withSession)
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), userConfigHome());
        m_agent.setProcessEnvironment(environment);
        m_agent.setProcessChannelMode(QProcess::MergedChannels);
        SecondUser::start(m_agent, InstalledDriver::agent(*m_root), {QStringLiteral("--echo-log")});
        return QTest::qWaitFor([this] { return QFileInfo(socketPath()).exists(); }, 20000);
    }

    void stopAgent()
    {
        InstalledDriver::endProcesses(InstalledDriver::agent(*m_root));
        m_agent.waitForFinished(10000);
        QFile::remove(socketPath());
    }

    // Waits until the client has reached one more release code; the PDF the
    // service stored for it.
    QString waitForTheReleaseCode(int convertedBefore)
    {
        if (!QTest::qWaitFor([&] { return convertedJobs() > convertedBefore; }, roadMilliseconds))
            return QString();
        const auto jobs = m_service->jobs();
        return jobs.empty() ? QString() : QString::fromStdString(jobs.back().storedFile);
    }

    QString diagnostics()
    {
        QFile errors(m_cupsd->errorLog());
        errors.open(QIODevice::ReadOnly);
        const QByteArray log = errors.readAll();
        return ClientLogReader::dump() + QString::fromLocal8Bit(m_agent.readAll())
               + QString::fromLocal8Bit(log.right(6000));
    }

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<HelperToolProcess> m_helper;
    std::unique_ptr<PrivateCupsd> m_cupsd;
    std::unique_ptr<releaseservice::ReleaseService> m_service;
    QProcess m_agent;
    QString m_installLog;

private slots:
    void initTestCase()
    {
        QString reason;
        if (!PrivateCupsd::available(&reason))
            QSKIP(qPrintable(reason));
        if (!SecondUser::ensure(&reason))
            QSKIP(qPrintable(reason));
        // A short root, so that the user's socket address fits below it.
        QCoreApplication::setApplicationName(QStringLiteral("tcp"));
        m_root = std::make_unique<TestRoot>();
        if (socketPath().toUtf8().size() >= 108)
            QSKIP("the temporary folder's path is too long for a socket address");
        m_helper = std::make_unique<HelperToolProcess>();
        m_cupsd = std::make_unique<PrivateCupsd>(*m_root);
        QVERIFY2(m_cupsd->start(&reason), qPrintable(reason));

        InstallationMedium medium(*m_root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        QVERIFY(InstallationMedium::realPackageInstaller(*m_root));
        InstallerRun installation(medium, {QStringLiteral("-s"), user}, InstallationMedium::environment(*m_root));
        QCOMPARE(installation.finish(), 0);
        m_installLog = m_root->readText(QStringLiteral("/var/log/install.log"));

        releaseservice::ReleaseService::Options options;
        options.storageDir = m_root->makeDir(QStringLiteral("/service")).toStdString();
        options.statusSequence = {1, 4};
        m_service = std::make_unique<releaseservice::ReleaseService>(options);
        QVERIFY(m_service->start());
        QVERIFY(InstalledDriver::pointAdminFileAt(*m_root, QStringLiteral("127.0.0.1:%1").arg(m_service->port())));
        // The user's own address, in the user's own configuration home.
        QVERIFY(InstalledDriver::rememberOwnerOf(userConfigHome(), SecondUser::uid(), SecondUser::gid(),
                                                 QStringLiteral("grace@example.com")));
        m_root->makeDir(QStringLiteral("/documents"));
        QVERIFY(makePdf(QStringLiteral("one.pdf"), 1));
        QVERIFY(makePdf(QStringLiteral("two.pdf"), 2));
        QVERIFY(m_root->writeFile(QStringLiteral("/documents/notes.txt"), "Shopping list\nmilk\nbread\n").size() > 0);
        // Lines longer than the page is wide, and more of them than fit one page.
        QByteArray wide;
        for (int line = 0; line < 90; ++line)
            wide += "Line " + QByteArray::number(line) + " of a text that runs on well past the width of any page it is printed on\n";
        QVERIFY(m_root->writeFile(QStringLiteral("/documents/wide.txt"), wide).size() > 0);
        ::chmod(QFile::encodeName(document(QStringLiteral("wide.txt"))), 0644);
        ::chmod(QFile::encodeName(document(QStringLiteral("notes.txt"))), 0644);
        ::chmod(QFile::encodeName(m_root->system(QStringLiteral("/documents"))), 0755);
    }

    void cleanup()
    {
        if (!m_cupsd)
            return;
        InstalledDriver::endProcesses(InstalledDriver::client(*m_root));
        // The printer's state message is shown to every user: no paths, no accounts.
        QByteArray shown;
        m_cupsd->runCommand(QStringLiteral("lpstat"), {QStringLiteral("-l"), QStringLiteral("-p"), queue}, &shown, user);
        QVERIFY2(!shown.contains(QFile::encodeName(m_root->path())), shown.constData());
        QVERIFY2(!shown.contains(SecondUser::name), shown.constData());
    }

    void cleanupTestCase()
    {
        if (!m_cupsd)
            return;
        stopAgent();
        m_cupsd->stop();
    }

    void installationMakesTheQueue()
    {
        QByteArray output;
        QCOMPARE(m_cupsd->runCommand(QStringLiteral("lpstat"), {QStringLiteral("-v"), queue}, &output), 0);
        QVERIFY2(output.contains("corvanetavoren:/"), output.constData());
        QVERIFY2(m_installLog.contains(QStringLiteral("Print queue Corvane_Tavoren ready")), qPrintable(m_installLog));
        struct stat backend{};
        QCOMPARE(::stat(QFile::encodeName(InstalledDriver::backend(*m_root)).constData(), &backend), 0);
        QCOMPARE(backend.st_uid, uid_t(0));
        QCOMPARE(backend.st_mode & 07777, mode_t(0700));
    }

    // Printed while the user's agent is not running, the job is kept, and it
    // prints as soon as the agent starts, not after the scheduler's hold.
    void jobWaitsForTheAgent()
    {
        const int converted = convertedJobs();
        const int id = print({QStringLiteral("-t"), QStringLiteral("Quarterly report"), document(QStringLiteral("one.pdf"))});
        QVERIFY(id > 0);
        QTRY_COMPARE_WITH_TIMEOUT(jobState(id), int(IPP_JSTATE_HELD), roadMilliseconds);
        QVERIFY(jobFolders().isEmpty());

        QElapsedTimer sinceStart;
        sinceStart.start();
        QVERIFY(startAgent());
        const QString stored = waitForTheReleaseCode(converted);
        QVERIFY2(!stored.isEmpty(), qPrintable(diagnostics()));
        qInfo("Held job printed %lld ms after the agent started", static_cast<long long>(sinceStart.elapsed()));
        QTRY_COMPARE_WITH_TIMEOUT(jobState(id), int(IPP_JSTATE_COMPLETED), roadMilliseconds);
        QCOMPARE(pageCount(stored), 1);
        QCOMPARE(QString::fromStdString(m_service->jobs().back().contentDescription), QStringLiteral("Quarterly report"));
        QTRY_VERIFY(jobFolders().isEmpty());
    }

    // Several documents, copies and text: one upload holding every page.
    void documentsReachTheReleaseCode_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("pages");
        QTest::newRow("one document") << QStringList{document(QStringLiteral("one.pdf"))} << 1;
        QTest::newRow("two documents")
            << QStringList{document(QStringLiteral("two.pdf")), document(QStringLiteral("one.pdf"))} << 3;
        QTest::newRow("three copies") << QStringList{QStringLiteral("-n"), QStringLiteral("3"), document(QStringLiteral("two.pdf"))}
                                      << 6;
        QTest::newRow("text") << QStringList{document(QStringLiteral("notes.txt"))} << 1;
    }

    void documentsReachTheReleaseCode()
    {
        QFETCH(QStringList, options);
        QFETCH(int, pages);
        const int converted = convertedJobs();
        const int id = print(options);
        QVERIFY(id > 0);
        const QString stored = waitForTheReleaseCode(converted);
        QVERIFY2(!stored.isEmpty(), qPrintable(diagnostics()));
        QCOMPARE(pageCount(stored), pages);
        QTRY_COMPARE_WITH_TIMEOUT(jobState(id), int(IPP_JSTATE_COMPLETED), roadMilliseconds);
    }

    // Text is laid out within the page's margins (0.25 in), not edge to edge.
    void textHasMargins()
    {
        const int converted = convertedJobs();
        const int id = print({document(QStringLiteral("wide.txt"))});
        QVERIFY(id > 0);
        const QString stored = waitForTheReleaseCode(converted);
        QVERIFY2(!stored.isEmpty(), qPrintable(diagnostics()));
        QProcess pdftotext;
        pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), stored, QStringLiteral("-")});
        QVERIFY(pdftotext.waitForFinished(30000));
        const QString boxes = QString::fromUtf8(pdftotext.readAllStandardOutput());
        const auto page = QRegularExpression(QStringLiteral("<page width=\"([\\d.]+)\" height=\"([\\d.]+)\">")).match(boxes);
        QVERIFY2(page.hasMatch(), qPrintable(boxes.left(500)));
        const double width = page.captured(1).toDouble();
        const double height = page.captured(2).toDouble();
        const QRegularExpression word(QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">"));
        int words = 0;
        for (auto it = word.globalMatch(boxes); it.hasNext(); ++words) {
            const auto box = it.next();
            const QString where = box.captured(0);
            QVERIFY2(box.captured(1).toDouble() >= 18 && box.captured(2).toDouble() >= 18, qPrintable(where));
            QVERIFY2(box.captured(3).toDouble() <= width - 18 && box.captured(4).toDouble() <= height - 18 + 1, qPrintable(where));
        }
        // The filter's text has no word spacing a reader finds: a box a line.
        QVERIFY2(words >= 90, qPrintable(QString::number(words)));
        QTRY_COMPARE_WITH_TIMEOUT(jobState(id), int(IPP_JSTATE_COMPLETED), roadMilliseconds);
    }

    // A job held for want of an agent is still recognised as such after the
    // scheduler has restarted: the agent releases it when it starts.
    void heldJobOutlivesASchedulerRestart()
    {
        stopAgent();
        const int id = print({document(QStringLiteral("one.pdf"))});
        QVERIFY(id > 0);
        QTRY_COMPARE_WITH_TIMEOUT(jobState(id), int(IPP_JSTATE_HELD), roadMilliseconds);
        QVERIFY(QFileInfo::exists(heldMark(id)));
        m_cupsd->stop();
        QString reason;
        QVERIFY2(m_cupsd->start(&reason), qPrintable(reason));
        QCOMPARE(jobState(id), int(IPP_JSTATE_HELD));

        const int converted = convertedJobs();
        QVERIFY(startAgent());
        QVERIFY2(!waitForTheReleaseCode(converted).isEmpty(), qPrintable(diagnostics()));
        QTRY_COMPARE_WITH_TIMEOUT(jobState(id), int(IPP_JSTATE_COMPLETED), roadMilliseconds);
        QVERIFY(!QFileInfo::exists(heldMark(id)));
    }

    // An agent of a console or SSH login cannot show the client: the job is
    // kept, not reported printed, until the user's graphical session.
    void noGraphicalSessionKeepsTheJob()
    {
        stopAgent();
        QVERIFY(startAgent(false));
        const int id = print({document(QStringLiteral("one.pdf"))});
        QVERIFY(id > 0);
        QTRY_COMPARE_WITH_TIMEOUT(jobState(id), int(IPP_JSTATE_HELD), roadMilliseconds);
        QVERIFY(QFileInfo::exists(heldMark(id)));
        QVERIFY(jobFolders().isEmpty());
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += m_agent.readAll()).contains("No graphical session"), 20000);

        stopAgent();
        const int converted = convertedJobs();
        QVERIFY(startAgent());
        QVERIFY2(!waitForTheReleaseCode(converted).isEmpty(), qPrintable(diagnostics()));
        QTRY_COMPARE_WITH_TIMEOUT(jobState(id), int(IPP_JSTATE_COMPLETED), roadMilliseconds);
    }

    // A job whose user stays away longer than the administrator's days is
    // given up when the queue next prints; younger ones wait on.
    void heldJobGivenUpAfterTheAdministratorsDays()
    {
        stopAgent();
        const int old = print({document(QStringLiteral("one.pdf"))});
        QVERIFY(old > 0);
        QTRY_COMPARE_WITH_TIMEOUT(jobState(old), int(IPP_JSTATE_HELD), roadMilliseconds);
        QVERIFY(testsupport::TestRoot::setTimesBack(heldMark(old), 8 * 24 * 3600));
        const int young = print({document(QStringLiteral("two.pdf"))});
        QVERIFY(young > 0);
        QTRY_COMPARE_WITH_TIMEOUT(jobState(young), int(IPP_JSTATE_HELD), roadMilliseconds);
        QTRY_COMPARE_WITH_TIMEOUT(jobState(old), int(IPP_JSTATE_CANCELED), roadMilliseconds);
        QVERIFY(!QFileInfo::exists(heldMark(old)));

        const int converted = convertedJobs();
        QVERIFY(startAgent());
        QVERIFY2(!waitForTheReleaseCode(converted).isEmpty(), qPrintable(diagnostics()));
        QTRY_COMPARE_WITH_TIMEOUT(jobState(young), int(IPP_JSTATE_COMPLETED), roadMilliseconds);
    }

    // What a backend stopped midway left (the scheduler stopped while a job
    // spooled) goes with the next job.
    void leftoversOfAStoppedBackendGo()
    {
        const QString left = m_root->spoolRoot() + QStringLiteral("/job999-AbC123");
        QVERIFY(!m_root->writeFile(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver/job999-AbC123/.job999.pdf.part"),
                                   "%PDF-1.4 half").isEmpty());
        QVERIFY(testsupport::TestRoot::setTimesBack(left, 60));
        const int converted = convertedJobs();
        const int id = print({document(QStringLiteral("one.pdf"))});
        QVERIFY(id > 0);
        QVERIFY2(!waitForTheReleaseCode(converted).isEmpty(), qPrintable(diagnostics()));
        QVERIFY(!QFileInfo::exists(left));
    }

    // Installing over the installed version keeps the queue with the job it
    // holds and the options its administrator chose, and the admin file's
    // service: the held job prints, to that service, once the agent runs.
    void upgradeKeepsTheQueueItsJobsAndSettings()
    {
        stopAgent();
        QCOMPARE(m_cupsd->runCommand(QStringLiteral("lpadmin"), {QStringLiteral("-p"), queue, QStringLiteral("-L"),
                                                                  QStringLiteral("Shop floor"), QStringLiteral("-o"),
                                                                  QStringLiteral("PageSize=A4")}),
                 0);
        const int id = print({document(QStringLiteral("one.pdf"))});
        QVERIFY(id > 0);
        QTRY_COMPARE_WITH_TIMEOUT(jobState(id), int(IPP_JSTATE_HELD), roadMilliseconds);

        InstallationMedium medium(*m_root, QStringLiteral("/medium-again"));
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        InstallerRun upgrade(medium, {QStringLiteral("-s"), user}, InstallationMedium::environment(*m_root));
        QCOMPARE(upgrade.finish(), 0);
        const QString installLog = m_root->readText(QStringLiteral("/var/log/install.log"));
        QVERIFY2(installLog.contains(QLatin1String("Print queue Corvane_Tavoren kept, with its jobs and options")), qPrintable(installLog.right(3000)));

        QCOMPARE(jobState(id), int(IPP_JSTATE_HELD));
        QByteArray shown;
        QCOMPARE(m_cupsd->runCommand(QStringLiteral("lpstat"), {QStringLiteral("-l"), QStringLiteral("-p"), queue}, &shown), 0);
        QVERIFY2(shown.contains("Location: Shop floor"), shown.constData());
        // The scheduler's own copy of the printer's description keeps the default chosen.
        const QString description = m_root->readText(QStringLiteral("/etc/cups/ppd/Corvane_Tavoren.ppd"));
        QVERIFY2(description.contains(QLatin1String("*DefaultPageSize: A4")), qPrintable(description.left(2000)));
        QVERIFY(description.contains(QLatin1String("*ImageableArea A4/A4: \"18 18 577 824\"")));

        const int converted = convertedJobs();
        QVERIFY(startAgent());
        QVERIFY2(!waitForTheReleaseCode(converted).isEmpty(), qPrintable(diagnostics()));
        QTRY_COMPARE_WITH_TIMEOUT(jobState(id), int(IPP_JSTATE_COMPLETED), roadMilliseconds);
    }

    // A client that cannot start leaves the job with the scheduler, not
    // reported as printed; released, it prints.
    void clientThatCannotStartKeepsTheJob()
    {
        const QByteArray client = QFile::encodeName(InstalledDriver::client(*m_root));
        QCOMPARE(::chmod(client.constData(), 0644), 0);
        const int id = print({document(QStringLiteral("one.pdf"))});
        QVERIFY(id > 0);
        QTRY_COMPARE_WITH_TIMEOUT(jobState(id), int(IPP_JSTATE_HELD), roadMilliseconds);
        QVERIFY(jobFolders().isEmpty());

        QCOMPARE(::chmod(client.constData(), 0755), 0);
        const int converted = convertedJobs();
        QCOMPARE(m_cupsd->runCommand(QStringLiteral("lp"),
                                     {QStringLiteral("-i"), QStringLiteral("%1-%2").arg(queue).arg(id), QStringLiteral("-H"),
                                      QStringLiteral("resume")},
                                     nullptr, user),
                 0);
        QVERIFY2(!waitForTheReleaseCode(converted).isEmpty(), qPrintable(diagnostics()));
        QTRY_COMPARE_WITH_TIMEOUT(jobState(id), int(IPP_JSTATE_COMPLETED), roadMilliseconds);
    }

    // A job of someone without an account here can never be handed to an
    // agent: it ends at once instead of waiting in the queue.
    void unknownUserIsNotKept()
    {
        const int id = print({QStringLiteral("-U"), QStringLiteral("nosuchaccount"), document(QStringLiteral("one.pdf"))},
                             QString());
        QVERIFY(id > 0);
        QTRY_VERIFY_WITH_TIMEOUT(jobState(id) >= int(IPP_JSTATE_STOPPED), roadMilliseconds);
        QVERIFY(jobState(id) != int(IPP_JSTATE_COMPLETED));
        QVERIFY(jobFolders().isEmpty());
    }

    // Cancelled while the backend waits on an agent that has hung, the job
    // leaves no folder behind.
    void cancelledJobLeavesNothing()
    {
        stopAgent();
        // Copied into the root, which the user can reach.
        const QString hung = document(QStringLiteral("tavoren_silent_listener"));
        QVERIFY(QFile::copy(QStringLiteral(TAVOREN_SILENT_LISTENER), hung));
        QProcess listener;
        SecondUser::start(listener, hung, {socketPath()});
        QVERIFY(QTest::qWaitFor([this] { return QFileInfo(socketPath()).exists(); }, 20000));
        const int id = print({document(QStringLiteral("one.pdf"))});
        QVERIFY(id > 0);
        QTRY_COMPARE_WITH_TIMEOUT(jobFolders().size(), qsizetype(1), roadMilliseconds);
        QCOMPARE(m_cupsd->runCommand(QStringLiteral("cancel"), {QStringLiteral("%1-%2").arg(queue).arg(id)}, nullptr, user),
                 0);
        QTRY_VERIFY_WITH_TIMEOUT(jobFolders().isEmpty(), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(jobState(id), int(IPP_JSTATE_CANCELED), roadMilliseconds);
        InstalledDriver::endProcesses(hung);
        listener.waitForFinished(10000);
    }

    // Removing the driver deletes its queue with it; the scheduler goes on.
    void uninstallDeletesTheQueue()
    {
        stopAgent();
        QProcess uninstall;
        uninstall.setProcessEnvironment(m_cupsd->clientEnvironment());
        uninstall.setProcessChannelMode(QProcess::MergedChannels);
        uninstall.start(QStringLiteral("/bin/sh"), {m_root->system(QStringLiteral("/Library/Printers/CorvaneTavoren/Uninstall.sh"))});
        QVERIFY(uninstall.waitForFinished(60000));
        const QByteArray output = uninstall.readAll();
        QVERIFY2(uninstall.exitCode() == 0, output.constData());
        QVERIFY2(output.contains("Removed the print queue Corvane_Tavoren"), output.constData());
        QVERIFY(m_cupsd->runCommand(QStringLiteral("lpstat"), {QStringLiteral("-p"), queue}) != 0);
        QVERIFY(!QFileInfo::exists(InstalledDriver::backend(*m_root)));
        QCOMPARE(m_cupsd->runCommand(QStringLiteral("lpstat"), {QStringLiteral("-r")}), 0);
    }
};

QTEST_MAIN(TestCupsPrinting)
#include "tst_cupsprinting.moc"
