#include "helper-tool/ProgressFile.h"

#include "shared/HelperProtocol.h"
#include "shared/SharedFolder.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tavoren::helpertool {

namespace {
std::string errorText(int error)
{
    return std::system_category().message(error);
}

shared::Error failed(std::string text)
{
    return shared::Error::because("create", "the progress file", std::move(text));
}
} // namespace

ProgressFile::ProgressFile(shared::Descriptor file)
    : m_file(std::move(file))
{
}

shared::Expected<ProgressFile> ProgressFile::create(uid_t requester)
{
    // Root's and shared like /tmp, or the requester's own; anything another
    // user put in its place is replaced, so no one else reads or forges the
    // installation's lines.
    auto opened = shared::SharedFolder::make(shared::SystemPath::resolve(shared::HelperProtocol::workingFolder), shared::SharedFolder::Options::forEveryone(requester));
    if (!opened)
        return failed(opened.error().description());
    const shared::Descriptor folder = std::move(*opened);

    // Whatever is there (a link included) goes; the new file is never
    // opened through a name someone else made.
    for (int attempt = 0; attempt < 64; ++attempt) {
        if (::unlinkat(folder.get(), shared::HelperProtocol::progressName, 0) != 0 && errno != ENOENT)
            return failed("cannot remove the old progress file: " + errorText(errno));
        shared::Descriptor file(
            ::openat(folder.get(), shared::HelperProtocol::progressName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (!file) {
            if (errno == EEXIST)
                continue;
            return failed("cannot create the progress file: " + errorText(errno));
        }
        if (::fchmod(file.get(), 0644) != 0 || ::fchown(file.get(), requester, gid_t(-1)) != 0)
            return failed("cannot hand the progress file over: " + errorText(errno));
        return ProgressFile(std::move(file));
    }
    return failed("the progress file keeps being made by someone else");
}

shared::Expected<void> ProgressFile::writeLine(std::string_view line)
{
    if (!m_file.writeAll(line))
        return shared::Error::system("write", "the progress file");
    return {};
}

} // namespace tavoren::helpertool
