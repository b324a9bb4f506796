#include "shared/SystemLog.h"

#include "shared/SyslogSystemLog.h"

#include <mutex>

namespace tavoren::shared {

namespace {
std::mutex g_mutex;
std::shared_ptr<SystemLog> &slot()
{
    static std::shared_ptr<SystemLog> log = std::make_shared<SyslogSystemLog>();
    return log;
}
} // namespace

SystemLog &SystemLog::instance()
{
    std::lock_guard lock(g_mutex);
    return *slot();
}

void SystemLog::setInstance(std::shared_ptr<SystemLog> log)
{
    std::lock_guard lock(g_mutex);
    slot() = log ? std::move(log) : std::make_shared<SyslogSystemLog>();
}

} // namespace tavoren::shared
