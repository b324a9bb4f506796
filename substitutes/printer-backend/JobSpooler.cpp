#include "printer-backend/JobSpooler.h"

#include "shared/Descriptor.h"
#include "shared/FileTree.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavoren::printerbackend {

namespace {
std::string failed(const std::string &what, int error)
{
    return what + ": " + std::strerror(error);
}

} // namespace

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

std::optional<std::string> JobSpooler::openRoot(shared::Descriptor &root) const
{
    const std::string quoted = "The spool root \"" + m_root + "\"";
    struct stat status{};
    if (::lstat(m_root.c_str(), &status) != 0) {
        // ENOTDIR: a file above it, which making the folders names.
        if (errno != ENOENT && errno != ENOTDIR)
            return failed("Could not open the spool root " + m_root, errno);
        // Sticky like /tmp: each user's agent may sweep only its own jobs.
        if (auto error = shared::FileTree::makeFolders(m_root, 01777, 0755))
            return error->description();
    }
    root.reset(shared::FileTree::openRealFolder(m_root));
    if (!root) {
        if (errno == ELOOP)
            return quoted + " is a symbolic link";
        return failed("Could not open the spool root " + m_root, errno);
    }
    if (::fstat(root.get(), &status) != 0)
        return failed("Could not open the spool root " + m_root, errno);
    // Anyone who may write there without the sticky bit could swap a job
    // folder for a link between the backend's steps or the client's.
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (status.st_mode & S_ISVTX) == 0)
        return quoted + " is writable by others without the sticky bit";
    if (status.st_uid != 0 && status.st_uid != ::geteuid())
        return quoted + " belongs to neither root nor the backend's user";
    return std::nullopt;
}

std::optional<std::string> JobSpooler::makeJobFolder(int root, const std::string &jobId, std::string *name) const
{
    static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = "job" + jobId + "-";
        for (int i = 0; i < 6; ++i)
            candidate.push_back(letters[pick(random)]);
        if (::mkdirat(root, candidate.c_str(), 0700) == 0) {
            *name = std::move(candidate);
            return std::nullopt;
        }
        if (errno != EEXIST)
            break;
    }
    return failed("Could not create a job folder in " + m_root, errno);
}

void JobSpooler::discard(const SpooledJob &job) const
{
    const shared::Descriptor root(shared::FileTree::openRealFolder(m_root));
    if (root)
        shared::FileTree::removeAt(root.get(), job.name, job.folder);
}

std::optional<JobSpooler::SpooledJob> JobSpooler::spool(int input, const std::string &jobId, const UserAccount &user,
                                                         Failure *failure, const Cancellation &cancel,
                                                         const Finisher &finish) const
{
    using Kind = Failure::Kind;
    shared::Descriptor root;
    if (auto refusal = openRoot(root)) {
        *failure = {*refusal};
        return std::nullopt;
    }
    std::string name;
    if (auto refusal = makeJobFolder(root.get(), jobId, &name)) {
        *failure = {*refusal};
        return std::nullopt;
    }
    const std::string folder = m_root + "/" + name;
    auto giveUp = [&](Failure why) -> std::optional<SpooledJob> {
        shared::FileTree::removeAt(root.get(), name, folder);
        *failure = std::move(why);
        return std::nullopt;
    };

    const shared::Descriptor folderFd(::openat(root.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folderFd)
        return giveUp({failed("Could not open " + folder, errno)});
    const std::string temporary = temporaryName(jobId);
    shared::Descriptor out(::openat(folderFd.get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out)
        return giveUp({failed("Could not create the job file", errno)});

    std::vector<char> buffer(64 * 1024);
    std::uint64_t total = 0;
    std::optional<Failure> problem;
    const Failure cancelled{"Cancelled while spooling", Kind::Cancelled};
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
            problem = Failure{failed("Could not wait for the job", errno)};
            break;
        }
        const ssize_t count = ::read(input, buffer.data(), buffer.size());
        if (count < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (count < 0) {
            problem = Failure{failed("Could not read the job", errno)};
            break;
        }
        if (count == 0)
            break;
        total += std::uint64_t(count);
        if (total > m_maximumBytes) {
            problem = Failure{"The job is larger than " + std::to_string(m_maximumBytes) + " bytes", Kind::TooLarge};
            break;
        }
        if (!out.writeAll(std::string_view(buffer.data(), std::size_t(count)))) {
            problem = Failure{failed("Could not write the job file", errno)};
            break;
        }
    }
    if (!problem && ::fsync(out.get()) != 0)
        problem = Failure{failed("Could not write the job file", errno)};
    if (!problem && ::close(out.release()) != 0)
        problem = Failure{failed("Could not write the job file", errno)};
    if (problem)
        return giveUp(*problem);

    if (finish) {
        if (auto refusal = finish(folderFd.get(), temporary))
            return giveUp(*refusal);
        if (cancel.requested())
            return giveUp(cancelled);
    }
    // The finishing step may have put a new file in its place: the one
    // there now goes to the user, its mode checked.
    const shared::Descriptor file(::openat(folderFd.get(), temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status{};
    if (!file || ::fstat(file.get(), &status) != 0)
        problem = Failure{failed("Could not complete the job file", errno)};
    else if (!S_ISREG(status.st_mode) || (status.st_mode & 0077) != 0)
        problem = Failure{"The job file is not a private regular file"};
    if (!problem && ::geteuid() == 0 && ::fchown(file.get(), user.uid, user.gid) != 0)
        problem = Failure{failed("Could not hand the job file to its user", errno)};
    if (!problem && ::renameat(folderFd.get(), temporary.c_str(), folderFd.get(), fileName(jobId).c_str()) != 0)
        problem = Failure{failed("Could not complete the job file", errno)};
    if (!problem && ::geteuid() == 0 && ::fchown(folderFd.get(), user.uid, user.gid) != 0)
        problem = Failure{failed("Could not hand the job folder to its user", errno)};
    // The rename itself reaches the disk with the folder.
    if (!problem && ::fsync(folderFd.get()) != 0)
        problem = Failure{failed("Could not complete the job file", errno)};
    if (problem)
        return giveUp(*problem);
    return SpooledJob{folder, folder + "/" + fileName(jobId), name};
}

} // namespace tavoren::printerbackend
