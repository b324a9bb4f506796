#include "package-installer/PackageWriter.h"

#include "shared/AtomicFile.h"
#include "shared/Descriptor.h"
#include "shared/Error.h"
#include "package-installer/CpioWriter.h"
#include "package-installer/XarWriter.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>

namespace tavoren::packageinstaller {

std::optional<std::string> PackageWriter::write(const Contents &contents, std::string &package)
{
    PackageInfo info = contents.info;
    std::uint64_t bytes = 0;
    std::int64_t newest = 0;
    for (const PayloadEntry &entry : contents.payload) {
        if (entry.kind == PayloadEntry::Kind::File)
            bytes += entry.size;
        newest = std::max(newest, entry.modified);
    }
    for (const PayloadEntry &entry : contents.scripts)
        newest = std::max(newest, entry.modified);
    info.numberOfFiles = contents.payload.size();
    info.installKBytes = (bytes + 1023) / 1024;

    std::vector<XarWriter::Member> members;
    members.push_back({"PackageInfo", info.toXml()});
    std::string payload;
    if (auto problem = CpioWriter::write(contents.payload, payload))
        return "The payload cannot be written: " + *problem;
    members.push_back({"Payload", std::move(payload)});
    if (!contents.scripts.empty()) {
        std::string scripts;
        if (auto problem = CpioWriter::write(contents.scripts, scripts))
            return "The scripts cannot be written: " + *problem;
        members.push_back({"Scripts", std::move(scripts)});
    }
    return XarWriter::write(members, newest, package);
}

std::optional<std::string> PackageWriter::writeFile(const Contents &contents, const std::string &path)
{
    std::string package;
    if (auto problem = write(contents, package))
        return problem;
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return shared::Error::system("create", path, EINVAL).description();
    const shared::Descriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd)
        return shared::Error::system("create", path).description();
    if (const auto written = shared::AtomicFile::replace(folderFd.get(), name, package, 0644); !written)
        return shared::Error::system("create", path, written.error().code).description();
    return std::nullopt;
}

} // namespace tavoren::packageinstaller
