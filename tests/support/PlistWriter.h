#pragma once

#include <QByteArray>
#include <QVariantMap>

namespace tavoren::testsupport {

// Writes XML property lists by hand, independently of the code under test,
// so tests can lay out configuration files (also damaged or partial ones).
class PlistWriter
{
public:
    // A root dictionary of strings, integers (qint64/int) and Booleans.
    static QByteArray xml(const QVariantMap &entries);
    // The same dictionary in the binary encoding ("bplist00").
    static QByteArray binary(const QVariantMap &entries);
    // A complete administrator file, with overrides applied on top.
    static QVariantMap adminDefaults();
    static QVariantMap clientDefaults();
};

} // namespace tavoren::testsupport
