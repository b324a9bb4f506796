#include "agent/AppDelegate.h"

#include "agent/AgentConstants.h"
#include "agent/HandOffServer.h"
#include "agent/HeldJobReleaser.h"
#include "agent/SocketFolder.h"
#include "agent/SpoolCleaner.h"
#include "shared/Descriptor.h"
#include "shared/EnvironmentSetting.h"
#include "shared/HandOff.h"
#include "shared/LoginName.h"
#include "shared/SocketAddress.h"
#include "shared/SystemLog.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <system_error>
#include <sys/socket.h>
#include <unistd.h>

namespace tavoren::agent {

namespace {
constexpr std::chrono::milliseconds maximumTimeout{MAXIMUM_TIMEOUT_MS};
} // namespace

AppDelegate::AppDelegate(AgentEnvironment environment)
    : m_environment(std::move(environment))
    , m_log(*m_environment.systemLog)
    , m_launcher(*m_environment.launcher)
{
}

AppDelegate::~AppDelegate()
{
    // Unless stopped, the server thread never returns; it ends with the process.
    if (m_serverThread.joinable())
        m_serverThread.detach();
}

void AppDelegate::applicationDidFinishLaunching()
{
    m_log.write("Inside applicationDidFinishLaunching of AppDelegate.");
    // Before the first pass, which must spare their folders.
    if (const std::size_t adopted = m_launcher.adoptChildren())
        m_log.write("Took on " + std::to_string(adopted) + " clients started before the agent started again");
    m_serverThread = std::thread([this] { thread_UnixDomainSocketServer(); });
}

bool AppDelegate::launchClient(const std::string &jobArgument)
{
    // A client nobody sees would take the job from the backend, which
    // holds it for the next login instead.
    if (const auto session = m_environment.session.reachable(); !session) {
        m_log.write("No graphical session for the print release client (" + session.error().text
                    + "): the job waits for the next login");
        return false;
    }
    // Recorded before the client starts, so that no pass can come between a
    // running client and its record.
    internalQueue.async([this, jobArgument] { g_currentProcessedFolder = jobArgument; });
    const auto launched = m_launcher.launch(jobArgument);
    if (launched)
        return true;
    // On the server thread: strerror is not thread-safe.
    m_log.write("Could not start the client \"" + m_launcher.executable() + "\": " + std::system_category().message(launched.error().code));
    return false;
}

void AppDelegate::removeAllFilesRecursivelyExcept()
{
    internalQueue.async([this] { cleanOnQueue(); });
}

void AppDelegate::reapClients()
{
    m_launcher.reapExited();
}

void AppDelegate::cleanBeforeFirstJob()
{
    internalQueue.sync([this] { runPass({}); });
}

void AppDelegate::cleanOnQueue()
{
    const auto kept = SpoolCleaner::jobFolderName(g_currentProcessedFolder);
    if (!kept) {
        m_log.write("Cleaning pass removed 0 job folders");
        return;
    }
    runPass({*kept});
}

void AppDelegate::runPass(std::set<std::string> keptNames)
{
    // Folders of jobs whose clients still run are theirs, not only the last one.
    for (const std::string &argument : m_launcher.runningJobArguments()) {
        if (const auto name = SpoolCleaner::jobFolderName(argument))
            keptNames.insert(*name);
    }
    SpoolCleaner cleaner(shared::SystemPath::resolve(TEMPORARY_FILE_PATH));
    if (const auto cleaned = cleaner.run(keptNames); !cleaned)
        m_log.write(cleaned.error().description());
    m_log.write("Cleaning pass removed " + std::to_string(cleaner.removedFolders()) + " job folders");
}

std::string AppDelegate::currentProcessedFolder()
{
    std::string result;
    internalQueue.sync([&] { result = g_currentProcessedFolder; });
    return result;
}

void AppDelegate::waitForQueue()
{
    internalQueue.sync([] {});
}

void AppDelegate::endWithError(const char *what)
{
    const int error = errno;
    m_log.write("Ending connection");
    if (what) {
        errno = error;
        std::perror(what);
    }
    std::fflush(stderr);
    // Other threads are still running: no static destructors under them.
    std::_Exit(1);
}

std::chrono::milliseconds AppDelegate::readTimeoutSetting()
{
    return shared::EnvironmentSetting::milliseconds(READ_TIMEOUT_VARIABLE, defaultReadTimeout, maximumTimeout);
}

std::chrono::milliseconds AppDelegate::schedulerTimeoutSetting()
{
    return shared::EnvironmentSetting::milliseconds(SCHEDULER_TIMEOUT_VARIABLE, defaultSchedulerTimeout, maximumTimeout);
}

bool AppDelegate::jobArrived(const std::string &jobArgument)
{
    m_log.write("Launching KYR Tavoren App");
    return launchClient(jobArgument);
}

void AppDelegate::releaseHeldJobs(const std::string &user)
{
    const std::chrono::milliseconds timeout = schedulerTimeoutSetting();
    try {
        // Detached and owning all it uses: serving never waits for the
        // scheduler, and the agent ends without waiting for it either.
        std::thread([user, timeout, makeScheduler = m_environment.printScheduler, systemLog = m_environment.systemLog] {
            const std::unique_ptr<PrintScheduler> scheduler = makeScheduler(timeout);
            HeldJobReleaser(*scheduler, shared::HandOff::queueName, user, *systemLog).run();
        }).detach();
    } catch (const std::system_error &error) {
        m_log.write(std::string("Could not start releasing held print jobs: ") + error.what());
    }
}

void AppDelegate::thread_UnixDomainSocketServer()
{
    m_log.write("Inside thread UnixDomainSocket");

    const auto user = shared::LoginName::current();
    if (!user || !shared::LoginName::isUsableAsFolderName(*user)) {
        m_log.write("The effective user has no login name that can name a socket folder");
        endWithError(nullptr);
    }
    SocketFolder folder(shared::SystemPath::resolve(SOCKET_FULL_PATH), *user, m_log);
    const std::string socketPath = folder.socketPath();
    const auto address = shared::SocketAddress::forPath(socketPath);
    if (!address) {
        m_log.write("Socket path longer than " + std::to_string(shared::SocketAddress::maximumPathLength) + " bytes: " + socketPath);
        errno = ENAMETOOLONG;
        endWithError("binding stream socket");
    }
    if (!folder.prepare())
        endWithError(nullptr);

    const shared::Descriptor server(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!server)
        endWithError("opening stream socket");
    if (::bind(server.get(), address->address(), address->length()) != 0)
        endWithError("binding stream socket");
    if (!folder.makeSocketPrivate())
        endWithError(nullptr);
    if (::listen(server.get(), LISTEN_BACKLOG) != 0)
        endWithError("listening on stream socket");

    // Job folders left while no agent ran (a client ended early, the
    // computer went down) go before the first job is taken.
    cleanBeforeFirstJob();
    // Listening already: a released job finds the agent. Without a window
    // to show, a released job would only be held again.
    if (const auto session = m_environment.session.reachable(); !session)
        m_log.write("No graphical session (" + session.error().text + "): held print jobs stay held until the next login");
    else
        releaseHeldJobs(*user);

    HandOffServer::Settings settings;
    settings.readTimeout = readTimeoutSetting();
    settings.maximumConnections = MAXIMUM_READERS;
    // The backend runs as root (or as the user); nobody else hands off jobs.
    settings.allowedPeers = {0, ::geteuid()};
    HandOffServer handOff(server.get(), settings, *this, m_log);
    bool serving = false;
    {
        std::lock_guard lock(m_servingMutex);
        if (!m_stopRequested) {
            m_handOff = &handOff;
            serving = true;
        }
    }
    if (serving) {
        const bool stopped = handOff.run();
        const int error = errno;
        {
            std::lock_guard lock(m_servingMutex);
            m_handOff = nullptr;
        }
        errno = error;
        if (!stopped)
            endWithError("waiting for stream connections");
    }
    // Gone before the listener closes: a backend finds no agent rather
    // than one that never answers.
    folder.removeSocket();
    m_log.write("Stopped taking jobs");
}

void AppDelegate::stopServing()
{
    {
        std::lock_guard lock(m_servingMutex);
        m_stopRequested = true;
        if (m_handOff)
            m_handOff->stop();
    }
    if (m_serverThread.joinable())
        m_serverThread.join();
    waitForQueue();
}

void AppDelegate::startAgain(const ProcessImage &image)
{
    m_log.write("Starting again from \"" + image.executable() + "\"");
    stopServing();
    const int error = image.replace();
    m_log.write("Could not start again from \"" + image.executable() + "\": " + std::system_category().message(error) + "; ending");
}

} // namespace tavoren::agent
