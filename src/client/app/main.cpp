// "Corvane Tavoren for Mac": one print job per process, started by the
// hand-off agent with the job argument.
#include "client/app/AppDelegate.h"
#include "client/app/ApplicationQuit.h"
#include "client/app/DesktopUrlHandler.h"
#include "client/app/MainWindow.h"
#include "client/app/WindowIcon.h"
#include "client/core/PlatformEnvironment.h"
#include "client/core/SignalNotifier.h"
#include "shared/StringTable.h"
#include "shared/SyslogSystemLog.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QTimer>
#include <csignal>

int main(int argc, char *argv[])
{
    using namespace tavoren;
    using namespace tavoren::client;

    // The job argument is the document's title: Qt must not read options out
    // of it, so the toolkit sees the program name only.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QFile::decodeName(argv[i]));
    int toolkitArgc = 1;
    QApplication app(toolkitArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane Tavoren for Mac"));
    QApplication::setQuitOnLastWindowClosed(true);

    // SIGTERM ends the client at once, whatever the step, before anything is
    // read; the spool file is left to the agent's cleaning pass.
    SignalNotifier notifier({SIGTERM});
    QObject::connect(&notifier, &SignalNotifier::received, &app, [] { QApplication::exit(128 + SIGTERM); });

    shared::SyslogSystemLog systemLog;
    ClientEnvironment environment = PlatformEnvironment::make(systemLog);
    environment.urlHandler = std::make_shared<DesktopUrlHandler>();
    environment.applicationIcon = std::make_shared<WindowIcon>(systemLog);
    environment.termination = std::make_shared<ApplicationQuit>();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/application-icon.svg")));

    QApplication::installTranslator(environment.strings->translator());

    AppDelegate appDelegate(environment, arguments);
    MainWindow window(appDelegate);
    window.show();
    QTimer::singleShot(0, &appDelegate, [&] { appDelegate.applicationDidFinishLaunching(&window); });
    return app.exec();
}
