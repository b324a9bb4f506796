// TavorenInstaller: installs the driver package from the installation medium.
//   TavorenInstaller -s USER [PUBLIC]    silent installation for administrators
// Silent mode prints "PERCENT:PHASE" lines and ends with status 0 when the
// installation succeeded, 1 when it failed.
#include "installer/core/KYInstaller.h"
#include "installer/core/SilentFrontEnd.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <syslog.h>

int main(int argc, char *argv[])
{
    using namespace tavoren::installer;
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (!KYInstaller::silentArguments(arguments)) {
        std::fputs("usage: TavorenInstaller -s USER [PUBLIC]\n"
                   "This build installs silently only; the installer window is not part of it.\n",
                   stderr);
        return 2;
    }
    ::openlog("TavorenInstaller", LOG_PID, LOG_USER);

    SilentFrontEnd frontEnd([](int status) { QCoreApplication::exit(status); });
    const QString bundle = KYInstaller::bundlePathOf(QCoreApplication::applicationDirPath());
    KYInstaller installer(frontEnd, KYInstaller::platformEnvironment(bundle));
    QTimer::singleShot(0, &installer, [&installer, arguments] { installer.start(arguments); });
    return app.exec();
}
