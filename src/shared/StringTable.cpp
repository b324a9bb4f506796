#include "shared/StringTable.h"

#include <QLocale>

namespace tavoren::shared {

StringTable::StringTable(const QString &resourceFolder, const QString &table, Missing missing)
    : m_missing(missing)
{
    // Without either, every lookup reads as `missing` says.
    if (!m_translator.load(QLocale(), table, QStringLiteral("_"), resourceFolder))
        (void)m_translator.load(table + QStringLiteral("_en"), resourceFolder);
}

QString StringTable::lookup(const QString &key) const
{
    const QString text = m_translator.translate("", key.toUtf8().constData());
    if (!text.isEmpty())
        return text;
    return m_missing == Missing::MarkedKey ? QStringLiteral("**") + key + QStringLiteral("**") : key;
}

} // namespace tavoren::shared
