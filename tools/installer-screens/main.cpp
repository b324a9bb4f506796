// tavoren-installer-screens: drives the real installer window, with the real
// installer core and helper tool, through every screen and sheet and saves a
// picture of each, for the screenshot script. Run as root (the helper tool
// is blessed), on a display, with TAVOREN_ROOT set to a scratch root that
// holds a stand-in package installer which waits for the file "go".
//   tavoren-installer-screens MEDIUM-FOLDER OUTPUT-FOLDER
#include "installer/app/KYAppDelegate.h"
#include "installer/app/KYAppsBusySheet.h"
#include "installer/app/KYLogWindow.h"
#include "installer/app/KYProgressScreen.h"
#include "installer/app/KYQuitSheet.h"
#include "installer/app/KYResultScreen.h"
#include "installer/app/KYSourceView.h"
#include "installer/app/KYViewController.h"
#include "installer/app/KYWarningSheet.h"
#include "installer/app/KYWelcomeScreen.h"
#include "installer/core/PlatformEnvironment.h"
#include "shared/SyslogSystemLog.h"
#include "ui_KYProgressScreen.h"
#include "ui_KYQuitSheet.h"
#include "ui_KYViewController.h"
#include "ui_KYWelcomeScreen.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDragEnterEvent>
#include <QEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QThread>
#include <cstdio>
#include <functional>
#include <memory>

