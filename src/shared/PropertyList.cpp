#include "shared/PropertyList.h"

#include "shared/PlistDepth.h"

#include <plist/plist.h>

#include <cstdlib>
#include <limits>

namespace tavoren::shared {

namespace {

plist_t node(void *root)
{
    return static_cast<plist_t>(root);
}

plist_t item(void *root, const QString &key)
{
    if (!root)
        return nullptr;
    return plist_dict_get_item(node(root), key.toUtf8().constData());
}

} // namespace

PropertyList::PropertyList()
    : m_root(plist_new_dict())
{
}

PropertyList::PropertyList(void *root)
    : m_root(root)
{
}

std::optional<PropertyList> PropertyList::fromBytes(const QByteArray &bytes)
{
    // libplist takes 32-bit lengths and reads past nothing when given none.
    if (bytes.isEmpty() || bytes.size() > qsizetype(std::numeric_limits<std::uint32_t>::max()))
        return std::nullopt;
    if (!PlistDepth::within(std::string_view(bytes.constData(), std::size_t(bytes.size()))))
        return std::nullopt;
    plist_t root = nullptr;
    plist_from_memory(bytes.constData(), std::uint32_t(bytes.size()), &root);
    if (!root)
        return std::nullopt;
    if (plist_get_node_type(root) != PLIST_DICT) {
        plist_free(root);
        return std::nullopt;
    }
    return PropertyList(root);
}

std::optional<QString> PropertyList::string(const QString &key) const
{
    plist_t value = item(m_root.get(), key);
    if (!value || plist_get_node_type(value) != PLIST_STRING)
        return std::nullopt;
    char *text = nullptr;
    plist_get_string_val(value, &text);
    if (!text)
        return std::nullopt;
    QString result = QString::fromUtf8(text);
    std::free(text);
    return result;
}

std::optional<std::int64_t> PropertyList::integer(const QString &key) const
{
    plist_t value = item(m_root.get(), key);
    if (!value || plist_get_node_type(value) != PLIST_UINT)
        return std::nullopt;
    std::uint64_t raw = 0;
    plist_get_uint_val(value, &raw);
    // libplist keeps negative integers as their two's complement.
    return static_cast<std::int64_t>(raw);
}

std::optional<bool> PropertyList::boolean(const QString &key) const
{
    plist_t value = item(m_root.get(), key);
    if (!value || plist_get_node_type(value) != PLIST_BOOLEAN)
        return std::nullopt;
    std::uint8_t raw = 0;
    plist_get_bool_val(value, &raw);
    return raw != 0;
}

QStringList PropertyList::keys() const
{
    QStringList result;
    if (!m_root)
        return result;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(node(m_root.get()), &it);
    if (!it)
        return result;
    for (;;) {
        char *key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node(m_root.get()), it, &key, &value);
        if (!key)
            break;
        result.append(QString::fromUtf8(key));
        std::free(key);
    }
    std::free(it);
    return result;
}

void PropertyList::setString(const QString &key, const QString &value)
{
    if (m_root)
        plist_dict_set_item(node(m_root.get()), key.toUtf8().constData(),
                            plist_new_string(value.toUtf8().constData()));
}

void PropertyList::setInteger(const QString &key, std::int64_t value)
{
    if (m_root)
        plist_dict_set_item(node(m_root.get()), key.toUtf8().constData(),
                            plist_new_uint(static_cast<std::uint64_t>(value)));
}

void PropertyList::remove(const QString &key)
{
    if (m_root)
        plist_dict_remove_item(node(m_root.get()), key.toUtf8().constData());
}

void PropertyList::setBoolean(const QString &key, bool value)
{
    if (m_root)
        plist_dict_set_item(node(m_root.get()), key.toUtf8().constData(), plist_new_bool(value ? 1 : 0));
}

QByteArray PropertyList::toXml() const
{
    if (!m_root)
        return {};
    char *xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(node(m_root.get()), &xml, &length);
    if (!xml)
        return {};
    QByteArray result(xml, qsizetype(length));
    plist_to_xml_free(xml);
    return result;
}

} // namespace tavoren::shared
