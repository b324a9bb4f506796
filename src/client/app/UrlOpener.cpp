#include "client/app/UrlOpener.h"

#include <QDesktopServices>

namespace tavoren::client {

namespace {
UrlOpener::Handler &handler()
{
    static UrlOpener::Handler instance;
    return instance;
}
} // namespace

bool UrlOpener::isOpenable(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty() && !url.isRelative()
        && (url.scheme() == QLatin1String("mailto") || !url.host().isEmpty() || url.isLocalFile());
}

bool UrlOpener::open(const QString &text)
{
    if (!isOpenable(text))
        return false;
    const QUrl url(text, QUrl::StrictMode);
    if (handler())
        handler()(url);
    else
        QDesktopServices::openUrl(url);
    return true;
}

void UrlOpener::setHandler(Handler handler_)
{
    handler() = std::move(handler_);
}

} // namespace tavoren::client
