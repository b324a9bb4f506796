#include "client/app/ReleaseCodeResult.h"

#include "client/app/AppDelegate.h"
#include "client/app/UrlOpener.h"
#include "client/core/ConfigFiles.h"
#include "client/core/Constants.h"
#include "client/core/DisplayText.h"
#include "ui_ReleaseCodeResult.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QShortcut>

namespace {
constexpr std::chrono::seconds copiedShown{2};
} // namespace

namespace tavoren::client {

ReleaseCodeResult::ReleaseCodeResult(AppDelegate &appDelegate, QWidget *parent)
    : Screen(appDelegate, parent)
{
    m_closeTimer.setSingleShot(true);
    m_closeTimer.setInterval(publicCloseDelay);
    connect(&m_closeTimer, &QTimer::timeout, this, &ReleaseCodeResult::Close);
    m_copiedTimer.setSingleShot(true);
    m_copiedTimer.setInterval(copiedShown);
}

ReleaseCodeResult::~ReleaseCodeResult() = default;

void ReleaseCodeResult::loadView()
{
    m_ui = std::make_unique<Ui::ReleaseCodeResult>();
    m_ui->setupUi(this);
    connect(m_ui->closeButton, &QAbstractButton::clicked, this, &ReleaseCodeResult::Close);
    connect(m_ui->locatePrinter, &QAbstractButton::clicked, this, &ReleaseCodeResult::locatePrinter);
    connect(m_ui->copyButton, &QAbstractButton::clicked, this, &ReleaseCodeResult::copyCode);
    // Ctrl+C anywhere in the window while this screen shows, the code's
    // own field included.
    auto *copy = new QShortcut(QKeySequence::Copy, this);
    copy->setContext(Qt::WindowShortcut);
    connect(copy, &QShortcut::activated, this, &ReleaseCodeResult::copyCode);
    connect(&m_copiedTimer, &QTimer::timeout, this, [this] { m_ui->copyButton->setText(qtTrId("copy_button")); });
    connectPreferences(m_ui->preferences);
}

void ReleaseCodeResult::viewDidLoad()
{
    m_clientConfig = ConfigFiles(appDelegate().environment()).parseConfig();
    // The printer locator is the installation's own address; without one
    // the button would do nothing, so it is not offered.
    m_config = ConfigFiles(appDelegate().environment()).parseAdminConfig();
    m_ui->locatePrinter->setVisible(UrlOpener::isOpenable(m_config.locateprinter));

    const bool isPrivate = Constants::isPrivateInstall(appDelegate().environment());
    if (!isPrivate)
        setPreferencesVisible(m_ui->preferences, m_ui->preferencesDivider, false);
    QTimer::singleShot(0, this, &ReleaseCodeResult::fillLabels);
    if (!isPrivate)
        m_closeTimer.start();
}

void ReleaseCodeResult::fillLabels()
{
    // An empty text leaves the resource's instructions in place.
    if (!m_clientConfig.releasecodetext.isEmpty()) {
        m_ui->releaseCodeText->setText(
            DisplayText::truncated(m_clientConfig.releasecodetext, m_config.releasecodetextlength));
    }
    const QString shown = DisplayText::releaseCode(docID.value_or(QString()));
    m_ui->releaseCode->setText(shown);
    // A screen reader says what the code is with the code, as the field
    // takes the focus; the instructions follow as its description.
    m_ui->releaseCode->setAccessibleName(qtTrId("release_code_name").replace(QStringLiteral("{0}"), shown.trimmed()));
    m_ui->releaseCode->setAccessibleDescription(m_ui->releaseCodeText->text());
    m_ui->fileName->setText(DisplayText::documentName(fileNameSegue.value_or(QString())));
}

void ReleaseCodeResult::Close()
{
    appDelegate().terminate();
}

QWidget *ReleaseCodeResult::mainControl() const
{
    return m_ui ? m_ui->releaseCode : nullptr;
}

void ReleaseCodeResult::copyCode()
{
    const QString code = docID.value_or(QString());
    if (code.isEmpty() || !m_ui)
        return;
    QGuiApplication::clipboard()->setText(code);
    // The new text is announced as the button's new name.
    m_ui->copyButton->setText(qtTrId("copied_button"));
    m_copiedTimer.start();
}

void ReleaseCodeResult::locatePrinter()
{
    UrlOpener::open(m_config.locateprinter, appDelegate().environment());
}

} // namespace tavoren::client
