#pragma once

#include "printer-backend/Cancellation.h"
#include "printer-backend/UserAccount.h"
#include "shared/Descriptor.h"
#include "shared/Expected.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace tavoren::printerbackend {

// Writes one job into a new job folder below the spool root. The file is
// written under a temporary name in the job folder, flushed to disk and
// renamed, so whoever waits for the final name never sees half a file. When
// run by root the folder and file are handed to the job's user, whose
// client deletes them.
//
// While a backend owns a job folder (from making it until the folder is the
// user's or gone) it holds an exclusive lock on it. A folder of root's that
// nobody holds is what a backend left when it was stopped mid-job; the next
// backend removes it.
class JobSpooler
{
public:
    static constexpr std::uint64_t defaultMaximumBytes = 512ull * 1024 * 1024;
    // A backend locks its folder right after making it: one this young and
    // unlocked may be one being made.
    static constexpr std::chrono::seconds defaultStaleAge{10};

    struct SpooledJob
    {
        std::string folder;
        std::string file;
        std::string name; // the folder's name in the spool root
        shared::Descriptor lock; // the open folder, locked while the job is the backend's
    };
    // What the backend answers the scheduler depends on the sort of failure.
    enum class FailureKind {
        Failed,
        TooLarge,
        Refused, // by the finishing step
        Cancelled,
    };
    // A spooling failure: its text is for the log (it may name paths), its
    // code says the kind (none, EFBIG, EPERM, ECANCELED).
    static shared::Error failure(std::string reason, FailureKind kind = FailureKind::Failed);
    static FailureKind kindOf(const shared::Error &failure);

    // Runs on the complete file under its temporary name while the job
    // folder is still the backend's alone: may replace the file inside the
    // folder, or refuse the job.
    using Finisher = std::function<shared::Expected<void>(int folderFd, const std::string &temporaryName)>;

    JobSpooler(std::string spoolRoot, std::uint64_t maximumBytes);

    // Copies everything readable from `input` up to the limit. A missing
    // spool root is made (0755 above it, 1777 itself); a root that is a link,
    // is writable by others without the sticky bit, or belongs to neither
    // root nor the backend's user is refused. Once `cancel` is requested
    // the reading stops and the folder goes.
    shared::Expected<SpooledJob> spool(int input, const std::string &jobId, const UserAccount &user,
                                       const Cancellation &cancel = {}, const Finisher &finish = {}) const;

    // Removes a spooled job's folder, relative to the spool root opened
    // without following links.
    void discard(const SpooledJob &job) const;

    // Removes the job folders that are root's, locked by no backend and
    // unchanged for `minimumAge`, relative to the spool root opened without
    // following links; says on `log` what went and what could not. Only
    // root's backend has such folders: run by anyone else it does nothing.
    // The number removed.
    std::size_t removeStale(std::chrono::seconds minimumAge, const std::function<void(const std::string &)> &log) const;

    // Whether `name` is one makeJobFolder could have made.
    static bool isJobFolderName(const std::string &name);

    // The file's name inside its job folder, and the name it is written under.
    static std::string fileName(const std::string &jobId);
    static std::string temporaryName(const std::string &jobId);

private:
    // The root, or the refusal when it cannot be used.
    shared::Expected<shared::Descriptor> openRoot() const;
    // The new folder's name.
    shared::Expected<std::string> makeJobFolder(int root, const std::string &jobId) const;

    std::string m_root;
    std::uint64_t m_maximumBytes;
};

} // namespace tavoren::printerbackend
