#include "support/PlistReader.h"

#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>

namespace tavoren::testsupport {

QStringList PlistReader::entries(const QByteArray &bytes)
{
    plist_t root = nullptr;
    plist_from_memory(bytes.constData(), std::uint32_t(bytes.size()), &root);
    QStringList result;
    if (!root)
        return result;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(root, &it);
    for (;;) {
        char *key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(root, it, &key, &value);
        if (!key)
            break;
        QString text;
        if (plist_get_node_type(value) == PLIST_BOOLEAN) {
            std::uint8_t flag = 0;
            plist_get_bool_val(value, &flag);
            text = flag ? QStringLiteral("true") : QStringLiteral("false");
        } else if (plist_get_node_type(value) == PLIST_UINT) {
            std::uint64_t number = 0;
            plist_get_uint_val(value, &number);
            text = QString::number(number);
        } else if (plist_get_node_type(value) == PLIST_STRING) {
            char *string = nullptr;
            plist_get_string_val(value, &string);
            text = QString::fromUtf8(string);
            std::free(string);
        }
        result << QString::fromUtf8(key) + QLatin1Char('=') + text;
        std::free(key);
    }
    std::free(it);
    plist_free(root);
    result.sort();
    return result;
}

} // namespace tavoren::testsupport
