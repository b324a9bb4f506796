#include "installer/app/KYSheet.h"

namespace tavoren::installer {

KYSheet::KYSheet(QWidget *window)
    : QWidget(window, Qt::Sheet | Qt::Dialog)
{
    setWindowModality(Qt::WindowModal);
    hide();
}

void KYSheet::present()
{
    adjustSize();
    show();
    raise();
}

} // namespace tavoren::installer
