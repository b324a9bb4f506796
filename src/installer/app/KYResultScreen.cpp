#include "installer/app/KYResultScreen.h"

#include "installer/app/KYSharedImages.h"
#include "shared/StringTable.h"
#include "ui_KYResultScreen.h"

namespace tavoren::installer {

KYResultScreen::KYResultScreen(QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::KYResultScreen>())
{
    m_ui->setupUi(this);
}

KYResultScreen::~KYResultScreen() = default;

void KYResultScreen::showResult(bool installFailed, const shared::StringTable &strings)
{
    m_ui->installationResultLabel->setText(
        strings.lookup(installFailed ? QStringLiteral("InstallFailed") : QStringLiteral("InstallSuccessful")));
    m_ui->installationSubResultLabel->setText(strings.lookup(installFailed ? QStringLiteral("InstallFailedSubResult")
                                                                            : QStringLiteral("InstallSuccessfulSubResult")));
    KYSharedImages::show(m_ui->installationResultImageView,
                         installFailed ? QStringLiteral("Alert.png") : QStringLiteral("Success.png"));
    // The picture says what the headline says.
    m_ui->installationResultImageView->setAccessibleName(m_ui->installationResultLabel->text());
}

} // namespace tavoren::installer
