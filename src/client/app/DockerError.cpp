#include "client/app/DockerError.h"

#include "client/app/AppDelegate.h"
#include "client/core/Constants.h"
#include "shared/StringTable.h"
#include "ui_DockerError.h"

#include <array>

namespace tavoren::client {

namespace {
constexpr int boldPointSize = 16;

struct Placeholder
{
    QLatin1String key;
    QLatin1String boldKey;
};

// "{1}" shows the printer's full name and makes its short name bold.
constexpr std::array<Placeholder, 6> placeholders{{
    {QLatin1String("file_print"), QLatin1String("file_print")},
    {QLatin1String("KYR_Tavoren123"), QLatin1String("KYR_Tavoren")},
    {QLatin1String("enter_email_address"), QLatin1String("enter_email_address")},
    {QLatin1String("next"), QLatin1String("next")},
    {QLatin1String("Corvane_Eng_Tavoren123"), QLatin1String("Corvane_Eng_Tavoren123")},
    {QLatin1String("Corvane_Fr_Tavoren123"), QLatin1String("Corvane_Fr_Tavoren123")},
}};
} // namespace

DockerError::DockerError(AppDelegate &appDelegate, QWidget *parent)
    : Screen(appDelegate, parent)
{
}

DockerError::~DockerError() = default;

AttributedText DockerError::instructions(const QString &templateText, const shared::StringTable &strings)
{
    QString text = templateText;
    for (std::size_t i = 0; i < placeholders.size(); ++i)
        text.replace(QStringLiteral("{%1}").arg(i), strings.lookup(placeholders[i].key));
    AttributedText shown(text);
    for (const Placeholder &placeholder : placeholders)
        shown.emboldenFirst(strings.lookup(placeholder.boldKey), boldPointSize);
    return shown;
}

void DockerError::loadView()
{
    m_ui = std::make_unique<Ui::DockerError>();
    m_ui->setupUi(this);
    connect(m_ui->quitButton, &QAbstractButton::clicked, this, &DockerError::quit);
    connectPreferences(m_ui->preferences);
}

void DockerError::viewDidLoad()
{
    if (!Constants::isPrivateInstall(appDelegate().environment())) {
        setPreferencesVisible(m_ui->preferences, m_ui->preferencesDivider, false);
        if (QAction *preferences = appDelegate().Preferences())
            preferences->setVisible(false);
    }
    m_ui->instructions->setText(instructions(m_ui->instructions->text(), *appDelegate().environment().strings).toHtml());
}

void DockerError::quit()
{
    appDelegate().terminate();
}

} // namespace tavoren::client
