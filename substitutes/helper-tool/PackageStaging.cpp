#include "helper-tool/PackageStaging.h"

#include "shared/FileTree.h"
#include "shared/HelperProtocol.h"
#include "shared/PathName.h"
#include "shared/SharedFolder.h"

#include <QCryptographicHash>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavoren::helpertool {

namespace {
shared::Error notThePackage(const std::string &requested)
{
    return shared::Error::because("install", requested, "it is not the driver package this helper was built with");
}
} // namespace

PackageStaging::PackageStaging(shared::Descriptor support, std::string path)
    : m_support(std::move(support))
    , m_path(std::move(path))
{
}

PackageStaging::PackageStaging(PackageStaging &&other) noexcept
    : m_support(std::move(other.m_support))
    , m_path(std::move(other.m_path))
{
}

PackageStaging::~PackageStaging()
{
    if (m_support)
        [[maybe_unused]] const auto removed = shared::FileTree::removeAt(m_support.get(), shared::HelperProtocol::stagingName, m_path);
}

shared::Expected<std::string> PackageStaging::sha256(int fd, const std::function<bool(std::string_view)> &copy)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::vector<char> buffer(1 << 16);
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return shared::Error::system("read", "");
        if (got == 0)
            break;
        const std::string_view block(buffer.data(), std::size_t(got));
        hash.addData(QByteArrayView(block.data(), qsizetype(block.size())));
        if (copy && !copy(block))
            return shared::Error::system("copy", "");
        offset += got;
    }
    return hash.result().toHex().toStdString();
}

shared::Expected<PackageStaging> PackageStaging::stage(const std::string &requested, const std::string &supportFolder,
                                                       const BuiltArtefacts &built)
{
    // Whatever the requester put there: not followed into a FIFO, not read
    // beyond the size of the real package.
    const shared::Descriptor source(::open(requested.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status{};
    if (!source || ::fstat(source.get(), &status) != 0)
        return shared::Error::system("read", requested);
    if (!S_ISREG(status.st_mode) || std::uint64_t(status.st_size) != built.packageSize)
        return notThePackage(requested);

    auto support = shared::SharedFolder::make(supportFolder, shared::SharedFolder::Options::forRootAlone());
    if (!support)
        return support.error();
    // A copy left by a helper that ended mid-installation goes first.
    if (auto left = shared::FileTree::removeAt(support->get(), shared::HelperProtocol::stagingName, supportFolder);
        !left && left.error().code != ENOENT)
        return shared::Error::system("clear", supportFolder + "/" + shared::HelperProtocol::stagingName, left.error().code);
    if (::mkdirat(support->get(), shared::HelperProtocol::stagingName, 0700) != 0)
        return shared::Error::system("create", supportFolder + "/" + shared::HelperProtocol::stagingName);
    const std::string name = shared::PathName::lastComponent(requested);
    const std::string copyPath = supportFolder + "/" + shared::HelperProtocol::stagingName + "/" + name;
    PackageStaging staged(std::move(*support), copyPath);

    const shared::Descriptor staging(
        ::openat(staged.m_support.get(), shared::HelperProtocol::stagingName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    const shared::Descriptor copy(
        staging ? ::openat(staging.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600) : -1);
    if (!copy)
        return shared::Error::system("copy", requested);
    std::uint64_t copied = 0;
    bool tooLong = false;
    const auto digest = sha256(source.get(), [&](std::string_view block) {
        copied += block.size();
        // The file grew after it was measured: not the package.
        if (copied > built.packageSize) {
            tooLong = true;
            return false;
        }
        return copy.writeAll(block);
    });
    if (tooLong)
        return notThePackage(requested);
    if (!digest)
        return shared::Error::system("copy", requested, digest.error().code);
    if (*digest != built.packageSha256)
        return notThePackage(requested);
    return staged;
}

} // namespace tavoren::helpertool
