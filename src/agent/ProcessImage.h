#pragma once

#include <string>
#include <vector>

namespace tavoren::agent {

// What this process was started as: its executable's path, its arguments
// and its environment, taken at start-up, before an upgrade can replace
// the file, so that the process can start itself again from the file
// installed there now.
class ProcessImage
{
public:
    // Call first thing in main.
    static ProcessImage current(int argc, char *argv[]);

    // The executable's path; empty when it could not be read.
    const std::string &executable() const { return m_executable; }

    // Replaces this process's image by the file at the executable's path,
    // under the same process id, with the same arguments and environment.
    // Descriptors stay behind, the standard ones aside. Returns only when
    // that failed: the reason's errno value.
    int replace() const;

private:
    std::string m_executable;
    int m_readError = 0;
    std::vector<std::string> m_arguments;
    std::vector<std::string> m_environment;
};

} // namespace tavoren::agent
