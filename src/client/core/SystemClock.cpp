#include "client/core/SystemClock.h"

#include <QDateTime>

namespace tavoren::client {

double SystemClock::now() const
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

} // namespace tavoren::client
