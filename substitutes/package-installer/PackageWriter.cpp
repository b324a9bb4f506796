#include "package-installer/PackageWriter.h"

#include "shared/AtomicFile.h"
#include "shared/Descriptor.h"
#include "shared/Error.h"
#include "shared/PathName.h"
#include "package-installer/CpioWriter.h"
#include "package-installer/XarWriter.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>

namespace tavoren::packageinstaller {

namespace {
// The text is the whole reason, as the package builder prints it.
shared::Error uncreated(const std::string &path, int code)
{
    return shared::Error::because("create", path, shared::Error::system("create", path, code).description());
}
} // namespace

shared::Expected<std::string> PackageWriter::write(const Contents &contents)
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
    auto payload = CpioWriter::write(contents.payload);
    if (!payload)
        return shared::Error::because("write", "the payload", "The payload cannot be written: " + payload.error().text);
    members.push_back({"Payload", std::move(*payload)});
    if (!contents.scripts.empty()) {
        auto scripts = CpioWriter::write(contents.scripts);
        if (!scripts)
            return shared::Error::because("write", "the scripts", "The scripts cannot be written: " + scripts.error().text);
        members.push_back({"Scripts", std::move(*scripts)});
    }
    return XarWriter::write(members, newest);
}

shared::Expected<void> PackageWriter::writeFile(const Contents &contents, const std::string &path)
{
    const auto package = write(contents);
    if (!package)
        return package.error();
    const std::string folder = shared::PathName::parent(path);
    const std::string name = shared::PathName::lastComponent(path);
    if (name.empty() || name == "." || name == "..")
        return uncreated(path, EINVAL);
    const shared::Descriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd)
        return uncreated(path, errno);
    if (const auto written = shared::AtomicFile::replace(folderFd.get(), name, *package, 0644); !written)
        return uncreated(path, written.error().code);
    return {};
}

} // namespace tavoren::packageinstaller
