#include "installer/core/KYNotificationCenter.h"

namespace tavoren::installer {

void KYNotificationCenter::post(const QString &name)
{
    emit posted(name);
}

} // namespace tavoren::installer
