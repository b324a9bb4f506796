// TavorenInstaller: installs the driver package from the installation medium.
//   TavorenInstaller                     the installer window
//   TavorenInstaller -s USER [PUBLIC]    silent installation for administrators
// Silent mode needs no display: it prints "PERCENT:PHASE" lines and ends
// with status 0 when the installation succeeded, 1 when it failed.
#include "installer/app/KYAppDelegate.h"
#include "installer/app/KYViewController.h"
#include "installer/core/KYInstaller.h"
#include "installer/core/PlatformEnvironment.h"
#include "installer/core/SilentFrontEnd.h"
#include "shared/SyslogSystemLog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QTimer>
#include <syslog.h>

namespace {
using namespace tavoren::installer;

int runSilently(int argc, char *argv[], tavoren::shared::SystemLog &systemLog)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    SilentFrontEnd frontEnd([](int status) { QCoreApplication::exit(status); });
    const QString bundle = KYInstaller::bundlePathOf(QCoreApplication::applicationDirPath());
    KYInstaller installer(frontEnd, PlatformEnvironment::make(bundle, systemLog));
    QTimer::singleShot(0, &installer, [&installer, arguments] { installer.start(arguments); });
    return app.exec();
}

int runWindow(int argc, char *argv[], tavoren::shared::SystemLog &systemLog)
{
    QApplication app(argc, argv);
    const QString bundle = KYInstaller::bundlePathOf(QApplication::applicationDirPath());
    KYViewController controller(PlatformEnvironment::make(bundle, systemLog), bundle + QStringLiteral("/Contents/Resources"));
    QApplication::installTranslator(controller.strings().translator());
    KYAppDelegate delegate(controller.installer().state());
    controller.setAppDelegate(&delegate);
    // Closing the window ends the application, once it may close at all.
    QApplication::setQuitOnLastWindowClosed(true);
    controller.awakeFromNib(QApplication::arguments());
    controller.show();
    controller.raise();
    controller.activateWindow();
    return app.exec();
}
} // namespace

int main(int argc, char *argv[])
{
    ::openlog("TavorenInstaller", LOG_PID, LOG_USER);
    tavoren::shared::SyslogSystemLog systemLog;
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (KYInstaller::silentArguments(arguments))
        return runSilently(argc, argv, systemLog);
    return runWindow(argc, argv, systemLog);
}
