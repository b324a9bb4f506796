#include "agent/AppDelegate.h"

#include "agent/AgentConstants.h"
#include "agent/HandOffServer.h"
#include "agent/SocketFolder.h"
#include "agent/SpoolCleaner.h"
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
void log(std::string_view message)
{
    shared::SystemLog::instance().write(message);
}
} // namespace

AppDelegate::AppDelegate()
    : m_launcher(shared::SystemPath::resolve(LAUNCHER_APP_PATH))
    , internalQueue(MUTEX_CURRENTPROCESSEDFOLDER)
{
}

AppDelegate::~AppDelegate()
{
    // The server thread never returns; it ends with the process.
    if (m_serverThread.joinable())
        m_serverThread.detach();
}

void AppDelegate::applicationDidFinishLaunching()
{
    log("Inside applicationDidFinishLaunching of AppDelegate.");
    m_serverThread = std::thread([this] { thread_UnixDomainSocketServer(); });
}

void AppDelegate::launchClient(const std::string &jobArgument)
{
    // Recorded before the client starts, so that no pass can come between a
    // running client and its record.
    internalQueue.async([this, jobArgument] { g_currentProcessedFolder = jobArgument; });
    int error = 0;
    // On the server thread: strerror is not thread-safe.
    if (m_launcher.launch(jobArgument, &error) < 0)
        log("Could not start the client \"" + m_launcher.executable() + "\": " + std::system_category().message(error));
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
        log("Cleaning pass removed 0 job folders");
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
    const SpoolCleaner cleaner(shared::SystemPath::resolve(TEMPORARY_FILE_PATH));
    const SpoolCleaner::Result result = cleaner.run(keptNames);
    if (result.failure)
        log(result.failure->description());
    log("Cleaning pass removed " + std::to_string(result.removedFolders) + " job folders");
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
    log("Ending connection");
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
    const char *value = std::getenv(READ_TIMEOUT_VARIABLE);
    if (!value || !*value)
        return defaultReadTimeout;
    char *end = nullptr;
    errno = 0;
    const long long milliseconds = std::strtoll(value, &end, 10);
    if (errno != 0 || *end != '\0' || milliseconds < 1 || milliseconds > MAXIMUM_READ_TIMEOUT_MS)
        return defaultReadTimeout;
    return std::chrono::milliseconds(milliseconds);
}

void AppDelegate::jobArrived(const std::string &jobArgument)
{
    log("Launching KYR Tavoren App");
    launchClient(jobArgument);
}

void AppDelegate::thread_UnixDomainSocketServer()
{
    log("Inside thread UnixDomainSocket");

    const auto user = shared::LoginName::current();
    if (!user || !shared::LoginName::isUsableAsFolderName(*user)) {
        log("The effective user has no login name that can name a socket folder");
        endWithError(nullptr);
    }
    SocketFolder folder(shared::SystemPath::resolve(SOCKET_FULL_PATH), *user);
    fullSocketFilePath = folder.socketPath();
    const auto address = shared::SocketAddress::forPath(fullSocketFilePath);
    if (!address) {
        log("Socket path longer than " + std::to_string(shared::SocketAddress::maximumPathLength) + " bytes: " + fullSocketFilePath);
        errno = ENAMETOOLONG;
        endWithError("binding stream socket");
    }
    if (!folder.prepare())
        endWithError(nullptr);

    const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (server < 0)
        endWithError("opening stream socket");
    if (::bind(server, address->address(), address->length()) != 0)
        endWithError("binding stream socket");
    if (!folder.makeSocketPrivate())
        endWithError(nullptr);
    if (::listen(server, LISTEN_BACKLOG) != 0)
        endWithError("listening on stream socket");

    // Job folders left while no agent ran (a client ended early, the
    // computer went down) go before the first job is taken.
    cleanBeforeFirstJob();

    HandOffServer::Settings settings;
    settings.readTimeout = readTimeoutSetting();
    settings.maximumConnections = MAXIMUM_READERS;
    // The backend runs as root (or as the user); nobody else hands off jobs.
    settings.allowedPeers = {0, ::geteuid()};
    HandOffServer handOff(server, settings, *this);
    handOff.run();
    endWithError("waiting for stream connections");
}

} // namespace tavoren::agent
