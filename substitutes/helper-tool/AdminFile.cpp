#include "helper-tool/AdminFile.h"

#include "shared/Descriptor.h"
#include "shared/InstalledPaths.h"
#include "shared/PathName.h"
#include "shared/PlistFile.h"
#include "shared/SystemPath.h"

#include <fcntl.h>
#include <string>
#include <system_error>

namespace tavoren::helpertool {

namespace {
constexpr const char *entry = "IsPrivateInstall";

std::string cannot(const std::string &what, int error)
{
    return "could not " + what + " " + shared::InstalledPaths::adminFile + ": " + std::system_category().message(error);
}
} // namespace

Reply AdminFile::setPrivateInstall(bool privateInstall)
{
    const std::string path = shared::SystemPath::resolve(shared::InstalledPaths::adminFile);
    const std::string name = shared::PathName::lastComponent(path);
    const shared::Descriptor folder(::open(shared::PathName::parent(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        return Reply::failed(cannot("open the folder of", errno));
    auto admin = shared::PlistFile::read(folder.get(), name);
    if (!admin) {
        const shared::Error &error = admin.error();
        if (error.code != 0)
            return Reply::failed(cannot("read", error.code));
        return Reply::failed(std::string(shared::InstalledPaths::adminFile) + ": " + error.text);
    }
    admin->setBoolean(entry, privateInstall);
    if (const auto written = admin->write(folder.get(), name, 0644); !written)
        return Reply::failed(cannot("write", written.error().code));
    return Reply::completed(0, std::string(entry) + " set to " + (privateInstall ? "YES" : "NO") + " in " + shared::InstalledPaths::adminFile);
}

} // namespace tavoren::helpertool
