// Stands in for the client application in agent tests: records its
// arguments (each followed by a NUL) in $TAVOREN_ROOT/var/tmp/stand-in-client/
// as <pid>.args, written under another name first so that a reader never
// sees half a record. With TAVOREN_STAND_IN_HOLD set it stays running until
// that file exists (two minutes at most).
#include "shared/SystemPath.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

int main(int argc, char *argv[])
{
    const std::string folder = tavoren::shared::SystemPath::resolve("/var/tmp/stand-in-client");
    std::string record;
    for (int i = 1; i < argc; ++i) {
        record.append(argv[i]);
        record.push_back('\0');
    }
    const std::string name = folder + "/" + std::to_string(::getpid());
    const std::string partial = name + ".partial";
    std::FILE *file = std::fopen(partial.c_str(), "wb");
    if (!file)
        return 2;
    const bool written = std::fwrite(record.data(), 1, record.size(), file) == record.size();
    if (std::fclose(file) != 0 || !written || std::rename(partial.c_str(), (name + ".args").c_str()) != 0)
        return 2;

    if (const char *hold = std::getenv("TAVOREN_STAND_IN_HOLD")) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        struct stat status{};
        while (::stat(hold, &status) != 0 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}
