#include "client/app/DesktopUrlHandler.h"

#include <QDesktopServices>
#include <QUrl>

namespace tavoren::client {

void DesktopUrlHandler::open(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}

} // namespace tavoren::client
