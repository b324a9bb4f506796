#pragma once

#include <QString>
#include <QUrl>
#include <functional>

namespace tavoren::client {

// The one way the client opens addresses (help, privacy, terms, status page,
// printer locator) in the user's default handler. Tests install a handler
// that records what would have been opened.
class UrlOpener
{
public:
    using Handler = std::function<void(const QUrl &)>;

    // Opens the text when it is a valid absolute URL; otherwise opens nothing
    // and returns false.
    static bool open(const QString &text);
    static bool isOpenable(const QString &text);

    // Replaces the default handler (QDesktopServices); an empty one restores it.
    static void setHandler(Handler handler);
};

} // namespace tavoren::client
