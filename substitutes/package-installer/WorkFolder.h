#pragma once

#include "shared/Descriptor.h"
#include "shared/Expected.h"

#include <string>

namespace tavoren::packageinstaller {

// A private temporary folder (mode 0700) for one installation: the package's
// members and its scripts are unpacked here. Removed with all it holds when
// the object goes.
class WorkFolder
{
public:
    // Below resolve("/var/tmp"), which is made (mode 1777) when missing; the
    // error's description says why the folder could not be made.
    static shared::Expected<WorkFolder> create();

    ~WorkFolder();
    WorkFolder(WorkFolder &&other) noexcept;
    WorkFolder &operator=(WorkFolder &&) = delete;
    WorkFolder(const WorkFolder &) = delete;
    WorkFolder &operator=(const WorkFolder &) = delete;

    const std::string &path() const { return m_path; }
    int fd() const { return m_fd.get(); }

private:
    WorkFolder(std::string path, shared::Descriptor fd);

    std::string m_path;
    shared::Descriptor m_fd;
};

} // namespace tavoren::packageinstaller
