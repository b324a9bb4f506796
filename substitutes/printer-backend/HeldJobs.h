#pragma once

#include "shared/Descriptor.h"
#include "shared/Expected.h"

#include <chrono>
#include <string>
#include <vector>

namespace tavoren::printerbackend {

// The markers of the jobs the backend holds for their users: an empty file
// per job, named by its job id, whose time tells when the job was first
// held. Run by root the folder is root's with mode 0755 and each marker
// root's with mode 0644, so every agent may read them and only root change
// them; whatever another user put in the folder's place is replaced. Run by
// anyone else (tests) the folder is that user's own, and one writable by
// others is not used.
class HeldJobs
{
public:
    struct Marker
    {
        int jobId = 0;
        std::string name;
        std::chrono::system_clock::time_point since;
    };

    // The folder below the root in force.
    static std::string folderInForce();

    explicit HeldJobs(std::string folder);

    const std::string &folder() const { return m_folder; }

    // Marks the job held. A marker already there is kept as it is, so its
    // time stays that of the first hold.
    shared::Expected<void> hold(const std::string &jobId) const;
    // Removes the job's marker; none there is fine.
    shared::Expected<void> release(const std::string &jobId) const;
    // The markers there are, none when the folder is missing. Entries that
    // are no job's marker are left out.
    shared::Expected<std::vector<Marker>> markers() const;

private:
    shared::Expected<shared::Descriptor> open(bool create) const;

    std::string m_folder;
};

} // namespace tavoren::printerbackend
