#pragma once

#include "shared/Descriptor.h"

#include <string>

namespace tavoren::packageinstaller {

// A private temporary folder (mode 0700) for one installation: the package's
// members and its scripts are unpacked here. Removed with all it holds when
// the object goes.
class WorkFolder
{
public:
    // Below resolve("/var/tmp"), which is made (mode 1777) when missing.
    WorkFolder();
    ~WorkFolder();
    WorkFolder(const WorkFolder &) = delete;
    WorkFolder &operator=(const WorkFolder &) = delete;

    bool isValid() const { return m_fd.isValid(); }
    // Why the folder could not be made.
    const std::string &error() const { return m_error; }
    const std::string &path() const { return m_path; }
    int fd() const { return m_fd.get(); }

private:
    std::string m_path;
    shared::Descriptor m_fd;
    std::string m_error;
};

} // namespace tavoren::packageinstaller
