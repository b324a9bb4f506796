#include "WindowFixture.h"

#include "client/core/Termination.h"
#include "client/core/UrlHandler.h"
#include "client/core/JobArgument.h"
#include "client/support/ClientSetup.h"

#include <QApplication>
#include <QDir>
#include <QRandomGenerator>

namespace tavoren::clienttest {

WindowFixture::WindowFixture(bool privateInstall, const QVariantMap &adminOverrides, const QVariantMap &clientOverrides)
{
    releaseservice::ReleaseService::Options options;
    options.storageDir = root.makeDir(QStringLiteral("/service")).toStdString();
    service = std::make_unique<releaseservice::ReleaseService>(options);
    started = service->start();
    ClientSetup::writeClientConfig(root, clientOverrides);
    ClientSetup::useResources(root);
    QVariantMap admin = adminOverrides;
    admin.insert(QStringLiteral("IsPrivateInstall"), privateInstall);
    ClientSetup::writeAdminConfig(root, QStringLiteral("127.0.0.1:%1").arg(service->port()), false, admin);
}

namespace {
class RecordingUrlHandler final : public client::UrlHandler
{
public:
    explicit RecordingUrlHandler(QList<QUrl> &opened) : m_opened(opened) {}
    void open(const QUrl &url) override { m_opened.append(url); }

private:
    QList<QUrl> &m_opened;
};

class CountingTermination final : public client::Termination
{
public:
    explicit CountingTermination(int &count) : m_count(count) {}
    void terminate() override { ++m_count; }

private:
    int &m_count;
};
} // namespace

client::ClientEnvironment WindowFixture::environment()
{
    client::ClientEnvironment environment = ClientSetup::environment(root, systemLog);
    environment.urlHandler = std::make_shared<RecordingUrlHandler>(opened);
    environment.termination = std::make_shared<CountingTermination>(terminations);
    return environment;
}

WindowFixture::~WindowFixture()
{
    window.reset();
    appDelegate.reset();
    if (strings)
        QApplication::removeTranslator(strings->translator());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

QStringList WindowFixture::jobArguments(const QString &documentName, const QByteArray &content)
{
    const QString job = QStringLiteral("job%1").arg(QRandomGenerator::global()->bounded(1000000));
    spoolFile = ClientSetup::makeSpoolFile(root, job, content);
    return {QStringLiteral("/Library/Printers/client"), client::JobArgument::compose(documentName, spoolFile)};
}

void WindowFixture::open(const QStringList &arguments, const QLocale &locale)
{
    QLocale::setDefault(locale);
    client::ClientEnvironment made = environment();
    strings = made.strings;
    QApplication::installTranslator(strings->translator());
    appDelegate = std::make_unique<client::AppDelegate>(std::move(made), arguments);
    window = std::make_unique<client::MainWindow>(*appDelegate);
    window->show();
    [[maybe_unused]] const bool exposed = QTest::qWaitForWindowExposed(window.get());
}

client::Screen *WindowFixture::current() const
{
    return window ? window->viewController().currentScreen() : nullptr;
}

} // namespace tavoren::clienttest
