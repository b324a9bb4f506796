#include "agent/AppDelegate.h"

#include "agent/AgentConstants.h"
#include "shared/FileTree.h"
#include "shared/JobMessage.h"
#include "shared/LoginName.h"
#include "shared/SocketAddress.h"
#include "agent/SpoolCleaner.h"
#include "shared/SystemLog.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <system_error>
#include <sys/socket.h>
#include <sys/stat.h>
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

void AppDelegate::cleanOnQueue()
{
    const auto kept = SpoolCleaner::jobFolderName(g_currentProcessedFolder);
    if (!kept) {
        log("Cleaning pass removed 0 job folders");
        return;
    }
    std::set<std::string> keptNames{*kept};
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

void AppDelegate::thread_UnixDomainSocketServer()
{
    log("Inside thread UnixDomainSocket");

    const auto user = shared::LoginName::current();
    if (!user || !shared::LoginName::isUsableAsFolderName(*user)) {
        log("The effective user has no login name that can name a socket folder");
        endWithError(nullptr);
    }
    const std::string socketRoot = shared::SystemPath::resolve(SOCKET_FULL_PATH);
    const std::string userFolder = socketRoot + "/" + *user;

    if (auto failure = shared::FileTree::remove(userFolder))
        log(failure->description());

    const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (server < 0)
        endWithError("opening stream socket");

    // Sticky like /tmp: every user can make a folder, none can remove another's.
    if (auto failure = shared::FileTree::makeFolders(socketRoot, 01777, 0777))
        log(failure->description());
    else if (auto userFailure = shared::FileTree::makeFolders(userFolder, 0777, 0777))
        log(userFailure->description());
    // The root is open to all: another user may have put a link or a folder
    // of their own there first. A folder that is missing fails the bind.
    struct stat userStatus{};
    if (::lstat(userFolder.c_str(), &userStatus) == 0
        && (!S_ISDIR(userStatus.st_mode) || userStatus.st_uid != ::geteuid())) {
        log("Socket folder is not the user's own: " + userFolder);
        endWithError(nullptr);
    }

    fullSocketFilePath = userFolder + "/" + SOCKET_FILE;

    const auto address = shared::SocketAddress::forPath(fullSocketFilePath);
    if (!address) {
        log("Socket path longer than " + std::to_string(shared::SocketAddress::maximumPathLength) + " bytes: " + fullSocketFilePath);
        errno = ENAMETOOLONG;
        endWithError("binding stream socket");
    }
    if (::bind(server, address->address(), address->length()) != 0)
        endWithError("binding stream socket");
    ::listen(server, LISTEN_BACKLOG);

    for (;;) {
        const int connection = ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            std::perror("accept");
            // Out of descriptors would otherwise spin at full speed.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                ::usleep(100 * 1000);
            continue;
        }
        handleConnection(connection);
        ::close(connection);
    }
}

void AppDelegate::handleConnection(int connection)
{
    const timeval timeout{static_cast<time_t>(readTimeout.count()), 0};
    ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

    char buffer[shared::HandOff::messageBufferSize];
    ssize_t count = 0;
    do {
        count = ::read(connection, buffer, sizeof buffer);
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
        std::perror("reading stream message");
        return;
    }
    if (count == 0) {
        log("Ending connection");
        return;
    }
    log("Launching KYR Tavoren App");
    launchClient(shared::JobMessage::jobArgument(std::string_view(buffer, std::size_t(count))));
}

} // namespace tavoren::agent
