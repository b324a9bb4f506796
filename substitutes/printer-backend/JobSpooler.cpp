#include "printer-backend/JobSpooler.h"

#include "shared/Descriptor.h"
#include "shared/FileTree.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavoren::printerbackend {

namespace {
shared::Error failed(const std::string &what, int error)
{
    return JobSpooler::failure(what + ": " + std::strerror(error));
}
} // namespace

shared::Error JobSpooler::failure(std::string reason, FailureKind kind)
{
    int code = 0;
    switch (kind) {
    case FailureKind::Failed:
        break;
    case FailureKind::TooLarge:
        code = EFBIG;
        break;
    case FailureKind::Refused:
        code = EPERM;
        break;
    case FailureKind::Cancelled:
        code = ECANCELED;
        break;
    }
    shared::Error error = shared::Error::because("spool", "the job", std::move(reason));
    error.code = code;
    return error;
}

JobSpooler::FailureKind JobSpooler::kindOf(const shared::Error &failure)
{
    switch (failure.code) {
    case EFBIG:
        return FailureKind::TooLarge;
    case EPERM:
        return FailureKind::Refused;
    case ECANCELED:
        return FailureKind::Cancelled;
    default:
        return FailureKind::Failed;
    }
}

JobSpooler::JobSpooler(std::string spoolRoot, std::uint64_t maximumBytes)
    : m_root(std::move(spoolRoot))
    , m_maximumBytes(maximumBytes)
{
}

std::string JobSpooler::fileName(const std::string &jobId)
{
    return "job" + jobId + ".pdf";
}

std::string JobSpooler::temporaryName(const std::string &jobId)
{
    return "." + fileName(jobId) + ".part";
}

shared::Expected<shared::Descriptor> JobSpooler::openRoot() const
{
    const std::string quoted = "The spool root \"" + m_root + "\"";
    struct stat status{};
    if (::lstat(m_root.c_str(), &status) != 0) {
        // ENOTDIR: a file above it, which making the folders names.
        if (errno != ENOENT && errno != ENOTDIR)
            return failed("Could not open the spool root " + m_root, errno);
        // Sticky like /tmp: each user's agent may sweep only its own jobs.
        if (auto made = shared::FileTree::makeFolders(m_root, 01777, 0755); !made)
            return failure(made.error().description());
    }
    auto opened = shared::FileTree::openRealFolder(m_root);
    if (!opened) {
        if (opened.error().code == ELOOP)
            return failure(quoted + " is a symbolic link");
        return failed("Could not open the spool root " + m_root, opened.error().code);
    }
    shared::Descriptor root = std::move(*opened);
    if (::fstat(root.get(), &status) != 0)
        return failed("Could not open the spool root " + m_root, errno);
    // Anyone who may write there without the sticky bit could swap a job
    // folder for a link between the backend's steps or the client's.
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (status.st_mode & S_ISVTX) == 0)
        return failure(quoted + " is writable by others without the sticky bit");
    if (status.st_uid != 0 && status.st_uid != ::geteuid())
        return failure(quoted + " belongs to neither root nor the backend's user");
    return root;
}

shared::Expected<std::string> JobSpooler::makeJobFolder(int root, const std::string &jobId) const
{
    static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = "job" + jobId + "-";
        for (int i = 0; i < 6; ++i)
            candidate.push_back(letters[pick(random)]);
        if (::mkdirat(root, candidate.c_str(), 0700) == 0)
            return candidate;
        if (errno != EEXIST)
            break;
    }
    return failed("Could not create a job folder in " + m_root, errno);
}

void JobSpooler::discard(const SpooledJob &job) const
{
    // Whatever cannot go now, a later backend's tidying finds.
    if (const auto root = shared::FileTree::openRealFolder(m_root))
        [[maybe_unused]] const auto removed = shared::FileTree::removeAt(root->get(), job.name, job.folder);
}

