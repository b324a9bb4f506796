#include "support/PlistWriter.h"

namespace tavoren::testsupport {

namespace {
QByteArray escaped(const QString &text)
{
    return text.toHtmlEscaped().toUtf8();
}

void appendBigEndian(QByteArray &out, quint64 value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out += char((value >> (8 * i)) & 0xFF);
}

// A marker with its count in the low nibble, or 0xF and an integer object.
QByteArray marker(quint8 type, qsizetype count)
{
    QByteArray out;
    if (count < 15) {
        out += char(type | quint8(count));
    } else {
        out += char(type | 0x0F);
        out += char(0x13);
        appendBigEndian(out, quint64(count), 8);
    }
    return out;
}

QByteArray binaryString(const QString &text)
{
    bool ascii = true;
    for (QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii)
        return marker(0x50, text.size()) + text.toLatin1();
    QByteArray out = marker(0x60, text.size());
    for (QChar c : text)
        appendBigEndian(out, c.unicode(), 2);
    return out;
}
} // namespace

QByteArray PlistWriter::xml(const QVariantMap &entries)
{
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                     "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                     "<plist version=\"1.0\">\n<dict>\n";
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        out += "\t<key>" + escaped(it.key()) + "</key>\n";
        const QVariant &value = it.value();
        switch (value.typeId()) {
        case QMetaType::Bool:
            out += value.toBool() ? "\t<true/>\n" : "\t<false/>\n";
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
            out += "\t<integer>" + QByteArray::number(value.toLongLong()) + "</integer>\n";
            break;
        default:
            out += "\t<string>" + escaped(value.toString()) + "</string>\n";
            break;
        }
    }
    out += "</dict>\n</plist>\n";
    return out;
}

QByteArray PlistWriter::binary(const QVariantMap &entries)
{
    // Object 0 is the dictionary, then its keys, then its values.
    const qsizetype count = entries.size();
    QList<QByteArray> objects;
    QByteArray dict = marker(0xD0, count);
    for (qsizetype i = 0; i < 2 * count; ++i)
        appendBigEndian(dict, quint64(i + 1), 2);
    objects.append(dict);
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        objects.append(binaryString(it.key()));
    for (const QVariant &value : entries) {
        QByteArray object;
        switch (value.typeId()) {
        case QMetaType::Bool:
            object += char(value.toBool() ? 0x09 : 0x08);
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
            object += char(0x13);
            appendBigEndian(object, quint64(value.toLongLong()), 8);
            break;
        default:
            object = binaryString(value.toString());
            break;
        }
        objects.append(object);
    }

    QByteArray out = "bplist00";
    QList<quint64> offsets;
    for (const QByteArray &object : objects) {
        offsets.append(quint64(out.size()));
        out += object;
    }
    const quint64 tableOffset = quint64(out.size());
    for (quint64 offset : offsets)
        appendBigEndian(out, offset, 4);
    out += QByteArray(6, '\0');
    out += char(4); // offset size
    out += char(2); // object reference size
    appendBigEndian(out, quint64(objects.size()), 8);
    appendBigEndian(out, 0, 8);
    appendBigEndian(out, tableOffset, 8);
    return out;
}

QVariantMap PlistWriter::adminDefaults()
{
    return {
        {QStringLiteral("IsPrivateInstall"), true},
        {QStringLiteral("host"), QStringLiteral("127.0.0.1")},
        {QStringLiteral("emailto"), QStringLiteral("print@service.test")},
        {QStringLiteral("secure_connect"), 0},
        {QStringLiteral("filesizelimitinmb"), 70},
        {QStringLiteral("createdrntimeout"), 180},
        {QStringLiteral("getdrntimeout"), 180},
        {QStringLiteral("getservertimeout"), 30},
        {QStringLiteral("conversiontimeout"), 180},
        {QStringLiteral("privacypolicy"), QStringLiteral("https://legal.test/legal/privacy/")},
        {QStringLiteral("termsofuse"), QStringLiteral("https://legal.test/legal/terms-of-use/")},
        {QStringLiteral("drnpollingtimeinsecond"), 0},
        {QStringLiteral("releasecodetextlength"), 180},
        {QStringLiteral("emailentrytextlength"), 360},
        {QStringLiteral("documentnamelength"), 30},
        {QStringLiteral("locateprinter"), QString()},
        {QStringLiteral("statuspageurl"), QStringLiteral("status.test")},
        {QStringLiteral("helpurl"), QStringLiteral("https://help.test/faq")},
    };
}

QVariantMap PlistWriter::clientDefaults()
{
    return {
        {QStringLiteral("owneremail"), QString()},
        {QStringLiteral("tavorenlogobig"), QString()},
        {QStringLiteral("tavorenlogosmall"), QString()},
        {QStringLiteral("releasecodetext"), QString()},
        {QStringLiteral("emailentrytext"), QString()},
        {QStringLiteral("applicationicon"), QString()},
    };
}

} // namespace tavoren::testsupport
