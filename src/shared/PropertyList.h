#pragma once

#include "shared/PlistNode.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace tavoren::shared {

// A property list whose root is a dictionary, on top of libplist. Reads the
// XML and the binary encodings, writes XML. The getters are strict: a key
// that is absent or holds another type gives no value, never a default.
class PropertyList
{
public:
    // An empty dictionary.
    PropertyList();

    // The root dictionary of XML or binary bytes; nothing when the bytes are
    // damaged or the root is not a dictionary.
    static std::optional<PropertyList> fromBytes(const QByteArray &bytes);

    std::optional<QString> string(const QString &key) const;
    std::optional<std::int64_t> integer(const QString &key) const;
    std::optional<bool> boolean(const QString &key) const;
    QStringList keys() const;

    void setString(const QString &key, const QString &value);
    void setInteger(const QString &key, std::int64_t value);
    void setBoolean(const QString &key, bool value);
    void remove(const QString &key);

    // The XML encoding; empty when libplist fails to produce it.
    QByteArray toXml() const;

private:
    explicit PropertyList(void *root);

    PlistNode m_root;
};

} // namespace tavoren::shared
