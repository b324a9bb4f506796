#pragma once

#include <QString>

namespace tavoren::client {

// The form an owner address must have: the whole text, nothing trimmed.
class EmailAddress
{
public:
    static bool isValid(const QString &text);
    // The settings screen also accepts an empty text: it clears the address.
    static bool isAcceptable(const QString &text) { return text.isEmpty() || isValid(text); }
};

} // namespace tavoren::client
