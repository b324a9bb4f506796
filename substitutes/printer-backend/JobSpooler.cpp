#include "printer-backend/JobSpooler.h"

#include "shared/Descriptor.h"
#include "shared/FileTree.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

std::optional<JobSpooler::SpooledJob> JobSpooler::spool(int input, const std::string &jobId, const UserAccount &user,
                                                         Failure *failure) const
{
    // Sticky like /tmp: each user's agent may sweep only its own jobs.
    if (auto error = shared::FileTree::makeFolders(m_root, 01777, 0755)) {
        *failure = {error->description()};
        return std::nullopt;
    }
    std::string folder = m_root + "/job" + jobId + "-XXXXXX";
    if (!::mkdtemp(folder.data())) {
        *failure = {failed("Could not create a job folder in " + m_root, errno)};
        return std::nullopt;
    }
    auto giveUp = [&](Failure why) -> std::optional<SpooledJob> {
        shared::FileTree::remove(folder);
        *failure = std::move(why);
        return std::nullopt;
    };

    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folderFd < 0)
        return giveUp({failed("Could not open " + folder, errno)});
    const std::string temporary = temporaryName(jobId);
    const int out = ::openat(folderFd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0) {
        const int error = errno;
        ::close(folderFd);
        return giveUp({failed("Could not create the job file", error)});
    }

    std::vector<char> buffer(64 * 1024);
    std::uint64_t total = 0;
    std::optional<Failure> problem;
    for (;;) {
        const ssize_t count = ::read(input, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            problem = Failure{failed("Could not read the job", errno)};
            break;
        }
        if (count == 0)
            break;
        total += std::uint64_t(count);
        if (total > m_maximumBytes) {
            problem = Failure{"The job is larger than " + std::to_string(m_maximumBytes) + " bytes", true};
            break;
        }
        if (!shared::Descriptor::writeAll(out, std::string_view(buffer.data(), std::size_t(count)))) {
            problem = Failure{failed("Could not write the job file", errno)};
            break;
        }
    }
    if (!problem && ::fsync(out) != 0)
        problem = Failure{failed("Could not write the job file", errno)};
    if (!problem && ::geteuid() == 0 && ::fchown(out, user.uid, user.gid) != 0)
        problem = Failure{failed("Could not hand the job file to its user", errno)};
    if (::close(out) != 0 && !problem)
        problem = Failure{failed("Could not write the job file", errno)};
    const std::string name = fileName(jobId);
    if (!problem && ::renameat(folderFd, temporary.c_str(), folderFd, name.c_str()) != 0)
        problem = Failure{failed("Could not complete the job file", errno)};
    if (!problem && ::geteuid() == 0 && ::fchown(folderFd, user.uid, user.gid) != 0)
        problem = Failure{failed("Could not hand the job folder to its user", errno)};
    // The rename itself reaches the disk with the folder.
    if (!problem && ::fsync(folderFd) != 0)
        problem = Failure{failed("Could not complete the job file", errno)};
    ::close(folderFd);
    if (problem)
        return giveUp(*problem);
    return SpooledJob{folder, folder + "/" + name};
}

} // namespace tavoren::printerbackend
