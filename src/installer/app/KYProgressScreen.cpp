#include "installer/app/KYProgressScreen.h"

#include "installer/app/KYSharedImages.h"
#include "shared/StringTable.h"
#include "shared/widgets/FocusMark.h"
#include "ui_KYProgressScreen.h"

namespace tavoren::installer {

KYProgressScreen::KYProgressScreen(QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::KYProgressScreen>())
{
    m_ui->setupUi(this);
    // Nothing else on this screen can hold the focus; the style draws no
    // focus mark on a bar, so a frame says where it is.
    m_ui->installProgressIndicator->setFocusPolicy(Qt::TabFocus);
    m_ui->installProgressIndicator->setStyleSheet(
        QStringLiteral("QProgressBar:focus { border: 2px solid %1; border-radius: 3px; }").arg(shared::FocusMark::colour().name()));
}

void KYProgressScreen::localize(const shared::StringTable &strings)
{
    m_ui->installProgressIndicator->setAccessibleName(strings.lookup(QStringLiteral("AccessibleProgress")));
    m_ui->installationInProgressImageView->setAccessibleName(strings.lookup(QStringLiteral("AccessibleProduct")));
}

QWidget *KYProgressScreen::mainControl() const
{
    return m_ui->installProgressIndicator;
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
    // Which step the bar counts (removal or installation).
    m_ui->installProgressIndicator->setAccessibleDescription(text);
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
