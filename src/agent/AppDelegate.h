#pragma once

#include "agent/AgentEnvironment.h"
#include "agent/ClientLauncher.h"
#include "agent/HandOffServer.h"
#include "agent/ProcessImage.h"
#include "agent/SerialQueue.h"

#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace tavoren::agent {

// The agent's application object: the socket server thread, the client
// launch (only into a reachable graphical session), the record of the job
// handed off last, the cleaning pass and the restart in place.
class AppDelegate : private HandOffServer::Receiver
{
public:
    static constexpr std::chrono::seconds cleaningInterval{6000};
    // The longest a connection may take to deliver its whole message.
    static constexpr std::chrono::milliseconds defaultReadTimeout{5000};
    // The time limit in force: READ_TIMEOUT_VARIABLE when it holds a number
    // of milliseconds in range, otherwise the default.
    static std::chrono::milliseconds readTimeoutSetting();
    // The longest wait for the print scheduler, to connect and for each
    // answer: SCHEDULER_TIMEOUT_VARIABLE in range, otherwise the default.
    static constexpr std::chrono::milliseconds defaultSchedulerTimeout{5000};
    static std::chrono::milliseconds schedulerTimeoutSetting();

    explicit AppDelegate(AgentEnvironment environment);
    ~AppDelegate() override;
    AppDelegate(const AppDelegate &) = delete;
    AppDelegate &operator=(const AppDelegate &) = delete;

    // Logs, takes on the clients of an earlier image of the process and
    // starts the server thread; the caller runs the timer.
    void applicationDidFinishLaunching();

    // Starts a client for the job and posts the record update; never waits
    // for the client. True when the client process was started; without a
    // reachable graphical session none is, and the record stays.
    bool launchClient(const std::string &jobArgument);

    // Posts one cleaning pass to internalQueue and returns at once.
    void removeAllFilesRecursivelyExcept();
    // One pass before the first job, run on internalQueue and waited for: no
    // job has been handed off yet, so only the grace period and the folders'
    // owners keep folders.
    void cleanBeforeFirstJob();

    // Collects clients that have ended.
    void reapClients();

    // Asks the print scheduler, on a thread of its own, to release the
    // user's jobs it holds because no agent took them; returns at once.
    void releaseHeldJobs(const std::string &user);

    // Checks the socket root, makes the user's private socket folder and
    // socket, runs the first pass, then serves until stopServing(), when it
    // closes and removes the socket; ends the process with exit status 1
    // when the socket cannot be set up or waiting fails.
    void thread_UnixDomainSocketServer();

    // Makes the server thread stop taking connections and waits until it
    // has, and until the work posted to internalQueue has run. A job being
    // handed on is answered first; clients go on running.
    void stopServing();

    // On the restart signal: stops serving, then replaces the process by
    // `image` as it is installed now. Returns (logged) only when that failed.
    void startAgain(const ProcessImage &image);

    // Read on internalQueue, after everything posted before.
    std::string currentProcessedFolder();
    // Waits until everything posted to internalQueue so far has run.
    void waitForQueue();

private:
    // Logs "Ending connection", prints `what` as perror does (if given), exit 1.
    [[noreturn]] void endWithError(const char *what);
    // Logs "Launching KYR Tavoren App" and starts the client.
    bool jobArrived(const std::string &jobArgument) override;
    void cleanOnQueue();
    // On internalQueue: every folder but the kept ones and those of running clients.
    void runPass(std::set<std::string> keptNames);

    const AgentEnvironment m_environment;
    shared::SystemLog &m_log;
    ClientLauncher &m_launcher;
    std::string g_currentProcessedFolder;
    std::thread m_serverThread;
    // Guards the two below, shared by the server thread and stopServing().
    std::mutex m_servingMutex;
    HandOffServer *m_handOff = nullptr;
    bool m_stopRequested = false;
    // Declared last, so destroyed first: the tasks it still runs then see
    // every other member alive.
    SerialQueue internalQueue;
};

} // namespace tavoren::agent
