#pragma once

#include <QString>
#include <QTranslator>

namespace tavoren::client {

// The client's "Main" strings table in the user's language, from the
// translations in the resource folder given. A missing entry reads "**key**".
class StringTable
{
public:
    explicit StringTable(const QString &resourceFolder);
    QString lookup(const QString &key) const;
    // Whether a table for the user's language (or English) was found.
    bool isLoaded() const { return m_loaded; }
    // The table for installing in the application, so that the texts of the
    // screens' resources are looked up in it too.
    QTranslator *translator() { return &m_translator; }

private:
    QTranslator m_translator;
    bool m_loaded = false;
};

} // namespace tavoren::client
