#include "client/core/UserConfigFolder.h"

#include "shared/EnvironmentSetting.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavoren::client {

namespace {

constexpr mode_t privateFolder = 0700;

bool isAbsolute(const QString &path)
{
    // Not QDir::isAbsolutePath: it takes ":/..." resource paths as absolute.
    return path.startsWith(QLatin1Char('/'));
}

QString passwordDatabaseHome()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(std::size_t(size > 0 ? size : 16384));
    passwd entry{};
    passwd *found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir)
        return {};
    return QFile::decodeName(found->pw_dir);
}

shared::Expected<shared::Descriptor> openConfigHome(bool create)
{
    const QByteArray home = QFile::encodeName(UserConfigFolder::configHome());
    if (home.isEmpty())
        return shared::Error::system("find", "the configuration home", ENOENT);
    // Only the configuration home itself is made; a missing home above it
    // is not ours to make.
    if (create && ::mkdir(home.constData(), privateFolder) != 0 && errno != EEXIST)
        return shared::Error::system("create", home.toStdString());
    // A link here is the user's own choice (dotfiles kept elsewhere).
    shared::Descriptor folder(::open(home.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        return shared::Error::system("open", home.toStdString());
    return folder;
}

shared::Expected<shared::Descriptor> openOurFolder(int homeFd)
{
    shared::Descriptor folder(::openat(homeFd, UserConfigFolder::folderName.data(),
                                       O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder)
        return shared::Error::system("open", std::string(UserConfigFolder::folderName.data()));
    return folder;
}

} // namespace

QString UserConfigFolder::configHome()
{
    const QString configured = QFile::decodeName(shared::EnvironmentSetting::text("XDG_CONFIG_HOME").c_str());
    if (isAbsolute(configured))
        return QDir::cleanPath(configured);
    QString home = QFile::decodeName(shared::EnvironmentSetting::text("HOME").c_str());
    if (!isAbsolute(home))
        home = passwordDatabaseHome();
    if (!isAbsolute(home))
        return {};
    return QDir::cleanPath(home + QLatin1String("/.config"));
}

QString UserConfigFolder::path()
{
    const QString home = configHome();
    return home.isEmpty() ? QString() : home + QLatin1Char('/') + folderName;
}

shared::Expected<shared::Descriptor> UserConfigFolder::open()
{
    const auto home = openConfigHome(false);
    if (!home)
        return home.error();
    return openOurFolder(home->get());
}

shared::Expected<shared::Descriptor> UserConfigFolder::openForWriting()
{
    const auto home = openConfigHome(true);
    if (!home)
        return home.error();
    if (::mkdirat(home->get(), folderName.data(), privateFolder) != 0 && errno != EEXIST)
        return shared::Error::system("create", std::string(folderName.data()));
    auto folder = openOurFolder(home->get());
    if (!folder)
        return folder.error();
    // Someone else's folder (a configuration home in a shared place) would
    // let its owner swap what we write.
    struct stat status{};
    if (::fstat(folder->get(), &status) != 0)
        return shared::Error::system("examine", std::string(folderName.data()));
    if (status.st_uid != ::geteuid())
        return shared::Error::system("use", std::string(folderName.data()), EPERM);
    return folder;
}

} // namespace tavoren::client
