#include "shared/SyslogSystemLog.h"

#include <string>
#include <syslog.h>

namespace tavoren::shared {

void SyslogSystemLog::write(std::string_view message)
{
    const std::string text(message);
    ::syslog(LOG_USER | LOG_NOTICE, "%s", text.c_str());
}

} // namespace tavoren::shared
