#include "installer/app/KYWarningSheet.h"

#include "installer/app/KYSharedImages.h"
#include "shared/StringTable.h"
#include "ui_KYWarningSheet.h"

namespace tavoren::installer {

KYWarningSheet::KYWarningSheet(QWidget *window)
    : KYSheet(window)
    , m_ui(std::make_unique<Ui::KYWarningSheet>())
{
    m_ui->setupUi(this);
    connect(m_ui->warningSheetOKButton, &QAbstractButton::clicked, this, &KYWarningSheet::okClicked);
    connect(m_ui->warningSheetCancelButton, &QAbstractButton::clicked, this, &KYWarningSheet::cancelClicked);
    m_ui->warningSheetOKButton->setDefault(true);
    setEscapeButton(m_ui->warningSheetCancelButton);
}

KYWarningSheet::~KYWarningSheet() = default;

void KYWarningSheet::localize(const shared::StringTable &strings)
{
    m_ui->warningSheetTextView->setText(strings.lookup(QStringLiteral("InstallWarning")));
    m_ui->warningSheetOKButton->setText(strings.lookup(QStringLiteral("OK")));
    m_ui->warningSheetCancelButton->setText(strings.lookup(QStringLiteral("Cancel")));
    KYSharedImages::show(m_ui->warningSheetImageView, QStringLiteral("Alert.png"));
    const QString warning = strings.lookup(QStringLiteral("Warning"));
    setWindowTitle(warning);
    setAccessibleName(warning);
    setAccessibleDescription(m_ui->warningSheetTextView->text());
    m_ui->warningSheetImageView->setAccessibleName(warning);
}

void KYWarningSheet::resetTextColour()
{
    m_ui->warningSheetTextView->setStyleSheet(QStringLiteral("color: black;"));
}

} // namespace tavoren::installer
