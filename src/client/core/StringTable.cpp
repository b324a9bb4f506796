#include "client/core/StringTable.h"

#include <QLocale>

namespace tavoren::client {

StringTable::StringTable(const QString &folder)
{
    m_loaded = m_translator.load(QLocale(), QStringLiteral("Main"), QStringLiteral("_"), folder)
        || m_translator.load(QStringLiteral("Main_en"), folder);
}

QString StringTable::lookup(const QString &key) const
{
    const QString text = m_translator.translate("", key.toUtf8().constData());
    return text.isEmpty() ? QStringLiteral("**") + key + QStringLiteral("**") : text;
}

} // namespace tavoren::client
