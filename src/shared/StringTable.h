#pragma once

#include <QString>
#include <QTranslator>

namespace tavoren::shared {

// A program's localisation table ("Main", "Installer") in the user's
// language, English when there is none for it, from the translations in a
// resource folder. Loaded once per program and handed to whoever shows text.
class StringTable
{
public:
    // What a key without an entry reads as.
    enum class Missing {
        Key,       // the key itself
        MarkedKey, // "**key**", so a forgotten entry shows on screen
    };

    StringTable(const QString &resourceFolder, const QString &table, Missing missing);
    StringTable(const StringTable &) = delete;
    StringTable &operator=(const StringTable &) = delete;

    QString lookup(const QString &key) const;
    // For installing in the application, so that the texts of the windows'
    // resources are looked up in it too.
    QTranslator *translator() { return &m_translator; }

private:
    QTranslator m_translator;
    Missing m_missing;
};

} // namespace tavoren::shared
