#pragma once

#include <QString>
#include <QTranslator>

namespace tavoren::installer {

// The installer's localisation table "Installer" in the user's language,
// from the translations in the bundle's resource folder. A key without an
// entry reads as the key itself.
class InstallerStrings
{
public:
    // `resourceFolder` is the bundle's "Contents/Resources".
    explicit InstallerStrings(const QString &resourceFolder);
    QString lookup(const QString &key) const;
    bool isLoaded() const { return m_loaded; }
    // For installing in the application, so the window's resource texts
    // (ids) are looked up in it too.
    QTranslator *translator() { return &m_translator; }

private:
    QTranslator m_translator;
    bool m_loaded = false;
};

} // namespace tavoren::installer
