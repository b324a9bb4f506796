#include "client/app/ApplicationQuit.h"

#include <QCoreApplication>
#include <QTimer>

namespace tavoren::client {

void ApplicationQuit::terminate()
{
    QTimer::singleShot(0, QCoreApplication::instance(), [] { QCoreApplication::quit(); });
}

} // namespace tavoren::client
