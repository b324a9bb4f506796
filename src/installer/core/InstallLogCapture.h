#pragma once

#include "installer/core/WorkingFolder.h"
#include "shared/Expected.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

namespace tavoren::installer {

// Copies what the system appends to its install log during an installation
// into the capture file of the working folder, following the log by name as
// "tail -n0 -F" does (a replaced or truncated log is read from its start),
// in-process, so nothing in the shared folder is written through a link.
class InstallLogCapture
{
public:
    InstallLogCapture(std::shared_ptr<const WorkingFolder> folder, std::string sourcePath, std::string captureName,
                      std::chrono::milliseconds interval);
    ~InstallLogCapture();
    InstallLogCapture(const InstallLogCapture &) = delete;
    InstallLogCapture &operator=(const InstallLogCapture &) = delete;

    // Empties the capture and follows the log from its current end; an
    // Error when the capture file cannot be written.
    shared::Expected<void> start();
    // Copies what is left and stops following.
    void stop();

private:
    void run();
    // One look at the log: copies what is new.
    void copyNew();

    std::shared_ptr<const WorkingFolder> m_folder;
    std::string m_sourcePath;
    std::string m_captureName;
    std::chrono::milliseconds m_interval;

    shared::Descriptor m_capture;
    ino_t m_inode = 0;
    dev_t m_device = 0;
    off_t m_offset = 0;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace tavoren::installer