shared::Expected<JobSpooler::SpooledJob> JobSpooler::spool(int input, const std::string &jobId, const UserAccount &user,
                                                            const Cancellation &cancel, const Finisher &finish) const
{
    auto openedRoot = openRoot();
    if (!openedRoot)
        return openedRoot.error();
    const shared::Descriptor root = std::move(*openedRoot);
    auto made = makeJobFolder(root.get(), jobId);
    if (!made)
        return made.error();
    const std::string name = std::move(*made);
    const std::string folder = m_root + "/" + name;
    auto giveUp = [&](shared::Error why) -> shared::Expected<SpooledJob> {
        [[maybe_unused]] const auto removed = shared::FileTree::removeAt(root.get(), name, folder);
        return why;
    };

    shared::Descriptor folderFd(::openat(root.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folderFd)
        return giveUp(failed("Could not open " + folder, errno));
    // Tells the backends that come after that this folder is in use. Nobody
    // else knows it yet, so only a failure of the call itself stops it.
    if (::flock(folderFd.get(), LOCK_EX | LOCK_NB) != 0)
        return giveUp(failed("Could not lock " + folder, errno));
    const std::string temporary = temporaryName(jobId);
    shared::Descriptor out(::openat(folderFd.get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out)
        return giveUp(failed("Could not create the job file", errno));

    std::vector<char> buffer(64 * 1024);
    std::uint64_t total = 0;
    std::optional<shared::Error> problem;
    const shared::Error cancelled = failure("Cancelled while spooling", FailureKind::Cancelled);
    for (;;) {
        // Waits on the cancellation too: a blocked read would not see it.
        pollfd waits[2] = {{input, POLLIN, 0}, {cancel.fd(), POLLIN, 0}};
        const int ready = ::poll(waits, cancel.fd() >= 0 ? 2 : 1, -1);
        if (ready > 0 && waits[1].revents != 0) {
            problem = cancelled;
            break;
        }
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            problem = failed("Could not wait for the job", errno);
            break;
        }
        const ssize_t count = ::read(input, buffer.data(), buffer.size());
        if (count < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (count < 0) {
            problem = failed("Could not read the job", errno);
            break;
        }
        if (count == 0)
            break;
        total += std::uint64_t(count);
        if (total > m_maximumBytes) {
            problem = failure("The job is larger than " + std::to_string(m_maximumBytes) + " bytes", FailureKind::TooLarge);
            break;
        }
        if (!out.writeAll(std::string_view(buffer.data(), std::size_t(count)))) {
            problem = failed("Could not write the job file", errno);
            break;
        }
    }
    if (!problem && ::fsync(out.get()) != 0)
        problem = failed("Could not write the job file", errno);
    if (!problem && !out.close())
        problem = failed("Could not write the job file", errno);
    if (problem)
        return giveUp(*problem);

    if (finish) {
        if (auto finished = finish(folderFd.get(), temporary); !finished)
            return giveUp(finished.error());
        if (cancel.requested())
            return giveUp(cancelled);
    }
    // The finishing step may have put a new file in its place: the one
    // there now goes to the user, its mode checked.
    const shared::Descriptor file(::openat(folderFd.get(), temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status{};
    if (!file || ::fstat(file.get(), &status) != 0)
        problem = failed("Could not complete the job file", errno);
    else if (!S_ISREG(status.st_mode) || (status.st_mode & 0077) != 0)
        problem = failure("The job file is not a private regular file");
    if (!problem && ::geteuid() == 0 && ::fchown(file.get(), user.uid, user.gid) != 0)
        problem = failed("Could not hand the job file to its user", errno);
    if (!problem && ::renameat(folderFd.get(), temporary.c_str(), folderFd.get(), fileName(jobId).c_str()) != 0)
        problem = failed("Could not complete the job file", errno);
    if (!problem && ::geteuid() == 0 && ::fchown(folderFd.get(), user.uid, user.gid) != 0)
        problem = failed("Could not hand the job folder to its user", errno);
    // The rename itself reaches the disk with the folder.
    if (!problem && ::fsync(folderFd.get()) != 0)
        problem = failed("Could not complete the job file", errno);
    if (problem)
        return giveUp(*problem);
    return SpooledJob{folder, folder + "/" + fileName(jobId), name, std::move(folderFd)};
}

bool JobSpooler::isJobFolderName(const std::string &name)
{
    // "job", the job id, "-" and six letters or digits.
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const auto isLetterOrDigit = [&](char c) { return isDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (name.size() < 11 || name.compare(0, 3, "job") != 0 || name[name.size() - 7] != '-')
        return false;
    const std::string_view id(name.data() + 3, name.size() - 10);
    const std::string_view suffix(name.data() + name.size() - 6, 6);
    return id.size() <= 10 && std::all_of(id.begin(), id.end(), isDigit)
           && std::all_of(suffix.begin(), suffix.end(), isLetterOrDigit);
}

std::size_t JobSpooler::removeStale(std::chrono::seconds minimumAge, const std::function<void(const std::string &)> &log) const
{
    // Run by anyone else, the backend makes its folders as the job's user,
    // like the finished ones the user's client still reads.
    if (::geteuid() != 0)
        return 0;
    auto opened = openRoot();
    if (!opened) {
        log("Leftover job folders not looked for: " + opened.error().text);
        return 0;
    }
    const shared::Descriptor root = std::move(*opened);
    const auto names = shared::FileTree::names(root.get());
    if (!names) {
        log(failed("Leftover job folders not looked for: could not list " + m_root, names.error().code).text);
        return 0;
    }
    const auto now = std::chrono::system_clock::now();
    std::size_t removed = 0;
    for (const std::string &name : *names) {
        if (!isJobFolderName(name))
            continue;
        const std::string path = m_root + "/" + name;
        const shared::Descriptor folder(::openat(root.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat status{};
        if (!folder || ::fstat(folder.get(), &status) != 0 || status.st_uid != 0)
            continue;
        const auto changed = std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(status.st_mtim.tv_sec) + std::chrono::nanoseconds(status.st_mtim.tv_nsec)));
        if (now - changed < minimumAge)
            continue;
        // Held by a running backend; taken here, no other backend removes
        // it at the same time.
        if (::flock(folder.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        // Still the folder that was looked at: only root renames in the
        // sticky root, yet a backend may have removed it and made another.
        struct stat named{};
        if (::fstatat(root.get(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_dev != status.st_dev
            || named.st_ino != status.st_ino)
            continue;
        if (auto gone = shared::FileTree::removeAt(root.get(), name, path); !gone) {
            log("Could not remove the leftover job folder: " + gone.error().description());
            continue;
        }
        ++removed;
        log("Removed the leftover job folder " + path);
    }
    return removed;
}

} // namespace tavoren::printerbackend
