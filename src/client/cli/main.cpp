// tavoren-submit: runs one print job exactly as the client's upload screen
// does, for administrators, scripts and the demo.
#include "client/cli/TerminalFrontEnd.h"
#include "client/core/UploadJob.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    using tavoren::client::TerminalFrontEnd;
    using tavoren::client::UploadJob;

    // Like the client: one argument, further ones are ignored.
    if (argc < 2)
        std::fputs("usage: tavoren-submit 'DOCUMENT NAME:: ::/path/of/the/spool/file.pdf'\n", stderr);

    TerminalFrontEnd frontEnd(stdout, stderr);
    UploadJob runner(frontEnd);
    UploadJob *job = &runner;
    frontEnd.setStatusPageUrl(runner.config().statuspageurl);

    // Ctrl-C is the Cancel button: it works while Cancel would be enabled.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [&frontEnd, job] {
            char byte;
            [[maybe_unused]] const auto got = ::read(g_signalPipe[0], &byte, 1);
            if (frontEnd.cancelEnabled())
                job->cancel();
        });
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }

    QTimer::singleShot(0, &app, [job] { job->start(QCoreApplication::arguments()); });
    return app.exec();
}
