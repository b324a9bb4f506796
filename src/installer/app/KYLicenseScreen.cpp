#include "installer/app/KYLicenseScreen.h"

#include "shared/StringTable.h"
#include "ui_KYLicenseScreen.h"

#include <QFile>
#include <QLocale>

namespace tavoren::installer {

KYLicenseScreen::KYLicenseScreen(QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::KYLicenseScreen>())
{
    m_ui->setupUi(this);
    // Tab leaves the text for the buttons instead of stopping inside.
    m_ui->licenseTextView->setTabChangesFocus(true);
}

KYLicenseScreen::~KYLicenseScreen() = default;

void KYLicenseScreen::localize(const shared::StringTable &strings)
{
    m_ui->licenseAgrement->setText(strings.lookup(QStringLiteral("License")));
    m_ui->licenseTextView->setAccessibleName(m_ui->licenseAgrement->text());
    m_ui->licenseAgrement->setBuddy(m_ui->licenseTextView);
}

QWidget *KYLicenseScreen::mainControl() const
{
    return m_ui->licenseTextView;
}

void KYLicenseScreen::clear()
{
    m_ui->licenseTextView->clear();
}

void KYLicenseScreen::showLicenseText()
{
    // The licence is HTML, in the user's language when there is one.
    const QString language = QLocale().name().section(QLatin1Char('_'), 0, 0);
    QFile file(QStringLiteral(":/License/License_") + language + QStringLiteral(".html"));
    if (!file.exists())
        file.setFileName(QStringLiteral(":/License/License.html"));
    if (!file.open(QIODevice::ReadOnly)) {
        m_ui->licenseTextView->setPlainText(QStringLiteral("License file missing!"));
        return;
    }
    m_ui->licenseTextView->setHtml(QString::fromUtf8(file.readAll()));
}

} // namespace tavoren::installer
