#include "support/PlistWriter.h"

namespace tavoren::testsupport {

namespace {
QByteArray escaped(const QString &text)
{
    return text.toHtmlEscaped().toUtf8();
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
