#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <sys/types.h>

namespace tavoren::testsupport {

// Another local user of the computer, for tests that act as an attacker
// would: an account made once with useradd (as root, as CI runs), and
// programs run as that user through runuser.
class SecondUser
{
public:
    static constexpr const char *name = "tavorenother";

    // Makes the account when it is missing; false (with the reason) when the
    // test does not run as root or the account cannot be made.
    static bool ensure(QString *reason = nullptr);
    static uid_t uid();
    static gid_t gid();

    // Runs `program` as the user and waits: its exit status, or -1 when it
    // did not end in time or could not start.
    static int run(const QString &program, const QStringList &arguments, QByteArray *output = nullptr,
                   int milliseconds = 30000);
    // Starts `program` as the user in `process` and returns at once.
    static void start(QProcess &process, const QString &program, const QStringList &arguments);
};

} // namespace tavoren::testsupport
