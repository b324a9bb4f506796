#include "release-service/CommandLine.h"
#include "release-service/ReleaseService.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>

#include <pthread.h>

using tavoren::releaseservice::CommandLine;
using tavoren::releaseservice::ReleaseService;
using tavoren::releaseservice::RequestRecord;

int main(int argc, char *argv[])
{
    const auto line = CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    if (!line) {
        std::cerr << "tavoren-release-service: " << line.error().text << "\n" << CommandLine::usage();
        return 2;
    }
    if (line->help) {
        std::cout << CommandLine::usage();
        return 0;
    }

    // Blocked before any thread starts, so every thread inherits the mask
    // and the signals are taken only by sigwait below.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    ReleaseService::Options options = line->options;
    std::mutex outputMutex;
    if (!line->quiet)
        options.onRequest = [&outputMutex](const RequestRecord &request) {
            const std::lock_guard lock(outputMutex);
            std::printf("%s %s -> %d%s%s%s\n", request.method.c_str(), request.path.c_str(), request.status,
                        request.error.empty() ? "" : " (", request.error.c_str(), request.error.empty() ? "" : ")");
            std::fflush(stdout);
        };
    ReleaseService service(options);
    for (const auto &[call, fault] : line->faults)
        service.setFault(call, fault);
    if (!service.start()) {
        std::cerr << "tavoren-release-service: " << service.lastError() << "\n";
        return 1;
    }
    if (!line->portFile.empty()) {
        // Written whole under another name first, so a reader never sees half a number.
        const std::string partial = line->portFile + ".partial";
        std::ofstream(partial) << service.port() << "\n";
        if (std::rename(partial.c_str(), line->portFile.c_str()) != 0) {
            std::cerr << "tavoren-release-service: cannot write " << line->portFile << "\n";
            return 1;
        }
    }
    {
        const std::lock_guard lock(outputMutex);
        std::printf("tavoren-release-service listening on %s port %d, storage %s\n", service.baseUrl().c_str(),
                    service.port(), service.storageDir().c_str());
        std::fflush(stdout);
    }

    int received = 0;
    sigwait(&signals, &received);
    service.stop();
    std::printf("tavoren-release-service stopped\n");
    return 0;
}
