#include "driver-package/tools/AdminFileSetup.h"

#include "shared/Descriptor.h"
#include "shared/InstalledPaths.h"
#include "shared/PathName.h"
#include "shared/PlistFile.h"
#include "shared/SharedFolder.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>

namespace tavoren::driverpackage {

namespace {
using shared::InstalledPaths;
using shared::PathName;
} // namespace

shared::Expected<AdminFileSetup::Outcome> AdminFileSetup::install(const std::string &target, const std::string &defaults)
{
    const shared::Descriptor defaultsFolder(::open(PathName::parent(defaults).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!defaultsFolder)
        return shared::Error::system("read", defaults);
    auto fresh = shared::PlistFile::read(defaultsFolder.get(), PathName::lastComponent(defaults));
    if (!fresh)
        return fresh.error();

    std::string root = target;
    while (!root.empty() && root.back() == '/')
        root.pop_back();
    auto folder = shared::SharedFolder::openTrusted(root + PathName::parent(InstalledPaths::adminFile), true, 0755, root.empty() ? "/" : root);
    if (!folder)
        return folder.error();
    const std::string name = PathName::lastComponent(InstalledPaths::adminFile);

    Outcome outcome;
    auto current = shared::PlistFile::read(folder->get(), name);
    if (current) {
        outcome.kind = Outcome::Kind::Kept;
        outcome.added = current->addMissing(*fresh);
        if (outcome.added.empty())
            return outcome;
        if (auto written = current->write(folder->get(), name, 0644); !written)
            return written.error();
        return outcome;
    }
    if (current.error().code != ENOENT) {
        // Kept for the administrator to look at, out of the programs' way.
        const std::string aside = name + ".old";
        if (::renameat(folder->get(), name.c_str(), folder->get(), aside.c_str()) != 0)
            return shared::Error::system("move aside", InstalledPaths::adminFile);
        outcome.kind = Outcome::Kind::Replaced;
        outcome.reason = current.error().description();
    }
    if (auto written = fresh->write(folder->get(), name, 0644); !written)
        return written.error();
    return outcome;
}

std::string AdminFileSetup::describe(const Outcome &outcome)
{
    const std::string file = InstalledPaths::adminFile;
    switch (outcome.kind) {
    case Outcome::Kind::Made:
        return "Admin file " + file + " made from the package's defaults";
    case Outcome::Kind::Replaced:
        return "Admin file " + file + " made anew from the package's defaults; the old one is kept as " + file
               + ".old (" + outcome.reason + ")";
    case Outcome::Kind::Kept:
        break;
    }
    if (outcome.added.empty())
        return "Admin file " + file + " kept as it was";
    std::string keys;
    for (const std::string &key : outcome.added)
        keys += (keys.empty() ? "" : ", ") + key;
    return "Admin file " + file + " kept; added the new keys " + keys;
}

} // namespace tavoren::driverpackage
