#include "installer/app/KYProgressScreen.h"

#include "installer/app/KYSharedImages.h"
#include "ui_KYProgressScreen.h"

namespace tavoren::installer {

KYProgressScreen::KYProgressScreen(QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::KYProgressScreen>())
{
    m_ui->setupUi(this);
}

KYProgressScreen::~KYProgressScreen() = default;

void KYProgressScreen::prepare(const QString &applicationImage)
{
    KYSharedImages::show(m_ui->installationInProgressImageView, applicationImage);
    m_ui->progressInfoLabel->clear();
}

void KYProgressScreen::setHeadline(const QString &text)
{
    m_ui->installProgressViewBoldLabel->setText(text);
}

void KYProgressScreen::setProgress(double value, const QString &phase)
{
    m_ui->installProgressIndicator->setValue(int(value));
    if (!phase.isEmpty())
        m_ui->progressInfoLabel->setText(phase.trimmed());
}

void KYProgressScreen::startBar()
{
    m_ui->installProgressIndicator->setValue(10);
    if (!window()->isMinimized())
        m_ui->installProgressIndicator->repaint();
}

} // namespace tavoren::installer
