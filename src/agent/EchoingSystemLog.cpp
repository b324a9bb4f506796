#include "agent/EchoingSystemLog.h"

#include <string>
#include <unistd.h>

namespace tavoren::agent {

EchoingSystemLog::EchoingSystemLog(std::shared_ptr<shared::SystemLog> systemLog)
    : m_systemLog(std::move(systemLog))
{
}

void EchoingSystemLog::write(std::string_view message)
{
    m_systemLog->write(message);
    // One write per line, so lines of two threads never interleave.
    std::string line = "log: ";
    line.append(message);
    line.push_back('\n');
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t written = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (written <= 0)
            break;
        done += std::size_t(written);
    }
}

} // namespace tavoren::agent
