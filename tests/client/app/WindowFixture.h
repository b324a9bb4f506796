#pragma once

#include "client/app/AppDelegate.h"
#include "client/app/MainWindow.h"
#include "client/app/Screen.h"
#include "client/app/ViewController.h"
#include "client/core/ConfigFiles.h"
#include "release-service/ReleaseService.h"
#include "shared/StringTable.h"
#include "support/MemorySystemLog.h"
#include "support/TestRoot.h"

#include <QList>
#include <QLocale>
#include <QStringList>
#include <QTest>
#include <QUrl>
#include <memory>

namespace tavoren::clienttest {

// The real client window in a root of its own, against a substitute service
// on loopback. Opened URLs and the end of the process are recorded.
class WindowFixture
{
public:
    explicit WindowFixture(bool privateInstall, const QVariantMap &adminOverrides = {},
                           const QVariantMap &clientOverrides = {});
    ~WindowFixture();

    // A job argument for a spool file of `content` in a fresh job folder.
    QStringList jobArguments(const QString &documentName = QStringLiteral("Report.pdf"),
                             const QByteArray &content = QByteArray("%PDF-1.4\nreport\n%%EOF\n"));
    // Starts the application with these process arguments and shows the window.
    void open(const QStringList &arguments, const QLocale &locale = QLocale(QLocale::English, QLocale::UnitedStates));

    // The environment the window gets: the root's resources, a recorded
    // URL handler and termination, the recorded system log.
    client::ClientEnvironment environment();
    client::ConfigFiles configFiles() const { return client::ConfigFiles(appDelegate->environment()); }

    client::Screen *current() const;
    template<typename T>
    T *screen() const
    {
        return qobject_cast<T *>(current());
    }
    template<typename T>
    T *waitFor(int milliseconds = 20000) const
    {
        [[maybe_unused]] const bool shown = QTest::qWaitFor([this] { return screen<T>() != nullptr; }, milliseconds);
        return screen<T>();
    }
    // A child widget of the current screen by object name.
    template<typename T>
    T *control(const QString &name) const
    {
        return current() ? current()->findChild<T *>(name) : nullptr;
    }

    QString spoolFile;
    testsupport::TestRoot root;
    testsupport::MemorySystemLog systemLog;
    std::unique_ptr<releaseservice::ReleaseService> service;
    bool started = false;
    QList<QUrl> opened;
    int terminations = 0;
    std::shared_ptr<shared::StringTable> strings;
    std::unique_ptr<client::AppDelegate> appDelegate;
    std::unique_ptr<client::MainWindow> window;
};

} // namespace tavoren::clienttest
