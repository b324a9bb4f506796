#include "installer/core/KYNotificationCenter.h"

namespace tavoren::installer {

KYNotificationCenter &KYNotificationCenter::defaultCenter()
{
    static KYNotificationCenter center;
    return center;
}

void KYNotificationCenter::post(const QString &name)
{
    emit posted(name);
}

} // namespace tavoren::installer
