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

    bool startAgent()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAVOREN_ROOT"), m_root->path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
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
        QVERIFY(InstalledDriver::rememberOwner(*m_root, QStringLiteral("grace@example.com")));
        m_root->makeDir(QStringLiteral("/documents"));
        QVERIFY(makePdf(QStringLiteral("one.pdf"), 1));
        QVERIFY(makePdf(QStringLiteral("two.pdf"), 2));
        QVERIFY(m_root->writeFile(QStringLiteral("/documents/notes.txt"), "Shopping list\nmilk\nbread\n").size() > 0);
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
