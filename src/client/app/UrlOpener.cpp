#include "client/app/UrlOpener.h"

#include "client/core/ClientEnvironment.h"
#include "client/core/UrlHandler.h"

#include <QUrl>

namespace tavoren::client {

bool UrlOpener::isOpenable(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty() && !url.isRelative()
        && (url.scheme() == QLatin1String("mailto") || !url.host().isEmpty() || url.isLocalFile());
}

bool UrlOpener::open(const QString &text, const ClientEnvironment &environment)
{
    if (!isOpenable(text))
        return false;
    if (environment.urlHandler)
        environment.urlHandler->open(QUrl(text, QUrl::StrictMode));
    return true;
}

} // namespace tavoren::client
