// tavoren-submit: runs one print job exactly as the client's upload screen
// does, for administrators, scripts and the demo.
#include "client/cli/TerminalFrontEnd.h"
#include "client/core/PlatformEnvironment.h"
#include "client/core/SignalNotifier.h"
#include "client/core/UploadJob.h"
#include "shared/SyslogSystemLog.h"

#include <QCoreApplication>
#include <QTimer>
#include <csignal>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    using tavoren::client::SignalNotifier;
    using tavoren::client::TerminalFrontEnd;
    using tavoren::client::UploadJob;

    // Like the client: one argument, further ones are ignored.
    if (argc < 2)
        std::fputs("usage: tavoren-submit 'DOCUMENT NAME:: ::/path/of/the/spool/file.pdf'\n", stderr);

    TerminalFrontEnd frontEnd(stdout, stderr);
    tavoren::shared::SyslogSystemLog systemLog;
    UploadJob runner(frontEnd, tavoren::client::PlatformEnvironment::make(systemLog));
    UploadJob *job = &runner;
    frontEnd.setStatusPageUrl(runner.config().statuspageurl);

    // Ctrl-C is the Cancel button: it works while Cancel would be enabled.
    // SIGTERM ends the program at once, whatever the step, and leaves the
    // spool file to the agent's cleaning pass.
    SignalNotifier notifier({SIGINT, SIGTERM});
    QObject::connect(&notifier, &SignalNotifier::received, &app, [&frontEnd, job](int signalNumber) {
        if (signalNumber == SIGTERM)
            QCoreApplication::exit(128 + SIGTERM);
        else if (frontEnd.cancelEnabled())
            job->cancel();
    });

    QTimer::singleShot(0, &app, [job] { job->start(QCoreApplication::arguments()); });
    return app.exec();
}
