#include "installer/app/KYPublicPrivateScreen.h"

#include "installer/core/InstallerStrings.h"
#include "ui_KYPublicPrivateScreen.h"

#include <QEvent>

namespace tavoren::installer {

KYPublicPrivateScreen::KYPublicPrivateScreen(QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::KYPublicPrivateScreen>())
{
    m_ui->setupUi(this);
    connect(m_ui->publicCheckBoxButton, &QAbstractButton::clicked, this, &KYPublicPrivateScreen::publicClicked);
    connect(m_ui->privateCheckBoxButton, &QAbstractButton::clicked, this, &KYPublicPrivateScreen::privateClicked);
    m_ui->publicMessage->installEventFilter(this);
    m_ui->privateMessage->installEventFilter(this);
    // Private unless the user says otherwise, as the flag starts.
    m_ui->privateCheckBoxButton->setChecked(true);
}

KYPublicPrivateScreen::~KYPublicPrivateScreen() = default;

void KYPublicPrivateScreen::localize(const InstallerStrings &strings)
{
    m_ui->publicMessage->setText(strings.lookup(QStringLiteral("PublicComputer")));
    m_ui->privateMessage->setText(strings.lookup(QStringLiteral("PrivateComputer")));
    m_ui->saveComputerSettingsMessage->setText(strings.lookup(QStringLiteral("SaveComputerSettings")));
}

bool KYPublicPrivateScreen::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        QAbstractButton *box = watched == m_ui->publicMessage    ? static_cast<QAbstractButton *>(m_ui->publicCheckBoxButton)
                               : watched == m_ui->privateMessage ? static_cast<QAbstractButton *>(m_ui->privateCheckBoxButton)
                                                                 : nullptr;
        if (box && box->isEnabled()) {
            box->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tavoren::installer