namespace {
using namespace tavoren::installer;

bool waitFor(const std::function<bool()> &condition, int milliseconds = 30000)
{
    const QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    // Let the last changes paint.
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

class Session
{
public:
    Session(const QString &medium, const QString &output, tavoren::shared::SystemLog &systemLog)
        : m_output(output)
    {
        KYInstaller::Environment environment =
            PlatformEnvironment::make(medium + QStringLiteral("/TavorenInstaller.app"), systemLog);
        environment.timing.pollInterval = std::chrono::milliseconds(20);
        environment.timing.missingProgressFileWait = std::chrono::milliseconds(0);
        environment.timing.uninstallCompletePause = std::chrono::milliseconds(300);
        controller = std::make_unique<KYViewController>(std::move(environment),
                                                        medium + QStringLiteral("/TavorenInstaller.app/Contents/Resources"));
        QApplication::installTranslator(controller->strings().translator());
        delegate = std::make_unique<KYAppDelegate>(controller->installer().state());
        controller->setAppDelegate(delegate.get());
        controller->awakeFromNib({QStringLiteral("TavorenInstaller")});
        controller->show();
    }

    Ui::KYViewController &ui() { return controller->ui(); }
    Ui::KYWelcomeScreen &welcome() { return controller->welcomeScreen()->ui(); }
    Ui::KYProgressScreen &progress() { return controller->progressScreen()->ui(); }
    bool finished() { return controller->resultScreen()->isVisible(); }

    bool shoot(QWidget *window, const QString &name)
    {
        window->raise();
        waitFor([] { return true; }, 0);
        const QString path = m_output + QLatin1Char('/') + name + QStringLiteral(".png");
        const bool saved = window->grab().save(path, "PNG");
        std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(path));
        std::fflush(stdout);
        return saved;
    }

    void drop()
    {
        // What the platform delivers when the icon is let go over the destination.
        QMimeData data;
        data.setData(QString::fromLatin1(KYSourceView::kPrivateDragObject), QByteArray());
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(welcome().destinationIconView, &enter);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(welcome().destinationIconView, &event);
    }

    std::unique_ptr<KYViewController> controller;
    std::unique_ptr<KYAppDelegate> delegate;

private:
    QString m_output;
};

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: tavoren-installer-screens MEDIUM-FOLDER OUTPUT-FOLDER\n", stderr);
        return 2;
    }
    const QString medium = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);
    const QString root = qEnvironmentVariable("TAVOREN_ROOT");
    QDir().mkpath(output);
    const QString go = root + QStringLiteral("/go");
    const QString receipt = root + QStringLiteral("/var/db/receipts/com.Corvane.TavorenInstaller.plist");
    tavoren::shared::SyslogSystemLog systemLog;
    bool ok = true;

    {
        // The first screen, the help, the licence, the choice, the progress,
        // the quit sheet, the result and the log window.
        Session s(medium, output, systemLog);
        ok &= waitFor([&] { return s.welcome().checkBoxButton->isEnabled(); });
        ok &= s.shoot(s.controller.get(), QStringLiteral("01-drag-to-install"));
        QEnterEvent enter(QPointF(4, 4), QPointF(4, 4), QPointF(4, 4));
        QApplication::sendEvent(s.welcome().helpIconView, &enter);
        ok &= waitFor([&] { return s.welcome().helpIconView->tooltipView()->isVisible(); });
        ok &= s.shoot(s.welcome().helpIconView->tooltipView(), QStringLiteral("02-help"));
        s.welcome().helpIconView->tooltipView()->hide();
        s.controller->displayLicenseView(s.welcome().termsOfServiceButton);
        ok &= s.shoot(s.controller.get(), QStringLiteral("03-licence"));
        s.controller->displayInstallationViewFromLicenseView();
        s.welcome().checkBoxButton->click();
        s.drop();
        ok &= s.shoot(s.controller.get(), QStringLiteral("04-public-or-private"));
        s.ui().multipleActionsButton->click();
        ok &= waitFor([&] { return s.progress().installProgressIndicator->value() >= 30; });
        ok &= s.shoot(s.controller.get(), QStringLiteral("05-progress"));
        s.controller->displayWarningSheetWhenQuittingApplication(s.ui().quitMenuItem);
        ok &= waitFor([&] { return s.controller->quitAppWarningSheet()->isVisible(); });
        ok &= s.shoot(s.controller->quitAppWarningSheet(), QStringLiteral("06-quit-sheet"));
        s.controller->quitAppWarningSheet()->ui().quit_App_WarningSheet_OK->click();
        writeFile(go, "go");
        ok &= waitFor([&] { return s.finished(); });
        ok &= s.shoot(s.controller.get(), QStringLiteral("07-result-success"));
        ok &= waitFor([&] { return s.ui().installerLog->isEnabled(); });
        s.ui().installerLog->trigger();
        ok &= waitFor([&] { return s.controller->logWindow()->isVisible(); });
        ok &= s.shoot(s.controller->logWindow(), QStringLiteral("08-log-window"));
        // The two sheets no step of the flow opens.
        s.controller->displayWarningSheet();
        ok &= s.shoot(s.controller->warningSheet(), QStringLiteral("09-warning-sheet"));
        s.controller->warningSheet()->hide();
        s.controller->displayAppsBusyWarningSheet();
        ok &= s.shoot(s.controller->appsBusySheet(), QStringLiteral("10-apps-busy-sheet"));
        s.controller->appsBusySheet()->hide();
    }
    {
        // An installed version: the warning, then its removal.
        QFile::remove(go);
        writeFile(receipt, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>PackageVersion</key>"
                           "<string>0.9</string></dict></plist>\n");
        Session s(medium, output, systemLog);
        ok &= waitFor([&] { return s.welcome().checkBoxButton->isEnabled(); });
        ok &= s.shoot(s.controller.get(), QStringLiteral("11-installed-version"));
        s.welcome().checkBoxButton->click();
        s.drop();
        s.ui().multipleActionsButton->click();
        ok &= waitFor([&] { return s.progress().installProgressIndicator->value() >= 20; });
        ok &= s.shoot(s.controller.get(), QStringLiteral("12-removal"));
        writeFile(go, "go");
        ok &= waitFor([&] { return s.finished(); }, 60000);
    }
    {
        // A failed installation.
        QFile::remove(go);
        writeFile(root + QStringLiteral("/fail"), "fail");
        Session s(medium, output, systemLog);
        ok &= waitFor([&] { return s.welcome().checkBoxButton->isEnabled(); });
        s.welcome().checkBoxButton->click();
        s.drop();
        s.ui().multipleActionsButton->click();
        writeFile(go, "go");
        ok &= waitFor([&] { return s.finished(); }, 60000);
        ok &= s.shoot(s.controller.get(), QStringLiteral("13-result-failure"));
        QFile::remove(root + QStringLiteral("/fail"));
    }
    {
        // No package beside the installer.
        const QString package = medium + QStringLiteral("/OSX/Corvane Tavoren Driver.pkg");
        QFile::rename(package, package + QStringLiteral(".away"));
        Session s(medium, output, systemLog);
        ok &= waitFor([&] { return !s.welcome().initializationRow->isVisible(); });
        ok &= s.shoot(s.controller.get(), QStringLiteral("14-missing-package"));
        QFile::rename(package + QStringLiteral(".away"), package);
    }
    return ok ? 0 : 1;
}
