#pragma once

#include <QString>
#include <cstdint>

namespace tavoren::client {

// How the screens show texts: lengths count user-perceived characters, so a
// letter with its combining marks or an emoji sequence is never cut apart.
class DisplayText
{
public:
    // The number of user-perceived characters of the text.
    static qsizetype length(const QString &text);
    // The first `limit` user-perceived characters; a negative limit keeps none.
    static QString truncated(const QString &text, std::int64_t limit);
    // A release code in two parts with one blank between: ABCD EFGH. The
    // first part takes the extra character of an odd length.
    static QString releaseCode(const QString &docID);
    // A document name of at most 30 characters whole, a longer one as its
    // first 11 characters, "..." and its last 16.
    static QString documentName(const QString &name);
};

} // namespace tavoren::client
