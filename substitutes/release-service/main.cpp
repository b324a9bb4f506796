// tavoren-release-service: the substitute release service as a program, for
// the demo and benchmarks. Runs until SIGINT or SIGTERM.
#include "release-service/ReleaseService.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

using tavoren::releaseservice::Call;
using tavoren::releaseservice::callFromName;
using tavoren::releaseservice::callName;
using tavoren::releaseservice::Fault;
using tavoren::releaseservice::ReleaseService;

namespace {
void usage()
{
    std::cerr << "usage: tavoren-release-service [--listen ADDR] [--port N] [--port-file PATH]\n"
                 "         [--cert PEM --key PEM] [--storage DIR] [--status-sequence 1,2,4]\n"
                 "         [--clock-offset SECONDS] [--window SECONDS] [--quiet]\n"
                 "         [--fault CALL:SPEC]...   CALL is servertime, create or status;\n"
                 "         SPEC as http=503,delay=2000,drop,without=DocID,from=5,times=1,body=TEXT\n";
}

bool parseSequence(const std::string &text, std::vector<std::int64_t> &out)
{
    out.clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        try {
            std::size_t used = 0;
            const std::string piece = text.substr(start, comma - start);
            out.push_back(std::stoll(piece, &used));
            if (used != piece.size())
                return false;
        } catch (...) {
            return false;
        }
        start = comma + 1;
    }
    return !out.empty();
}
} // namespace

int main(int argc, char *argv[])
{
    ReleaseService::Options options;
    std::string portFile;
    bool quiet = false;
    std::vector<std::pair<Call, Fault>> faults;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                usage();
                std::exit(2);
            }
            return argv[++i];
        };
        try {
            if (arg == "--listen")
                options.host = value();
            else if (arg == "--port")
                options.port = std::stoi(value());
            else if (arg == "--port-file")
                portFile = value();
            else if (arg == "--cert")
                options.certFile = value();
            else if (arg == "--key")
                options.keyFile = value();
            else if (arg == "--storage")
                options.storageDir = value();
            else if (arg == "--clock-offset")
                options.clockOffsetSeconds = std::stoll(value());
            else if (arg == "--window")
                options.windowSeconds = std::stoll(value());
            else if (arg == "--quiet")
                quiet = true;
            else if (arg == "--status-sequence") {
                if (!parseSequence(value(), options.statusSequence)) {
                    std::cerr << "bad status sequence\n";
                    return 2;
                }
            } else if (arg == "--fault") {
                const std::string spec = value();
                const auto colon = spec.find(':');
                const auto call = callFromName(spec.substr(0, colon));
                std::string error;
                const auto fault = colon == std::string::npos ? std::nullopt : Fault::parse(spec.substr(colon + 1), &error);
                if (!call || !fault) {
                    std::cerr << "bad fault '" << spec << "' " << error << "\n";
                    return 2;
                }
                faults.emplace_back(*call, *fault);
            } else {
                usage();
                return 2;
            }
        } catch (const std::exception &) {
            usage();
            return 2;
        }
    }

    if (!quiet) {
        options.onRequest = [](const tavoren::releaseservice::RequestRecord &request) {
            std::printf("%s %s %s -> %d%s%s\n", std::string(callName(request.call)).c_str(), request.method.c_str(),
                        request.path.c_str(), request.status, request.error.empty() ? "" : " ",
                        request.error.c_str());
            std::fflush(stdout);
        };
    }

    // Signals are taken synchronously, so they are blocked before any thread starts.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    ReleaseService service(options);
    if (!service.start()) {
        std::cerr << "tavoren-release-service: cannot listen on " << options.host << ":" << options.port << "\n";
        return 1;
    }
    for (const auto &[call, fault] : faults)
        service.setFault(call, fault);
    if (!portFile.empty()) {
        std::ofstream(portFile + ".tmp") << service.port() << "\n";
        std::rename((portFile + ".tmp").c_str(), portFile.c_str());
    }
    std::printf("tavoren-release-service listening on %s://%s:%d\n", service.isSecure() ? "https" : "http",
                options.host.c_str(), service.port());
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    service.stop();
    return 0;
}
