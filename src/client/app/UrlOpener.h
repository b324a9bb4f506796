#pragma once

#include <QString>

namespace tavoren::client {

struct ClientEnvironment;

// The one way the client opens addresses (help, privacy, terms, status page,
// printer locator): through the environment's URL handler.
class UrlOpener
{
public:
    // Opens the text when it is a valid absolute URL; otherwise opens nothing
    // and returns false.
    static bool open(const QString &text, const ClientEnvironment &environment);
    static bool isOpenable(const QString &text);
};

} // namespace tavoren::client
