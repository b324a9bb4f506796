// Writes one Status line through the client's log as the user it runs as,
// for tests that need another user's writer: log_writer MESSAGE DETAILS.
// Prints each message that went to the system log instead, one a line,
// after "system log: ".
#include "client/core/Log.h"
#include "support/MemorySystemLog.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 3)
        return 2;
    tavoren::testsupport::MemorySystemLog systemLog;
    tavoren::client::Log(systemLog, tavoren::client::LogLevel::Status, QString::fromUtf8(argv[1]), QString::fromUtf8(argv[2]));
    for (const QString &message : systemLog.messages())
        std::printf("system log: %s\n", message.toUtf8().constData());
    return 0;
}
