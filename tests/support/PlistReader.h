#pragma once

#include <QByteArray>
#include <QStringList>

namespace tavoren::testsupport {

// Reads property lists with libplist itself, independently of the code
// under test, so tests can check what a program wrote.
class PlistReader
{
public:
    // The root dictionary's Boolean, unsigned and string entries as
    // "key=value", sorted; empty when the bytes are no property list.
    static QStringList entries(const QByteArray &bytes);
};

} // namespace tavoren::testsupport
