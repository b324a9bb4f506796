#include "package-installer/PackageInfo.h"

#include "package-installer/PayloadPath.h"

#include <QByteArray>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace tavoren::packageinstaller {

namespace {
std::string attribute(const QXmlStreamAttributes &attributes, const char *name)
{
    return attributes.value(QLatin1String(name)).toString().toStdString();
}

bool readCount(const QXmlStreamAttributes &attributes, const char *name, std::uint64_t &value)
{
    if (!attributes.hasAttribute(QLatin1String(name)))
        return true;
    bool ok = false;
    value = attributes.value(QLatin1String(name)).toULongLong(&ok);
    return ok;
}

shared::Error unreadable(std::string reason)
{
    return shared::Error::because("read", "PackageInfo", std::move(reason));
}
} // namespace

bool PackageInfo::isUsableIdentifier(std::string_view identifier)
{
    if (identifier.empty() || identifier.size() > 200 || identifier.front() == '.')
        return false;
    for (const char c : identifier) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !digit && c != '.' && c != '-' && c != '_')
            return false;
    }
    return true;
}

shared::Expected<PackageInfo> PackageInfo::fromXml(std::string_view xml)
{
    QXmlStreamReader reader(QByteArray(xml.data(), qsizetype(xml.size())));
    PackageInfo info;
    info.installLocation.clear();
    info.formatVersion.clear();
    info.auth.clear();
    const auto malformed = [&reader] {
        std::string text = reader.errorString().toStdString();
        while (!text.empty() && text.back() == '.')
            text.pop_back();
        return unreadable("its PackageInfo is not well-formed XML (line " + std::to_string(reader.lineNumber()) + ": " + text + ")");
    };
    if (!reader.readNextStartElement())
        return reader.hasError() ? malformed() : unreadable("its PackageInfo has no pkg-info element");
    if (reader.name() != QLatin1String("pkg-info"))
        return unreadable("its PackageInfo has no pkg-info element");
    const QXmlStreamAttributes attributes = reader.attributes();
    info.identifier = attribute(attributes, "identifier");
    info.version = attribute(attributes, "version");
    info.installLocation = attribute(attributes, "install-location");
    info.formatVersion = attribute(attributes, "format-version");
    info.auth = attribute(attributes, "auth");
    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("payload")) {
            if (!readCount(reader.attributes(), "numberOfFiles", info.numberOfFiles)
                || !readCount(reader.attributes(), "installKBytes", info.installKBytes))
                return unreadable("its PackageInfo has a payload size that is not a number");
            reader.skipCurrentElement();
        } else if (reader.name() == QLatin1String("scripts")) {
            while (reader.readNextStartElement()) {
                if (reader.name() == QLatin1String("preinstall"))
                    info.preinstall = attribute(reader.attributes(), "file");
                else if (reader.name() == QLatin1String("postinstall"))
                    info.postinstall = attribute(reader.attributes(), "file");
                reader.skipCurrentElement();
            }
        } else {
            reader.skipCurrentElement();
        }
    }
    // What follows the root element must be well-formed as well.
    while (!reader.atEnd() && !reader.hasError())
        reader.readNext();
    if (reader.hasError())
        return malformed();
    if (info.identifier.empty() || info.version.empty())
        return unreadable("its PackageInfo names no identifier or no version");
    if (PayloadPath::hasControlCharacter(info.identifier) || PayloadPath::hasControlCharacter(info.version))
        return unreadable("its PackageInfo has a control character in the identifier or version");
    if (!info.formatVersion.empty() && info.formatVersion != "2")
        return unreadable("its PackageInfo has format version " + PayloadPath::shown(info.formatVersion) + ", not 2");
    if (info.installLocation.empty())
        info.installLocation = "/";
    return info;
}

std::string PackageInfo::toXml() const
{
    QByteArray bytes;
    QXmlStreamWriter writer(&bytes);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("pkg-info"));
    const auto put = [&writer](const char *name, const std::string &value) {
        if (!value.empty())
            writer.writeAttribute(QLatin1String(name), QString::fromStdString(value));
    };
    put("format-version", formatVersion);
    put("identifier", identifier);
    put("version", version);
    put("install-location", installLocation);
    put("auth", auth);
    writer.writeStartElement(QStringLiteral("payload"));
    writer.writeAttribute(QStringLiteral("numberOfFiles"), QString::number(numberOfFiles));
    writer.writeAttribute(QStringLiteral("installKBytes"), QString::number(installKBytes));
    writer.writeEndElement();
    if (!preinstall.empty() || !postinstall.empty()) {
        writer.writeStartElement(QStringLiteral("scripts"));
        if (!preinstall.empty()) {
            writer.writeStartElement(QStringLiteral("preinstall"));
            writer.writeAttribute(QStringLiteral("file"), QString::fromStdString(preinstall));
            writer.writeEndElement();
        }
        if (!postinstall.empty()) {
            writer.writeStartElement(QStringLiteral("postinstall"));
            writer.writeAttribute(QStringLiteral("file"), QString::fromStdString(postinstall));
            writer.writeEndElement();
        }
        writer.writeEndElement();
    }
    writer.writeEndElement();
    writer.writeEndDocument();
    return bytes.toStdString();
}

} // namespace tavoren::packageinstaller
