#include "client/app/Error.h"

#include "client/app/AppDelegate.h"
#include "client/core/AttributedText.h"
#include "client/core/Constants.h"
#include "client/core/Log.h"
#include "shared/StringTable.h"
#include "ui_Error.h"

#include <QTimer>

namespace tavoren::client {

namespace {
const QString placeholder = QStringLiteral("{0}");
}

Error::Error(AppDelegate &appDelegate, QWidget *parent)
    : Screen(appDelegate, parent)
{
}

Error::~Error() = default;

void Error::loadView()
{
    m_ui = std::make_unique<Ui::Error>();
    m_ui->setupUi(this);
    m_ui->error->setEnvironment(appDelegate().environment());
    connect(m_ui->okButton, &QAbstractButton::clicked, this, &Error::OK);
    connectPreferences(m_ui->preferences);
}

void Error::viewDidLoad()
{
    const shared::StringTable &strings = *appDelegate().environment().strings;
    const QString statusPage = strings.lookup(QStringLiteral("status_page"));
    QString text = errorText.value_or(QString());
    Constants::setStatusPage(text.contains(placeholder));
    text.replace(placeholder, statusPage);
    Log(appDelegate().environment().systemLog, LogLevel::Debug, text, QStringLiteral("<- error message from error screen"));

    AttributedText shown(text);
    shown.setCentred(true);
    if (Constants::isStatusPage())
        shown.colourAndLinkFirst(statusPage, AttributedText::blue);
    const QString html = shown.toHtml();
    const QString linkDescription = strings.lookup(QStringLiteral("status_page_description"));
    QTimer::singleShot(0, this, [this, html, linkDescription] {
        m_ui->error->setText(html);
        m_ui->error->setLinksToStatusPage(Constants::isStatusPage(), linkDescription);
        if (!Constants::isPrivateInstall(appDelegate().environment()))
            setPreferencesVisible(m_ui->preferences, m_ui->preferencesDivider, false);
    });
}

void Error::viewDidAppear()
{
    QTimer::singleShot(0, this, [this] {
        if (!Constants::isPrivateInstall(appDelegate().environment()))
            return;
        if (QAction *preferences = appDelegate().Preferences())
            preferences->setVisible(true);
    });
}

void Error::OK()
{
    appDelegate().terminate();
}

} // namespace tavoren::client
