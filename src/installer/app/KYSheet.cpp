#include "installer/app/KYSheet.h"

#include <QAbstractButton>

namespace tavoren::installer {

KYSheet::KYSheet(QWidget *window)
    : QDialog(window, Qt::Sheet | Qt::Dialog)
{
    setWindowModality(Qt::WindowModal);
    hide();
}

void KYSheet::present()
{
    adjustSize();
    show();
    raise();
    activateWindow();
}

void KYSheet::setEscapeButton(QAbstractButton *button)
{
    m_escapeButton = button;
}

void KYSheet::reject()
{
    // The button's own action runs, so Escape does what its click does.
    if (m_escapeButton && m_escapeButton->isVisible() && m_escapeButton->isEnabled()) {
        m_escapeButton->click();
        // Its handler hides the sheet; none left it open on purpose.
        if (!isVisible())
            return;
    }
    QDialog::reject();
}

} // namespace tavoren::installer
