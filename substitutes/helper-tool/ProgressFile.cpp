#include "helper-tool/ProgressFile.h"

#include "helper-tool/HelperPaths.h"
#include "shared/FileTree.h"
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
} // namespace

ProgressFile::ProgressFile(shared::Descriptor file)
    : m_file(std::move(file))
{
}

std::variant<ProgressFile, Reply> ProgressFile::create(uid_t requester)
{
    const std::string folderPath = shared::SystemPath::resolve(HelperPaths::workingFolder);
    const std::string parentPath = folderPath.substr(0, folderPath.find_last_of('/'));
    const std::string folderName = folderPath.substr(folderPath.find_last_of('/') + 1);
    const std::string shown = HelperPaths::workingFolder;
    if (auto failure = shared::FileTree::makeFolders(parentPath, 0755, 0755))
        return Reply::failed(failure->description());
    const shared::Descriptor parent(::open(parentPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent)
        return Reply::failed("cannot open the folder above " + shown + ": " + errorText(errno));

    bool made = false;
    if (::mkdirat(parent.get(), folderName.c_str(), 0700) == 0)
        made = true;
    else if (errno != EEXIST)
        return Reply::failed("cannot create " + shown + ": " + errorText(errno));
    shared::Descriptor folder(::openat(parent.get(), folderName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder) {
        if (errno == ELOOP || errno == ENOTDIR)
            return Reply::refused(shown + " is a link or not a folder");
        return Reply::failed("cannot open " + shown + ": " + errorText(errno));
    }
    // Made here: shared by every user, like /tmp.
    if (made && ::fchmod(folder.get(), 01777) != 0)
        return Reply::failed("cannot set the mode of " + shown + ": " + errorText(errno));
    struct stat status{};
    if (::fstat(folder.get(), &status) != 0)
        return Reply::failed("cannot examine " + shown + ": " + errorText(errno));
    if (status.st_uid != 0 && status.st_uid != requester)
        return Reply::refused(shown + " belongs to uid " + std::to_string(status.st_uid));

    // Whatever is there (a link included) goes; the new file is never
    // opened through a name someone else made.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (::unlinkat(folder.get(), HelperPaths::progressName, 0) != 0 && errno != ENOENT)
            return Reply::failed("cannot remove the old progress file: " + errorText(errno));
        shared::Descriptor file(
            ::openat(folder.get(), HelperPaths::progressName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (!file) {
            if (errno == EEXIST)
                continue;
            return Reply::failed("cannot create the progress file: " + errorText(errno));
        }
        if (::fchmod(file.get(), 0644) != 0 || ::fchown(file.get(), requester, gid_t(-1)) != 0)
            return Reply::failed("cannot hand the progress file over: " + errorText(errno));
        return ProgressFile(std::move(file));
    }
    return Reply::failed("the progress file keeps being made by someone else");
}

bool ProgressFile::writeLine(std::string_view line)
{
    return m_file.writeAll(line);
}

} // namespace tavoren::helpertool
