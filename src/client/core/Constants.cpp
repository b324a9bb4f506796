#include "client/core/Constants.h"

#include "client/core/ConfigFiles.h"

#include <atomic>

namespace tavoren::client {

namespace {
std::atomic<bool> g_statusPage{false};
} // namespace

bool Constants::isPrivateInstall(const ClientEnvironment &environment)
{
    // Read once per process, on first use; a function-local static is
    // initialised exactly once even when first reached from two threads.
    static const bool value = ConfigFiles(environment).parseAdminConfig().IsPrivateInstall;
    return value;
}

bool Constants::isStatusPage()
{
    return g_statusPage.load();
}

void Constants::setStatusPage(bool value)
{
    g_statusPage.store(value);
}

QString Constants::locateprinter()
{
    return QString();
}

} // namespace tavoren::client
