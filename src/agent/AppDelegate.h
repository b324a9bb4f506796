#pragma once

#include "agent/ClientLauncher.h"
#include "agent/SerialQueue.h"

#include <chrono>
#include <string>
#include <thread>

namespace tavoren::agent {

// The agent's application object: the socket server thread, the client
// launch, the record of the job handed off last and the cleaning pass.
class AppDelegate
{
public:
    static constexpr std::chrono::seconds cleaningInterval{6000};
    // A peer that connects and sends nothing must not hold up every later job.
    static constexpr std::chrono::seconds readTimeout{5};

    AppDelegate();
    ~AppDelegate();
    AppDelegate(const AppDelegate &) = delete;
    AppDelegate &operator=(const AppDelegate &) = delete;

    // Logs and starts the server thread; the caller runs the timer.
    void applicationDidFinishLaunching();
    void applicationWillTerminate() {}

    // Starts a client for the job and posts the record update; never waits
    // for the client.
    void launchClient(const std::string &jobArgument);

    // Posts one cleaning pass to internalQueue and returns at once.
    void removeAllFilesRecursivelyExcept();

    // Collects clients that have ended.
    void reapClients();

    // Serves forever, or ends the process with exit status 1 when the socket
    // cannot be set up.
    [[noreturn]] void thread_UnixDomainSocketServer();

    // Read on internalQueue, after everything posted before.
    std::string currentProcessedFolder();
    // Waits until everything posted to internalQueue so far has run.
    void waitForQueue();

private:
    // Logs "Ending connection", prints `what` as perror does (if given), exit 1.
    [[noreturn]] void endWithError(const char *what);
    void handleConnection(int connection);
    void cleanOnQueue();

    ClientLauncher m_launcher;
    std::string g_currentProcessedFolder;
    std::string fullSocketFilePath;
    std::thread m_serverThread;
    // Declared last, so destroyed first: the tasks it still runs then see
    // every other member alive.
    SerialQueue internalQueue;
};

} // namespace tavoren::agent
