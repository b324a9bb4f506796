#include "installer/app/KYAppsBusySheet.h"

#include "shared/StringTable.h"
#include "ui_KYAppsBusySheet.h"

namespace tavoren::installer {

KYAppsBusySheet::KYAppsBusySheet(QWidget *window)
    : KYSheet(window)
    , m_ui(std::make_unique<Ui::KYAppsBusySheet>())
{
    m_ui->setupUi(this);
    connect(m_ui->appsBusyWarningSheet_CancelButton, &QAbstractButton::clicked, this, &KYAppsBusySheet::cancelClicked);
    connect(m_ui->appsBusyWarningSheet_ContinueButton, &QAbstractButton::clicked, this, &QWidget::hide);
    connect(m_ui->feaRunning_ContinueButton, &QAbstractButton::clicked, this, &QWidget::hide);
    m_ui->appsBusyWarningSheet_ContinueButton->setDefault(true);
    setEscapeButton(m_ui->appsBusyWarningSheet_CancelButton);
}

KYAppsBusySheet::~KYAppsBusySheet() = default;

void KYAppsBusySheet::localize(const shared::StringTable &strings)
{
    m_ui->appsBusyWarningSheet_warning->setTitle(strings.lookup(QStringLiteral("Warning")));
    m_ui->appsBusyWarningSheet_closeApplications->setText(strings.lookup(QStringLiteral("CloseApplications")));
    m_ui->appsBusyWarningSheet_CancelButton->setText(strings.lookup(QStringLiteral("Cancel")));
    m_ui->appsBusyWarningSheet_ContinueButton->setText(strings.lookup(QStringLiteral("Continue")));
    m_ui->feaRunning_ContinueButton->setText(strings.lookup(QStringLiteral("Continue")));
    // The second Continue belongs to running applications that cannot be
    // closed; nothing here asks for it.
    m_ui->feaRunning_ContinueButton->setVisible(false);
    const QString warning = strings.lookup(QStringLiteral("Warning"));
    setWindowTitle(warning);
    setAccessibleName(warning);
    setAccessibleDescription(m_ui->appsBusyWarningSheet_closeApplications->text());
}

} // namespace tavoren::installer
