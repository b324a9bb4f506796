#include "installer/app/KYPublicPrivateScreen.h"

#include "shared/StringTable.h"
#include "ui_KYPublicPrivateScreen.h"

#include <QButtonGroup>
#include <QEvent>

namespace tavoren::installer {

KYPublicPrivateScreen::KYPublicPrivateScreen(QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::KYPublicPrivateScreen>())
{
    m_ui->setupUi(this);
    // One answer, never none nor both: an exclusive group refuses to
    // untick the ticked button.
    m_choice = new QButtonGroup(this);
    m_choice->setExclusive(true);
    m_choice->addButton(m_ui->publicCheckBoxButton);
    m_choice->addButton(m_ui->privateCheckBoxButton);
    m_ui->publicMessage->setBuddy(m_ui->publicCheckBoxButton);
    m_ui->privateMessage->setBuddy(m_ui->privateCheckBoxButton);
    connect(m_ui->publicCheckBoxButton, &QAbstractButton::clicked, this, &KYPublicPrivateScreen::publicClicked);
    connect(m_ui->privateCheckBoxButton, &QAbstractButton::clicked, this, &KYPublicPrivateScreen::privateClicked);
    m_ui->publicMessage->installEventFilter(this);
    m_ui->privateMessage->installEventFilter(this);
    // Private unless the user says otherwise, as the flag starts.
    m_ui->privateCheckBoxButton->setChecked(true);
    connect(m_ui->privateCheckBoxButton, &QAbstractButton::toggled, this, &KYPublicPrivateScreen::choiceChanged);
}

KYPublicPrivateScreen::~KYPublicPrivateScreen() = default;

void KYPublicPrivateScreen::localize(const shared::StringTable &strings)
{
    m_ui->publicMessage->setText(strings.lookup(QStringLiteral("PublicComputer")));
    m_ui->privateMessage->setText(strings.lookup(QStringLiteral("PrivateComputer")));
    m_ui->saveComputerSettingsMessage->setText(strings.lookup(QStringLiteral("SaveComputerSettings")));
    // The buttons carry no text of their own: their names are the choices'.
    m_ui->publicCheckBoxButton->setAccessibleName(m_ui->publicMessage->text());
    m_ui->privateCheckBoxButton->setAccessibleName(m_ui->privateMessage->text());
    for (QWidget *button : {static_cast<QWidget *>(m_ui->publicCheckBoxButton), static_cast<QWidget *>(m_ui->privateCheckBoxButton)})
        button->setAccessibleDescription(m_ui->saveComputerSettingsMessage->text());
}

bool KYPublicPrivateScreen::isPrivateChosen() const
{
    return m_ui->privateCheckBoxButton->isChecked();
}

QWidget *KYPublicPrivateScreen::chosenButton() const
{
    return isPrivateChosen() ? static_cast<QWidget *>(m_ui->privateCheckBoxButton) : m_ui->publicCheckBoxButton;
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
