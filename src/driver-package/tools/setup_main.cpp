// tavoren-setup: what the driver package's scripts do as root, through
// descriptors rather than by name.
//   tavoren-setup folders TARGET FOLDER...
//     Makes each FOLDER (absolute, below the installation target TARGET) a
//     folder every user shares, like /tmp: root's, mode 1777, the missing
//     folders above it 0755. In place of mkdir, chown and chmod by name,
//     which a link swapped in at the right moment would lead elsewhere.
//   tavoren-setup admin-file TARGET DEFAULTS
//     Makes the administrator's file from the package's DEFAULTS, or keeps
//     the one there and adds only the keys new in this version.
#include "driver-package/tools/AdminFileSetup.h"
#include "shared/InstalledPaths.h"
#include "shared/SharedFolder.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {
int usage()
{
    std::fputs("usage: tavoren-setup folders TARGET FOLDER...\n"
               "       tavoren-setup admin-file TARGET DEFAULTS\n",
               stderr);
    return 2;
}

std::string withoutTrailingSlashes(std::string path)
{
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    return path;
}

int folders(const std::string &target, const std::vector<std::string> &wanted)
{
    using tavoren::shared::SharedFolder;
    int status = 0;
    for (const std::string &folder : wanted) {
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

int adminFile(const std::string &target, const std::string &defaults)
{
    using tavoren::driverpackage::AdminFileSetup;
    const auto outcome = AdminFileSetup::install(target, defaults);
    if (!outcome) {
        std::fprintf(stderr, "Admin file %s: %s\n", tavoren::shared::InstalledPaths::adminFile, outcome.error().description().c_str());
        return 1;
    }
    std::printf("%s\n", AdminFileSetup::describe(*outcome).c_str());
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() >= 3 && arguments[0] == "folders")
        return folders(withoutTrailingSlashes(arguments[1]), {arguments.begin() + 2, arguments.end()});
    if (arguments.size() == 3 && arguments[0] == "admin-file")
        return adminFile(withoutTrailingSlashes(arguments[1]), arguments[2]);
    return usage();
}
