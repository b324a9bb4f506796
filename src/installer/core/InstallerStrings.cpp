#include "installer/core/InstallerStrings.h"

#include <QLocale>

namespace tavoren::installer {

InstallerStrings::InstallerStrings(const QString &resourceFolder)
{
    m_loaded = m_translator.load(QLocale(), QStringLiteral("Installer"), QStringLiteral("_"), resourceFolder)
               || m_translator.load(QStringLiteral("Installer_en"), resourceFolder);
}

QString InstallerStrings::lookup(const QString &key) const
{
    const QString text = m_translator.translate("", key.toUtf8().constData());
    return text.isEmpty() ? key : text;
}

} // namespace tavoren::installer
