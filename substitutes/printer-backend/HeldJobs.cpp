#include "printer-backend/HeldJobs.h"

#include "shared/FileTree.h"
#include "shared/HandOff.h"
#include "shared/SharedFolder.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::printerbackend {

namespace {
constexpr mode_t folderMode = 0755;
constexpr mode_t markerMode = 0644;

// The job id a marker's name stands for, 0 when it is no marker's name.
int jobIdOf(const std::string &name)
{
    if (name.empty() || name.size() > 10)
        return 0;
    long long id = 0;
    for (const char c : name) {
        if (c < '0' || c > '9')
            return 0;
        id = id * 10 + (c - '0');
    }
    return id > 0 && id <= INT_MAX ? int(id) : 0;
}
} // namespace

std::string HeldJobs::folderInForce()
{
    return shared::SystemPath::resolve(shared::HandOff::heldJobsFolder);
}

HeldJobs::HeldJobs(std::string folder)
    : m_folder(std::move(folder))
{
}

shared::Expected<shared::Descriptor> HeldJobs::open(bool create) const
{
    if (::geteuid() == 0) {
        if (!create)
            return shared::SharedFolder::openTrusted(m_folder, false, folderMode);
        shared::SharedFolder::Options options;
        options.mode = folderMode;
        options.parentMode = 0755;
        return shared::SharedFolder::make(m_folder, options);
    }
    if (create) {
        if (auto made = shared::FileTree::makeFolders(m_folder, folderMode, 0755); !made)
            return made.error();
    }
    auto opened = shared::FileTree::openRealFolder(m_folder);
    if (!opened)
        return opened.error();
    shared::Descriptor folder = std::move(*opened);
    struct stat status{};
    if (::fstat(folder.get(), &status) != 0)
        return shared::Error::system("open", m_folder);
    // Markers others could add would have this user's backend cancel their jobs.
    if (status.st_uid != ::geteuid() || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return shared::Error::because("use", m_folder, "it is not the backend user's alone");
    return folder;
}

shared::Expected<void> HeldJobs::hold(const std::string &jobId) const
{
    if (jobIdOf(jobId) == 0)
        return shared::Error::system("mark as held", jobId, EINVAL);
    auto folder = open(true);
    if (!folder)
        return folder.error();
    const std::string path = m_folder + "/" + jobId;
    // Twice at most: anything but a marker in its place goes first.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const shared::Descriptor marker(
            ::openat(folder->get(), jobId.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, markerMode));
        if (marker) {
            // The umask and the scheduler's group aside; on disk before the
            // scheduler holds the job.
            if (::fchmod(marker.get(), markerMode) != 0 || (::geteuid() == 0 && ::fchown(marker.get(), 0, 0) != 0)
                || ::fsync(folder->get()) != 0)
                return shared::Error::system("create", path);
            return {};
        }
        if (errno != EEXIST)
            return shared::Error::system("create", path);
        struct stat status{};
        if (::fstatat(folder->get(), jobId.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode))
            return {};
        if (auto removed = shared::FileTree::removeAt(folder->get(), jobId, path); !removed && removed.error().code != ENOENT)
            return shared::Error::system("replace", path, removed.error().code);
    }
    return shared::Error::because("create", path, "something else keeps being put in its place");
}

shared::Expected<void> HeldJobs::release(const std::string &jobId) const
{
    if (jobIdOf(jobId) == 0)
        return shared::Error::system("release", jobId, EINVAL);
    auto folder = open(false);
    if (!folder)
        return folder.error().code == ENOENT ? shared::Expected<void>() : folder.error();
    if (::unlinkat(folder->get(), jobId.c_str(), 0) != 0 && errno != ENOENT)
        return shared::Error::system("remove", m_folder + "/" + jobId);
    return {};
}

shared::Expected<std::vector<HeldJobs::Marker>> HeldJobs::markers() const
{
    auto folder = open(false);
    if (!folder) {
        if (folder.error().code == ENOENT)
            return std::vector<Marker>();
        return folder.error();
    }
    const auto names = shared::FileTree::names(folder->get(), m_folder);
    if (!names)
        return names.error();
    std::vector<Marker> result;
    for (const std::string &name : *names) {
        const int id = jobIdOf(name);
        struct stat status{};
        if (id == 0 || ::fstatat(folder->get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0
            || !S_ISREG(status.st_mode))
            continue;
        const auto since = std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(
                std::chrono::seconds(status.st_mtim.tv_sec) + std::chrono::nanoseconds(status.st_mtim.tv_nsec)));
        result.push_back({id, name, since});
    }
    return result;
}

} // namespace tavoren::printerbackend
