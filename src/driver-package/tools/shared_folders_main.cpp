// tavoren-shared-folders TARGET FOLDER...
// Makes each FOLDER (absolute, below the installation target TARGET) a
// folder every user shares, like /tmp: root's, mode 1777, the missing
// folders above it 0755. Run as root by the driver package's scripts, in
// place of mkdir, chown and chmod by name, which a link swapped in at the
// right moment would lead elsewhere.
#include "shared/SharedFolder.h"

#include <cstdio>
#include <string>

int main(int argc, char *argv[])
{
    using tavoren::shared::SharedFolder;
    if (argc < 3) {
        std::fputs("usage: tavoren-shared-folders TARGET FOLDER...\n", stderr);
        return 2;
    }
    std::string target = argv[1];
    while (!target.empty() && target.back() == '/')
        target.pop_back();
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string folder = argv[i];
        if (folder.empty() || folder.front() != '/') {
            std::fprintf(stderr, "Shared folder %s: not an absolute path\n", folder.c_str());
            status = 1;
            continue;
        }
        // The target is the installation's "/": trusted as given, like "/" is.
        SharedFolder::Options options;
        options.trustedRoot = target.empty() ? "/" : target;
        const auto made = SharedFolder::make(target + folder, options);
        if (!made) {
            std::fprintf(stderr, "Shared folder %s: %s\n", folder.c_str(), made.error().description().c_str());
            status = 1;
            continue;
        }
        std::printf("Shared folder %s ready\n", folder.c_str());
    }
    return status;
}
