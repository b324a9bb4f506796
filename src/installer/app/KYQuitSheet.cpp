#include "installer/app/KYQuitSheet.h"

#include "installer/app/KYSharedImages.h"
#include "shared/StringTable.h"
#include "ui_KYQuitSheet.h"

namespace tavoren::installer {

KYQuitSheet::KYQuitSheet(QWidget *window)
    : KYSheet(window)
    , m_ui(std::make_unique<Ui::KYQuitSheet>())
{
    m_ui->setupUi(this);
    connect(m_ui->quit_App_WarningSheet_OK, &QAbstractButton::clicked, this, &KYQuitSheet::okClicked);
    // OK only closes it: Return and Escape both mean it.
    m_ui->quit_App_WarningSheet_OK->setDefault(true);
    setEscapeButton(m_ui->quit_App_WarningSheet_OK);
}

KYQuitSheet::~KYQuitSheet() = default;

void KYQuitSheet::localize(const shared::StringTable &strings)
{
    m_ui->quit_App_WarningSheet_installerBusyMessage->setText(strings.lookup(QStringLiteral("InstallerBusy")));
    m_ui->quit_App_WarningSheet_windowClosedMessage->setText(strings.lookup(QStringLiteral("WindowClosed")));
    m_ui->quit_App_WarningSheet_OK->setText(strings.lookup(QStringLiteral("OK")));
    KYSharedImages::show(m_ui->quitSheetImageView, QStringLiteral("Alert.png"));
    // What a screen reader announces as the sheet opens.
    const QString warning = strings.lookup(QStringLiteral("Warning"));
    setWindowTitle(warning);
    setAccessibleName(strings.lookup(QStringLiteral("InstallerBusy")));
    setAccessibleDescription(m_ui->quit_App_WarningSheet_windowClosedMessage->text());
    m_ui->quitSheetImageView->setAccessibleName(warning);
}

} // namespace tavoren::installer
