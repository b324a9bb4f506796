#include "client/core/ConfigFiles.h"

#include "client/core/Log.h"
#include "client/core/ResourceFolder.h"
#include "shared/BoundedFile.h"
#include "shared/PropertyList.h"
#include "shared/SystemLog.h"
#include "shared/SystemPath.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <mutex>
#include <optional>

namespace tavoren::client {

namespace {

// Configuration files are a few kilobytes; anything far larger is not ours
// and is not read into memory.
constexpr qint64 maxFileSize = 1024 * 1024;

struct StringField
{
    QLatin1String key;
    QString Config::*member;
};

// In the order of the record, which is also the order written.
const StringField clientFields[] = {
    {QLatin1String("owneremail"), &Config::owneremail},
    {QLatin1String("tavorenlogobig"), &Config::tavorenlogobig},
    {QLatin1String("tavorenlogosmall"), &Config::tavorenlogosmall},
    {QLatin1String("releasecodetext"), &Config::releasecodetext},
    {QLatin1String("emailentrytext"), &Config::emailentrytext},
    {QLatin1String("applicationicon"), &Config::applicationicon},
};

struct AdminStringField
{
    QLatin1String key;
    QString AdminConfig::*member;
};

struct AdminIntegerField
{
    QLatin1String key;
    std::int64_t AdminConfig::*member;
};

const AdminStringField adminStringFields[] = {
    {QLatin1String("host"), &AdminConfig::host},
    {QLatin1String("emailto"), &AdminConfig::emailto},
    {QLatin1String("privacypolicy"), &AdminConfig::privacypolicy},
    {QLatin1String("termsofuse"), &AdminConfig::termsofuse},
    {QLatin1String("locateprinter"), &AdminConfig::locateprinter},
    {QLatin1String("statuspageurl"), &AdminConfig::statuspageurl},
    {QLatin1String("helpurl"), &AdminConfig::helpurl},
};

const AdminIntegerField adminIntegerFields[] = {
    {QLatin1String("secure_connect"), &AdminConfig::secure_connect},
    {QLatin1String("filesizelimitinmb"), &AdminConfig::filesizelimitinmb},
    {QLatin1String("createdrntimeout"), &AdminConfig::createdrntimeout},
    {QLatin1String("getdrntimeout"), &AdminConfig::getdrntimeout},
    {QLatin1String("getservertimeout"), &AdminConfig::getservertimeout},
    {QLatin1String("conversiontimeout"), &AdminConfig::conversiontimeout},
    {QLatin1String("drnpollingtimeinsecond"), &AdminConfig::drnpollingtimeinsecond},
    {QLatin1String("releasecodetextlength"), &AdminConfig::releasecodetextlength},
    {QLatin1String("emailentrytextlength"), &AdminConfig::emailentrytextlength},
    {QLatin1String("documentnamelength"), &AdminConfig::documentnamelength},
};

const QLatin1String isPrivateInstallKey("IsPrivateInstall");
const QLatin1String pollingLimitKey("drnpollinglimitinsecond");

shared::BoundedFile::Content readBounded(const QString &path)
{
    return shared::BoundedFile::read(path, maxFileSize);
}

std::optional<Config> decodeConfig(const QByteArray &bytes)
{
    const std::optional<shared::PropertyList> plist = shared::PropertyList::fromBytes(bytes);
    if (!plist)
        return std::nullopt;
    Config config;
    for (const StringField &field : clientFields) {
        std::optional<QString> value = plist->string(field.key);
        if (!value)
            return std::nullopt;
        config.*field.member = *value;
    }
    return config;
}

std::optional<AdminConfig> decodeAdminConfig(const QByteArray &bytes)
{
    const std::optional<shared::PropertyList> plist = shared::PropertyList::fromBytes(bytes);
    if (!plist)
        return std::nullopt;
    AdminConfig admin;
    const std::optional<bool> isPrivate = plist->boolean(isPrivateInstallKey);
    if (!isPrivate)
        return std::nullopt;
    admin.IsPrivateInstall = *isPrivate;
    for (const AdminStringField &field : adminStringFields) {
        std::optional<QString> value = plist->string(field.key);
        if (!value)
            return std::nullopt;
        admin.*field.member = *value;
    }
    for (const AdminIntegerField &field : adminIntegerFields) {
        const std::optional<std::int64_t> value = plist->integer(field.key);
        if (!value)
            return std::nullopt;
        admin.*field.member = *value;
    }
    // Absent: the default. Present, it must be a whole number like the rest.
    if (plist->keys().contains(pollingLimitKey)) {
        const std::optional<std::int64_t> limit = plist->integer(pollingLimitKey);
        if (!limit)
            return std::nullopt;
        admin.drnpollinglimitinsecond = *limit;
    }
    return admin;
}

QByteArray encodeConfig(const Config &config)
{
    shared::PropertyList plist;
    for (const StringField &field : clientFields)
        plist.setString(field.key, config.*field.member);
    return plist.toXml();
}

void report(std::string_view message)
{
    shared::SystemLog::instance().write(message);
}

std::mutex g_iconMutex;
ConfigFiles::IconHandler g_iconHandler;

} // namespace

QString ConfigFiles::clientConfigPath()
{
    return ResourceFolder::path() + QLatin1Char('/') + Constants::plistTavorenClient + QLatin1Char('.')
        + Constants::plistFileTypeString;
}

QString ConfigFiles::adminConfigPath()
{
    return QString::fromStdString(shared::SystemPath::resolve(
        std::string_view(Constants::tavorenAdmin.data(), std::size_t(Constants::tavorenAdmin.size()))));
}

Config ConfigFiles::parseConfig()
{
    const shared::BoundedFile::Content file = readBounded(clientConfigPath());
    if (file.state == shared::BoundedFile::State::Absent) {
        Log(LogLevel::Error, Constants::plistTavorenClient, QStringLiteral("<- No client config file found"));
        report("No client config file found");
        return {};
    }
    const std::optional<Config> config = file.state == shared::BoundedFile::State::Read ? decodeConfig(file.bytes) : std::nullopt;
    if (!config) {
        // Unusable counts as absent, with its own lines so the two can be told apart.
        Log(LogLevel::Error, Constants::plistTavorenClient, QStringLiteral("<- client config file could not be read"));
        report("client config file could not be read");
        return {};
    }
    return *config;
}

AdminConfig ConfigFiles::parseAdminConfig()
{
    const QString icon = parseConfig().applicationicon;
    IconHandler handler;
    {
        std::lock_guard lock(g_iconMutex);
        handler = g_iconHandler;
    }
    if (handler && !icon.isEmpty())
        handler(icon);

    AdminConfig admin;
    const shared::BoundedFile::Content file = readBounded(adminConfigPath());
    if (file.state == shared::BoundedFile::State::Absent) {
        Log(LogLevel::Error, Constants::plistTavorenAdmin, QStringLiteral("<- No admin config file found"));
        report("No admin config file found");
    } else {
        const std::optional<AdminConfig> decoded
            = file.state == shared::BoundedFile::State::Read ? decodeAdminConfig(file.bytes) : std::nullopt;
        if (decoded) {
            admin = *decoded;
        } else {
            Log(LogLevel::Error, Constants::plistTavorenAdmin,
                QStringLiteral("<- admin config file could not be read"));
            report("admin config file could not be read");
        }
    }

    // Prefixed as they are: a value that already has a scheme gets a second one.
    const QLatin1String scheme = admin.secure_connect == 1 ? QLatin1String("https://") : QLatin1String("http://");
    admin.host = scheme + admin.host;
    admin.statuspageurl = scheme + admin.statuspageurl;
    return admin;
}

void ConfigFiles::setConfig(const Config &config)
{
    const QString path = clientConfigPath();
    // Only an existing file is replaced; the client never creates its own.
    bool ok = QFileInfo(path).isFile();
    if (ok) {
        const QByteArray xml = encodeConfig(config);
        // Written beside the file and renamed over it on commit, so a full
        // disk or a crash leaves the old file whole.
        QSaveFile file(path);
        ok = !xml.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(xml) == xml.size() && file.commit();
    }
    if (!ok) {
        Log(LogLevel::Error, Constants::plistTavorenClient,
            QStringLiteral("<- error while setting client config file"));
        report("error while setting client config file");
    }
}

void ConfigFiles::setApplicationIconHandler(IconHandler handler)
{
    std::lock_guard lock(g_iconMutex);
    g_iconHandler = std::move(handler);
}

} // namespace tavoren::client
