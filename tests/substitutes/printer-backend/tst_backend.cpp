// The corvanetavoren program as the print scheduler runs it: its command
// line, exit codes, messages, and the message the user's agent receives.
#include "agent/AgentConstants.h"
#include "printer-backend/AgentNotifier.h"
#include "printer-backend/Backend.h"
#include "printer-backend/BoundedProcess.h"
#include "printer-backend/DocumentMerger.h"
#include "shared/Descriptor.h"
#include "shared/HandOff.h"
#include "shared/SocketAddress.h"

#include "PdfSamples.h"
#include "support/AgentProcess.h"
#include "support/StandInClient.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using tavoren::printerbackend::AgentNotifier;
using tavoren::printerbackend::Backend;
using tavoren::printerbackend::Cancellation;
using tavoren::printerbackend::DocumentMerger;
using tavoren::printerbackend::ExitCode;
using tavoren::testsupport::AgentProcess;
using tavoren::testsupport::PdfSamples;
using tavoren::testsupport::StandInClient;
using tavoren::testsupport::TestRoot;

namespace {
const QString backendPath = QStringLiteral(TAVOREN_TOOLS_DIR "/corvanetavoren");

QStringList jobFolders(const TestRoot &root)
{
    return QDir(root.spoolRoot()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// The jobs held for their users, by their markers.
QStringList heldMarkers(const TestRoot &root)
{
    return QDir(root.system(QString::fromLatin1(tavoren::shared::HandOff::heldJobsFolder)))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

QString markerOf(const TestRoot &root, const QString &jobId)
{
    return root.system(QString::fromLatin1(tavoren::shared::HandOff::heldJobsFolder)) + QLatin1Char('/') + jobId;
}

// Whatever scheduler the test's environment names, the program's held-job
// check finds none but the root's, which is not there.
QProcessEnvironment backendEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("CUPS_SERVER"));
    return environment;
}

QStringList jobArguments(const QString &title, const QString &file = QString())
{
    QStringList arguments{QStringLiteral("42"), AgentProcess::userName(), title, QStringLiteral("1"), QStringLiteral("")};
    if (!file.isEmpty())
        arguments << file;
    return arguments;
}

// A socket in the place of a user's agent that takes no message.
class Listener
{
public:
    bool listen(const QString &user)
    {
        QDir().mkpath(AgentProcess::socketFolder(user));
        m_server.setSocketOptions(QLocalServer::UserAccessOption);
        return m_server.listen(AgentProcess::socketFolder(user) + QLatin1Char('/') + QString::fromUtf8(tavoren::agent::SOCKET_FILE));
    }

private:
    QLocalServer m_server;
};

// The lines every user sees: all but the "DEBUG:" ones.
QByteArray shownLines(const QByteArray &messages)
{
    QByteArray shown;
    for (const QByteArray &line : messages.split('\n'))
        if (!line.isEmpty() && !line.startsWith("DEBUG: "))
            shown += line + '\n';
    return shown;
}

// Whether neither the user nor a path of the spool shows outside "DEBUG:"
// lines, and those lines do hold the details.
bool detailsOnlyOnDebugLines(const QByteArray &messages, const TestRoot &root)
{
    const QByteArray shown = shownLines(messages);
    for (const QByteArray &secret : {AgentProcess::userName().toUtf8(), QFile::encodeName(root.path()),
                                     QByteArray("Corvane_Tavoren_Driver")})
        if (shown.contains(secret))
            return false;
    return messages.contains(QByteArray("DEBUG: Spooling job 42 of " + AgentProcess::userName().toUtf8() + " below "
                                        + QFile::encodeName(root.spoolRoot())));
}

// In place of the user's agent: takes one message, then answers as told.
class FakeAgent
{
public:
    enum class Reply { Started, NotStarted, Close, Silent };

    explicit FakeAgent(Reply reply) : m_reply(reply) {}
    ~FakeAgent() { finish(); }

    bool listen()
    {
        const QString path = QString::fromStdString(AgentNotifier::socketPath(AgentProcess::userName().toStdString()));
        QDir().mkpath(QFileInfo(path).path());
        const auto address = tavoren::shared::SocketAddress::forPath(QFile::encodeName(path).toStdString());
        m_listener.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!address || !m_listener || ::bind(m_listener.get(), address->address(), address->length()) != 0
            || ::listen(m_listener.get(), 4) != 0)
            return false;
        m_thread = std::thread([this] { serve(); });
        return true;
    }
    bool received() const { return m_received; }
    // The message, once the connection is over.
    QByteArray finish()
    {
        if (m_thread.joinable())
            m_thread.join();
        return m_message;
    }

private:
    void serve()
    {
        pollfd wait{m_listener.get(), POLLIN, 0};
        if (::poll(&wait, 1, 20000) != 1)
            return;
        const tavoren::shared::Descriptor connection(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        char buffer[2048];
        ssize_t count;
        while ((count = ::read(connection.get(), buffer, sizeof buffer)) > 0)
            m_message.append(buffer, count);
        m_received = true;
        if (m_reply == Reply::Started || m_reply == Reply::NotStarted)
            connection.writeAll(m_reply == Reply::Started ? "1" : "0");
        if (m_reply == Reply::Silent) {
            // Until the backend gives up and closes.
            pollfd hangUp{connection.get(), 0, 0};
            ::poll(&hangUp, 1, 60000);
        }
    }

    Reply m_reply;
    tavoren::shared::Descriptor m_listener;
    std::thread m_thread;
    QByteArray m_message;
    std::atomic<bool> m_received = false;
};
} // namespace

class TestPrinterBackendProgram : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        TestRoot root;
        if (!AgentProcess::socketPathFits())
            QSKIP("the socket path below this temporary folder is longer than a socket address holds");
    }

    void deviceLineWithoutArguments()
    {
        QProcess backend;
        backend.start(backendPath, {});
        QVERIFY(backend.waitForFinished(20000));
        QCOMPARE(backend.exitCode(), 0);
        QCOMPARE(backend.readAllStandardOutput(), QByteArray("direct corvanetavoren:/ \"Unknown\" \"Corvane Tavoren print release\"\n"));
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("error");
        const QString user = AgentProcess::userName();
        const QString t = QStringLiteral("Doc");
        const QString one = QStringLiteral("1");
        const QString none;
        const QByteArray noUser = "ERROR: No such user for this job\n";
        QTest::newRow("too few") << QStringList{QStringLiteral("42"), user} << 1
                                 << QByteArray("ERROR: Usage: corvanetavoren job-id user title copies options [file]\n");
        QTest::newRow("too many") << QStringList{QStringLiteral("42"), user, t, one, none, QStringLiteral("f"), QStringLiteral("g")} << 1
                                  << QByteArray("ERROR: Usage: corvanetavoren job-id user title copies options [file]\n");
        QTest::newRow("job id not a number") << QStringList{QStringLiteral("4x"), user, t, one, none} << 1 << QByteArray("ERROR: Bad job id\n");
        QTest::newRow("user with a path") << QStringList{QStringLiteral("42"), QStringLiteral("../") + user, t, one, none} << 5 << noUser;
        QTest::newRow("user with a slash") << QStringList{QStringLiteral("42"), QStringLiteral("a/b"), t, one, none} << 5 << noUser;
        QTest::newRow("user dot-dot") << QStringList{QStringLiteral("42"), QStringLiteral(".."), t, one, none} << 5 << noUser;
        QTest::newRow("empty user") << QStringList{QStringLiteral("42"), none, t, one, none} << 5 << noUser;
        QTest::newRow("user with a newline") << QStringList{QStringLiteral("42"), user + QStringLiteral("\nINFO: x"), t, one, none} << 5 << noUser;
        QTest::newRow("unknown user") << QStringList{QStringLiteral("42"), QStringLiteral("no-such-user-tavoren"), t, one, none} << 5 << noUser;
        QTest::newRow("overlong user") << QStringList{QStringLiteral("42"), QString(33, QLatin1Char('u')), t, one, none} << 5 << noUser;
        QTest::newRow("missing file") << QStringList{QStringLiteral("42"), user, t, one, none, QStringLiteral("/nonexistent/job.pdf")} << 1
                                      << QByteArray("ERROR: Cannot open the print file\n");
        // Nothing on standard input is no PDF either.
        QTest::newRow("not a PDF") << QStringList{QStringLiteral("42"), user, t, one, none} << 5
                                   << QByteArray("INFO: Spooling job 42\nERROR: The job is not a PDF document; this printer takes PDF only\n");
        // A reader of documents one after another sees the last one only.
        QTest::newRow("too many documents") << QStringList{QStringLiteral("42"), user, t, one, none} << 5
            << QByteArray("INFO: Spooling job 42\nERROR: The job has more than 256 documents; print them in smaller jobs\n");
        // Run by root, the backend runs as nobody for this row.
        QTest::newRow("backend neither root nor the user") << QStringList{QStringLiteral("42"), QStringLiteral("root"), t, one, none} << 1
            << QByteArray("ERROR: Cannot spool the job: the backend runs neither as root nor as the job's user\n");
    }

    void refusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, error);
        TestRoot root;
        QProcess backend;
        if (::geteuid() == 0 && QByteArray(QTest::currentDataTag()) == "backend neither root nor the user") {
            const passwd *nobody = ::getpwnam("nobody");
            QVERIFY(nobody);
            const uid_t uid = nobody->pw_uid;
            const gid_t gid = nobody->pw_gid;
            backend.setChildProcessModifier([uid, gid] {
                if (::setgid(gid) != 0 || ::setuid(uid) != 0)
                    ::_exit(99);
            });
        }
        backend.start(backendPath, arguments);
        if (QByteArray(QTest::currentDataTag()) == "too many documents") {
            const QByteArray document = PdfSamples::document({101});
            for (std::size_t i = 0; i <= DocumentMerger::maximumDocuments; ++i)
                backend.write(document);
        }
        backend.closeWriteChannel();
        QVERIFY(backend.waitForFinished(20000));
        QCOMPARE(backend.exitCode(), exitCode);
        QCOMPARE(shownLines(backend.readAllStandardError()), error);
        QCOMPARE(jobFolders(root), QStringList());
    }

    // Nothing printed is lost while the user is away: no folder stays
    // behind, and the scheduler holds the job, marked for the user's agent.
    void agentUnreachable_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("no socket") << QStringLiteral("none") << QByteArray("No such file or directory");
        QTest::newRow("socket of an ended agent") << QStringLiteral("stale") << QByteArray("Connection refused");
        QTest::newRow("someone else's socket") << QStringLiteral("foreign") << QByteArray(" is not a socket of ");
        // Passes the owner check, yet another user listens on it.
        QTest::newRow("user's socket, someone else listening") << QStringLiteral("listener") << QByteArray(" is not served by an agent of nobody");
    }

    void agentUnreachable()
    {
        QFETCH(QString, situation);
        QFETCH(QByteArray, reason);
        TestRoot root;
        if (situation == QStringLiteral("stale")) {
            if (!root.makeSocketRoot())
                QSKIP("the agent needs a socket root owned by root, which only root can make");
            AgentProcess ended;
            QVERIFY(ended.start());
        } else if (situation != QStringLiteral("none")) {
            if (::geteuid() != 0)
                QSKIP("only root can give a socket to another user");
            const bool listener = situation == QStringLiteral("listener");
            const QString user = listener ? QStringLiteral("nobody") : AgentProcess::userName();
            Listener server;
            QVERIFY(server.listen(user));
            const passwd *nobody = ::getpwnam("nobody");
            QVERIFY(nobody);
            const QString socket = AgentProcess::socketFolder(user) + QLatin1Char('/') + QString::fromUtf8(tavoren::agent::SOCKET_FILE);
            QVERIFY(::lchown(QFile::encodeName(socket).constData(), nobody->pw_uid, nobody->pw_gid) == 0);
            QStringList arguments = jobArguments(QStringLiteral("Doc"));
            arguments[1] = user;
            QProcess backend;
            backend.setProcessEnvironment(backendEnvironment());
            backend.start(backendPath, arguments);
            backend.write("%PDF-1.4");
            backend.closeWriteChannel();
            QVERIFY(backend.waitForFinished(20000));
            QCOMPARE(backend.exitCode(), 3);
            const QByteArray messages = backend.readAllStandardError();
            QVERIFY2(messages.contains(reason), messages.constData());
            QVERIFY2(!shownLines(messages).contains(reason), messages.constData());
            QCOMPARE(jobFolders(root), QStringList());
            QCOMPARE(heldMarkers(root), QStringList{QStringLiteral("42")});
            return;
        }
        QProcess backend;
        backend.setProcessEnvironment(backendEnvironment());
        backend.start(backendPath, jobArguments(QStringLiteral("Doc")));
        backend.write("%PDF-1.4");
        backend.closeWriteChannel();
        QVERIFY(backend.waitForFinished(20000));
        QCOMPARE(backend.exitCode(), 3);
        const QByteArray messages = backend.readAllStandardError();
        QCOMPARE(shownLines(messages),
                 QByteArray("INFO: Spooling job 42\nWARNING: The hand-off agent cannot be reached; the job waits for its user\n"));
        QVERIFY2(messages.contains(reason), messages.constData());
        QVERIFY2(detailsOnlyOnDebugLines(messages, root), messages.constData());
        QCOMPARE(jobFolders(root), QStringList());
        QCOMPARE(heldMarkers(root), QStringList{QStringLiteral("42")});
    }

    // The message on the wire and the file it names.
    void messageToTheAgent_data()
    {
        QTest::addColumn<bool>("fromFile");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("standard input") << false << QStringLiteral("Quarterly report.pdf") << QByteArray("Quarterly report.pdf");
        QTest::newRow("file argument") << true << QStringLiteral("Menu.pdf") << QByteArray("Menu.pdf");
        QTest::newRow("title with separators") << false << QStringLiteral("a:: ::b|| ||c") << QByteArray("a:: :b|| |c");
    }

    void messageToTheAgent()
    {
        QFETCH(bool, fromFile);
        QFETCH(QString, title);
        QFETCH(QByteArray, name);
        TestRoot root;
        FakeAgent agent{FakeAgent::Reply::Started};
        QVERIFY(agent.listen());
        const QByteArray document = "%PDF-1.4\n" + QByteArray(300000, 'z') + "%%EOF\n";
        const QString input = root.writeFile(QStringLiteral("/cups/d00042-001"), document);
        QProcess backend;
        if (!fromFile)
            backend.setStandardInputFile(input);
        backend.start(backendPath, jobArguments(title, fromFile ? input : QString()));
        const QByteArray message = agent.finish();
        QVERIFY(backend.waitForFinished(20000));
        const QByteArray messages = backend.readAllStandardError();
        QCOMPARE(backend.exitCode(), 0);
        QCOMPARE(shownLines(messages), QByteArray("INFO: Spooling job 42\nINFO: Job 42 handed to the hand-off agent\n"));
        QVERIFY2(detailsOnlyOnDebugLines(messages, root), messages.constData());

        QVERIFY(message.endsWith('\0'));
        QCOMPARE(message.count('\0'), 1);
        const qsizetype separator = message.indexOf(":: ::", name.size());
        QCOMPARE(message.left(separator), name);
        const QString file = QFile::decodeName(message.mid(separator + 5).chopped(1));
        const QFileInfo info(file);
        QCOMPARE(info.fileName(), QStringLiteral("job42.pdf"));
        QCOMPARE(QFileInfo(info.path()).path(), root.spoolRoot());
        QVERIFY(QFileInfo(info.path()).fileName().startsWith(QStringLiteral("job42-")));
        QFile spooled(file);
        QVERIFY(spooled.open(QIODevice::ReadOnly));
        QCOMPARE(spooled.readAll(), document);
        QCOMPARE(QDir(info.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("job42.pdf")});
    }

    // Only an agent that started the client keeps the job, its documents
    // merged, and the job waits no more; otherwise the scheduler holds it,
    // marked since its first hold, and no folder stays.
    void agentAnswers_data()
    {
        QTest::addColumn<int>("reply");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<bool>("heldBefore"); // for two days
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("error"); // empty: handed on
        QTest::newRow("client started") << int(FakeAgent::Reply::Started) << 20000 << false << 0 << QByteArray();
        QTest::newRow("client started, held before") << int(FakeAgent::Reply::Started) << 20000 << true << 0 << QByteArray();
        QTest::newRow("agent gone before its answer") << int(FakeAgent::Reply::Close) << 20000 << false << 3
            << QByteArray("WARNING: The hand-off agent ended before it answered; the job waits for its user\n");
        QTest::newRow("client not started") << int(FakeAgent::Reply::NotStarted) << 20000 << false << 3
            << QByteArray("WARNING: The hand-off agent could not start the print release client; the job waits for its user\n");
        QTest::newRow("no answer in time") << int(FakeAgent::Reply::Silent) << 200 << false << 3
                                           << QByteArray("WARNING: The hand-off agent did not answer in time; the job waits for its user\n");
        QTest::newRow("client not started, held before") << int(FakeAgent::Reply::NotStarted) << 20000 << true << 3
            << QByteArray("WARNING: The hand-off agent could not start the print release client; the job waits for its user\n");
    }

    void agentAnswers()
    {
        QFETCH(int, reply);
        QFETCH(int, timeoutMs);
        QFETCH(bool, heldBefore);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, error);
        TestRoot root;
        constexpr long twoDays = 2 * 24 * 60 * 60;
        if (heldBefore) {
            root.writeFile(QString::fromLatin1(tavoren::shared::HandOff::heldJobsFolder) + QStringLiteral("/42"), QByteArray());
            QVERIFY(TestRoot::setTimesBack(markerOf(root, QStringLiteral("42")), twoDays));
        }
        FakeAgent agent{FakeAgent::Reply(reply)};
        QVERIFY(agent.listen());
        QProcessEnvironment environment = backendEnvironment();
        environment.insert(QString::fromLatin1(Backend::agentTimeoutVariable), QString::number(timeoutMs));
        QProcess backend;
        backend.setProcessEnvironment(environment);
        backend.start(backendPath, jobArguments(QStringLiteral("Doc")));
        backend.write(PdfSamples::document({101, 102}) + PdfSamples::document({201}));
        backend.closeWriteChannel();
        QVERIFY(backend.waitForFinished(20000));
        const QByteArray message = agent.finish();
        QVERIFY(message.startsWith(QByteArray("Doc:: ::" + QFile::encodeName(root.spoolRoot()) + "/job42-")));
        QCOMPARE(backend.exitCode(), exitCode);
        const QByteArray messages = backend.readAllStandardError();
        QVERIFY2(detailsOnlyOnDebugLines(messages, root), messages.constData());
        if (error.isEmpty()) {
            QCOMPARE(shownLines(messages), QByteArray("INFO: Spooling job 42\nINFO: Merged 2 documents into one of 3 pages\n"
                                                      "INFO: Job 42 handed to the hand-off agent\n"));
            QFile spooled(QFile::decodeName(message.mid(8).chopped(1)));
            QVERIFY(spooled.open(QIODevice::ReadOnly));
            QCOMPARE(PdfSamples::pageWidths(spooled.readAll()), std::optional<QList<int>>({101, 102, 201}));
        } else {
            QCOMPARE(shownLines(messages), "INFO: Spooling job 42\nINFO: Merged 2 documents into one of 3 pages\n" + error);
            QCOMPARE(jobFolders(root), QStringList());
        }
        QCOMPARE(heldMarkers(root), error.isEmpty() ? QStringList() : QStringList{QStringLiteral("42")});
        // With a job held, the scheduler is asked about it; one that is not
        // there costs a debug line, not the job.
        const QByteArray unasked = "DEBUG: Held jobs not checked: the print scheduler at "
                                   + QFile::encodeName(root.system(QStringLiteral("/run/cups/cups.sock")))
                                   + ": no socket: No such file or directory\n";
        QCOMPARE(messages.contains(unasked), heldBefore);
        if (!error.isEmpty()) {
            // Held since the first time.
            struct stat status{};
            QVERIFY(::stat(QFile::encodeName(markerOf(root, QStringLiteral("42"))).constData(), &status) == 0);
            const long age = long(std::time(nullptr) - status.st_mtim.tv_sec);
            QVERIFY2(heldBefore ? age >= twoDays && age < twoDays + 600 : age < 600, qPrintable(QString::number(age)));
        }
    }

    // A job whose documents would take more than the merge may is refused
    // like other input the backend does not take: the scheduler cancels it,
    // nothing stays behind, and only the debug lines say why.
    void mergeLimits_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("objects");
        QTest::addColumn<int>("memoryMiB");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("shown");
        QTest::addColumn<QByteArray>("why"); // on the debug line
        // Four pages and their contents: eight objects.
        const QByteArray job = PdfSamples::document({101, 102, 103}) + PdfSamples::document({201});
        const int memory = int(DocumentMerger::defaultLimits.memoryBytes >> 20);
        const QByteArray refused = "INFO: Spooling job 42\n"
                                   "ERROR: The job's documents are too large to merge into one; print them in smaller jobs\n";
        QTest::newRow("just under both limits") << job << 4 << 8 << memory << 3
            << QByteArray("INFO: Spooling job 42\nINFO: Merged 2 documents into one of 4 pages\n"
                          "WARNING: The hand-off agent cannot be reached; the job waits for its user\n")
            << QByteArray();
        QTest::newRow("over the page limit") << job << 3 << 100 << memory << 5 << refused
                                             << QByteArray("document 2 of 2 brings the pages the page trees claim to 4; the limit is 3");
        QTest::newRow("over the object limit") << job << 100 << 7 << memory << 5 << refused
                                               << QByteArray("document 2 of 2 has more than 1 objects, after 6; the limit is 7");
        QTest::newRow("beyond the memory bound") << PdfSamples::crossReferenceBomb(2000000) + job << 100 << 100 << 32 << 5 << refused
                                                 << QByteArray("the merge ended early: the child reached its bound of 32 MiB");
    }

    void mergeLimits()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, pages);
        QFETCH(int, objects);
        QFETCH(int, memoryMiB);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, shown);
        QFETCH(QByteArray, why);
        if (!tavoren::printerbackend::BoundedProcess::boundsMemory && memoryMiB == 32)
            QSKIP("no address-space bound in a sanitizer build");
        TestRoot root;
        const tavoren::shared::Descriptor file(
            ::open(QFile::encodeName(root.writeFile(QStringLiteral("/cups/d00042-001"), input)).constData(), O_RDONLY | O_CLOEXEC));
        QVERIFY(file);
        char *text = nullptr;
        std::size_t size = 0;
        std::FILE *messages = ::open_memstream(&text, &size);
        QVERIFY(messages);
        const Backend::Limits limits{std::uint64_t(input.size()), std::chrono::seconds(20),
                                     {std::size_t(pages), std::size_t(objects), std::uint64_t(memoryMiB) << 20}};
        const std::vector<std::string> arguments{"42", AgentProcess::userName().toStdString(), "Doc", "1", ""};
        const ExitCode code = Backend(limits, messages, messages).run(arguments, file.get());
        std::fclose(messages);
        const QByteArray written(text, qsizetype(size));
        std::free(text);

        QCOMPARE(int(code), exitCode);
        QCOMPARE(shownLines(written), shown);
        QVERIFY2(detailsOnlyOnDebugLines(written, root), written.constData());
        if (!why.isEmpty())
            QVERIFY2(written.contains(QByteArray("\nDEBUG: Job 42 not spooled: " + why)), written.constData());
        QVERIFY2(written.contains("DEBUG: Merging job 42 took at most "), written.constData());
        QCOMPARE(jobFolders(root), QStringList());
    }

    // Cancelled before the agent has the job, the backend ends at once and
    // leaves no folder behind.
    void cancellation_data()
    {
        QTest::addColumn<bool>("whileSpooling");
        QTest::newRow("while spooling") << true;
        QTest::newRow("while waiting for the agent") << false;
    }

    void cancellation()
    {
        QFETCH(bool, whileSpooling);
        TestRoot root;
        std::optional<FakeAgent> agent;
        if (!whileSpooling) {
            agent.emplace(FakeAgent::Reply::Silent);
            QVERIFY(agent->listen());
        }
        int input[2];
        int cancel[2];
        QVERIFY(::pipe2(input, O_CLOEXEC) == 0 && ::pipe2(cancel, O_CLOEXEC) == 0);
        const QByteArray pdf = PdfSamples::document({100});
        QCOMPARE(::write(input[1], pdf.constData(), std::size_t(pdf.size())), ssize_t(pdf.size()));
        if (!whileSpooling)
            ::close(input[1]);
        char *text = nullptr;
        std::size_t size = 0;
        std::FILE *messages = ::open_memstream(&text, &size);
        QVERIFY(messages);
        std::atomic<bool> done = false;
        ExitCode code = ExitCode::Ok;
        const std::vector<std::string> arguments{"42", AgentProcess::userName().toStdString(), "Doc", "1", ""};
        std::thread running([&] {
            code = Backend({1 << 20, std::chrono::minutes(10)}, messages, messages, Cancellation(cancel[0])).run(arguments, input[0]);
            done = true;
        });
        // However the checks end, the backend does too.
        const auto end = qScopeGuard([&] {
            [[maybe_unused]] const ssize_t written = ::write(cancel[1], "x", 1);
            if (whileSpooling)
                ::close(input[1]);
            running.join();
            std::fclose(messages);
            std::free(text);
            for (const int fd : {input[0], cancel[0], cancel[1]})
                ::close(fd);
        });
        if (whileSpooling)
            QTRY_COMPARE_WITH_TIMEOUT(jobFolders(root).size(), qsizetype(1), 20000);
        else
            QTRY_VERIFY_WITH_TIMEOUT(agent->received(), 20000);
        QVERIFY(!done);
        QCOMPARE(::write(cancel[1], "x", 1), ssize_t(1));
        QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
        QCOMPARE(code, ExitCode::Retry);
        QCOMPARE(jobFolders(root), QStringList());
        QCOMPARE(heldMarkers(root), QStringList());
    }

    // The scheduler cancels a running backend with SIGTERM.
    // While it spools, the folder is locked: no later backend takes it for
    // one a stopped backend left.
    void terminatedByTheScheduler()
    {
        TestRoot root;
        QProcess backend;
        backend.setProcessEnvironment(backendEnvironment());
        backend.start(backendPath, jobArguments(QStringLiteral("Doc")));
        backend.write("%PDF-1.4\n");
        QTRY_COMPARE_WITH_TIMEOUT(jobFolders(root).size(), qsizetype(1), 20000);
        const tavoren::shared::Descriptor folder(
            ::open(QFile::encodeName(root.spoolRoot() + QLatin1Char('/') + jobFolders(root).first()).constData(),
                   O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        QVERIFY(folder);
        QCOMPARE(::flock(folder.get(), LOCK_EX | LOCK_NB), -1);
        QCOMPARE(errno, EWOULDBLOCK);
        backend.terminate();
        QVERIFY(backend.waitForFinished(20000));
        QCOMPARE(backend.exitStatus(), QProcess::NormalExit);
        QCOMPARE(backend.exitCode(), 6);
        QCOMPARE(jobFolders(root), QStringList());
        QCOMPARE(heldMarkers(root), QStringList());
    }

    // A folder a backend stopped mid-job left goes with the next job; one
    // just made is spared.
    void leftoverFolders()
    {
        TestRoot root;
        if (::geteuid() != 0)
            QSKIP("only root's backend leaves folders of root's");
        for (const QString &name : {QStringLiteral("job41-Ab3dEf"), QStringLiteral("job40-Ab3dEf")}) {
            const QString folder = root.spoolRoot() + QLatin1Char('/') + name;
            root.writeFile(folder.mid(root.path().size()) + QStringLiteral("/.job41.pdf.part"), "%PDF-1.4 half");
        }
        QVERIFY(TestRoot::setTimesBack(root.spoolRoot() + QStringLiteral("/job41-Ab3dEf"), 60));
        QProcess backend;
        backend.setProcessEnvironment(backendEnvironment());
        backend.start(backendPath, jobArguments(QStringLiteral("Doc")));
        backend.write("%PDF-1.4");
        backend.closeWriteChannel();
        QVERIFY(backend.waitForFinished(20000));
        QCOMPARE(backend.exitCode(), 3);
        QCOMPARE(jobFolders(root), QStringList{QStringLiteral("job40-Ab3dEf")});
        const QByteArray messages = backend.readAllStandardError();
        QVERIFY2(messages.contains(QByteArray("DEBUG: Removed the leftover job folder " + QFile::encodeName(root.spoolRoot()) + "/job41-Ab3dEf\n")),
                 messages.constData());
        QVERIFY2(detailsOnlyOnDebugLines(messages, root), messages.constData());
    }

    // Backend, agent and client together.
    void handsTheJobToTheClient()
    {
        TestRoot root;
        if (!root.makeSocketRoot())
            QSKIP("the agent needs a socket root owned by root, which only root can make");
        QVERIFY(StandInClient::install(root));
        AgentProcess agent;
        QVERIFY(agent.start());
        QProcess backend;
        backend.start(backendPath, jobArguments(QStringLiteral("Report.pdf")));
        backend.write("%PDF-1.4 report");
        backend.closeWriteChannel();
        QVERIFY(backend.waitForFinished(20000));
        QCOMPARE(backend.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
        const QByteArrayList arguments = StandInClient::records(root).first();
        QCOMPARE(arguments.size(), 1);
        QVERIFY(arguments.first().startsWith(QByteArray("Report.pdf:: ::" + QFile::encodeName(root.spoolRoot()) + "/job42-")));
        QFile spooled(QFile::decodeName(arguments.first().mid(15)));
        QVERIFY(spooled.open(QIODevice::ReadOnly));
        QCOMPARE(spooled.readAll(), QByteArray("%PDF-1.4 report"));
    }
};

QTEST_GUILESS_MAIN(TestPrinterBackendProgram)
#include "tst_backend.moc"
