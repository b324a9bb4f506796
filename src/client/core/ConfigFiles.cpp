#include "client/core/ConfigFiles.h"

#include "client/core/Log.h"
#include "client/core/ApplicationIcon.h"
#include "client/core/UserConfigFolder.h"
#include "shared/AtomicFile.h"
#include "shared/BoundedFile.h"
#include "shared/PropertyList.h"
#include "shared/SystemLog.h"
#include "shared/SystemPath.h"

#include <QFile>

#include <cerrno>
#include <optional>
#include <unistd.h>

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

// In the order of the record.
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

const QLatin1String ownerEmailKey("owneremail");
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

QString clientFileName()
{
    return Constants::plistTavorenClient + QLatin1Char('.') + Constants::plistFileTypeString;
}

// The user's file holds only what the user set: each entry is optional,
// but one of another type makes the whole file unusable.
bool applyUserValues(const QByteArray &bytes, Config &config)
{
    const std::optional<shared::PropertyList> plist = shared::PropertyList::fromBytes(bytes);
    if (!plist)
        return false;
    const QStringList keys = plist->keys();
    Config merged = config;
    for (const StringField &field : clientFields) {
        if (!keys.contains(field.key))
            continue;
        std::optional<QString> value = plist->string(field.key);
        if (!value)
            return false;
        merged.*field.member = *value;
    }
    config = merged;
    return true;
}

// The user's own file in the open folder: only a regular file within the
// bound that the user owns; a link in its place is not followed.
shared::BoundedFile::Content readUserFile(int folderFd)
{
    shared::BoundedFile::Content file = shared::BoundedFile::readAt(folderFd, clientFileName(), maxFileSize);
    if (file.state == shared::BoundedFile::State::Read && file.owner != ::geteuid())
        return {shared::BoundedFile::State::Unusable, {}, file.owner};
    return file;
}

} // namespace

ConfigFiles::ConfigFiles(const ClientEnvironment &environment)
    : m_environment(environment)
{
}

void ConfigFiles::log(LogLevel type, const QString &message, const QString &details) const
{
    Log(m_environment.systemLog, type, message, details);
}

void ConfigFiles::report(std::string_view message) const
{
    m_environment.systemLog.write(message);
}

// The user's own values over `config`; a file that cannot be used is
// logged and left aside.
void ConfigFiles::overlayUserFile(Config &config) const
{
    const auto folder = UserConfigFolder::open();
    // No folder or no file: the user has set nothing.
    if (!folder && folder.error().code == ENOENT)
        return;
    if (folder) {
        const shared::BoundedFile::Content user = readUserFile(folder->get());
        if (user.state == shared::BoundedFile::State::Absent)
            return;
        if (user.state == shared::BoundedFile::State::Read && applyUserValues(user.bytes, config))
            return;
    }
    log(LogLevel::Error, Constants::plistTavorenClient, QStringLiteral("<- user client config file could not be read"));
    report("user client config file could not be read");
}

QString ConfigFiles::clientConfigPath() const
{
    return m_environment.resourceFolder + QLatin1Char('/') + clientFileName();
}

QString ConfigFiles::userConfigPath()
{
    const QString folder = UserConfigFolder::path();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + clientFileName();
}

QString ConfigFiles::adminConfigPath()
{
    return QString::fromStdString(shared::SystemPath::resolve(
        std::string_view(Constants::tavorenAdmin.data(), std::size_t(Constants::tavorenAdmin.size()))));
}

Config ConfigFiles::parseConfig() const
{
    Config config;
    const shared::BoundedFile::Content file = readBounded(clientConfigPath());
    if (file.state == shared::BoundedFile::State::Absent) {
        log(LogLevel::Error, Constants::plistTavorenClient, QStringLiteral("<- No client config file found"));
        report("No client config file found");
    } else if (const std::optional<Config> defaults
               = file.state == shared::BoundedFile::State::Read ? decodeConfig(file.bytes) : std::nullopt) {
        config = *defaults;
    } else {
        // Unusable counts as absent, with its own lines so the two can be told apart.
        log(LogLevel::Error, Constants::plistTavorenClient, QStringLiteral("<- client config file could not be read"));
        report("client config file could not be read");
    }
    overlayUserFile(config);
    return config;
}

AdminConfig ConfigFiles::parseAdminConfig() const
{
    const QString icon = parseConfig().applicationicon;
    if (m_environment.applicationIcon && !icon.isEmpty())
        m_environment.applicationIcon->set(icon);

    AdminConfig admin;
    const shared::BoundedFile::Content file = readBounded(adminConfigPath());
    if (file.state == shared::BoundedFile::State::Absent) {
        log(LogLevel::Error, Constants::plistTavorenAdmin, QStringLiteral("<- No admin config file found"));
        report("No admin config file found");
    } else {
        const std::optional<AdminConfig> decoded
            = file.state == shared::BoundedFile::State::Read ? decodeAdminConfig(file.bytes) : std::nullopt;
        if (decoded) {
            admin = *decoded;
        } else {
            log(LogLevel::Error, Constants::plistTavorenAdmin,
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

void ConfigFiles::setOwnerEmail(const QString &address) const
{
    const auto folder = UserConfigFolder::openForWriting();
    bool ok = folder.hasValue();
    if (ok) {
        // The user's other entries stay; a file that cannot be used is replaced.
        shared::PropertyList plist;
        const shared::BoundedFile::Content current = readUserFile(folder->get());
        if (current.state == shared::BoundedFile::State::Read) {
            const std::optional<shared::PropertyList> kept = shared::PropertyList::fromBytes(current.bytes);
            for (const StringField &field : clientFields) {
                const std::optional<QString> value = kept ? kept->string(field.key) : std::nullopt;
                if (value)
                    plist.setString(field.key, *value);
            }
        }
        plist.setString(ownerEmailKey, address);
        const QByteArray xml = plist.toXml();
        // A new file beside the old one, synced and renamed over it: a full
        // disk or a crash leaves the old file whole, and a link planted in
        // its place is replaced, never written through.
        ok = !xml.isEmpty()
            && shared::AtomicFile::replace(folder->get(), QFile::encodeName(clientFileName()).toStdString(),
                                           std::string_view(xml.constData(), std::size_t(xml.size())), 0600)
                   .hasValue();
    }
    if (!ok) {
        log(LogLevel::Error, Constants::plistTavorenClient,
            QStringLiteral("<- error while setting client config file"));
        report("error while setting client config file");
    }
}

} // namespace tavoren::client
