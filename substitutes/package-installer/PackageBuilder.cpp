#include "package-installer/PackageBuilder.h"

#include "package-installer/PackageInfo.h"
#include "package-installer/PackageWriter.h"
#include "package-installer/PayloadPath.h"
#include "shared/Descriptor.h"
#include "shared/Error.h"
#include "shared/FileTree.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::packageinstaller {

namespace {
constexpr std::size_t maximumEntries = 200000;
constexpr int maximumDepth = 128;

// The text is the whole reason, as the package builder prints it.
shared::Error refused(const std::string &path, std::string reason)
{
    return shared::Error::because("collect", path, std::move(reason));
}

shared::Error refused(const shared::Error &error)
{
    return shared::Error::because(error.action, error.subject, error.description());
}

shared::Expected<void> walk(int folderFd, const std::string &folderPath, const std::string &archived, int depth,
                            std::vector<PayloadEntry> &entries)
{
    if (depth > maximumDepth)
        return refused(folderPath, "\"" + folderPath + "\" lies too deep");
    const auto names = shared::FileTree::names(folderFd, folderPath);
    if (!names)
        return refused(names.error());
    for (const std::string &name : *names) {
        const std::string path = folderPath + "/" + name;
        const std::string entryPath = archived + "/" + name;
        struct stat status{};
        if (::fstatat(folderFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
            return refused(shared::Error::system("examine", path, errno));
        if (entries.size() >= maximumEntries)
            return refused(folderPath, "\"" + folderPath + "\" holds more than " + std::to_string(maximumEntries) + " items");
        PayloadEntry entry;
        entry.path = entryPath;
        entry.mode = status.st_mode & 07777;
        entry.modified = status.st_mtim.tv_sec;
        if (S_ISREG(status.st_mode)) {
            entry.kind = PayloadEntry::Kind::File;
            entry.size = std::uint64_t(status.st_size);
            entry.contentFile = path;
            entries.push_back(std::move(entry));
        } else if (S_ISLNK(status.st_mode)) {
            std::string target(std::size_t(4096), '\0');
            const ssize_t length = ::readlinkat(folderFd, name.c_str(), target.data(), target.size());
            if (length < 0 || std::size_t(length) >= target.size())
                return refused(shared::Error::system("read the link", path, length < 0 ? errno : ENAMETOOLONG));
            target.resize(std::size_t(length));
            entry.kind = PayloadEntry::Kind::SymbolicLink;
            entry.link = std::move(target);
            entries.push_back(std::move(entry));
        } else if (S_ISDIR(status.st_mode)) {
            entry.kind = PayloadEntry::Kind::Folder;
            entries.push_back(std::move(entry));
            const shared::Descriptor inner(::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!inner)
                return refused(shared::Error::system("open", path, errno));
            if (auto walked = walk(inner.get(), path, entryPath, depth + 1, entries); !walked)
                return walked;
        } else {
            return refused(path, "\"" + path + "\" is neither a file, a folder nor a link");
        }
    }
    return {};
}
} // namespace

std::optional<PackageBuilder::Options> PackageBuilder::parse(const std::vector<std::string> &arguments)
{
    Options options;
    bool installLocation = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        std::string *value = nullptr;
        if (argument == "--root")
            value = &options.root;
        else if (argument == "--scripts")
            value = &options.scripts;
        else if (argument == "--identifier")
            value = &options.identifier;
        else if (argument == "--version")
            value = &options.version;
        else if (argument == "--install-location")
            value = &options.installLocation;
        if (value) {
            const bool seen = value == &options.installLocation ? installLocation : !value->empty();
            if (seen || i + 1 >= arguments.size() || arguments[i + 1].empty())
                return std::nullopt;
            installLocation = installLocation || value == &options.installLocation;
            *value = arguments[++i];
        } else if (argument.empty() || argument.front() == '-' || !options.output.empty()) {
            return std::nullopt;
        } else {
            options.output = argument;
        }
    }
    if (options.root.empty() || options.identifier.empty() || options.version.empty() || options.output.empty())
        return std::nullopt;
    return options;
}

const char *PackageBuilder::usage()
{
    return "usage: tavoren-pkgbuild --root DIR [--scripts DIR] --identifier ID --version V\n"
           "                        [--install-location /] OUTPUT.pkg\n";
}

shared::Expected<std::vector<PayloadEntry>> PackageBuilder::collect(const std::string &folder)
{
    const shared::Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        return refused(shared::Error::system("open", folder, errno));
    std::vector<PayloadEntry> found;
    if (auto walked = walk(fd.get(), folder, ".", 0, found); !walked)
        return walked.error();
    std::sort(found.begin(), found.end(), [](const PayloadEntry &a, const PayloadEntry &b) { return a.path < b.path; });
    return found;
}

shared::Expected<void> PackageBuilder::build(const Options &options)
{
    if (!PackageInfo::isUsableIdentifier(options.identifier))
        return refused(options.identifier, "The identifier " + PayloadPath::shown(options.identifier)
                                               + " is not usable: letters, digits, \".\", \"-\" and \"_\" only, not starting with a dot");
    if (PayloadPath::hasControlCharacter(options.version))
        return refused(options.version, "The version has a control character");
    if (options.installLocation.empty() || options.installLocation.front() != '/')
        return refused(options.installLocation,
                       "The install location " + PayloadPath::shown(options.installLocation) + " is not an absolute path");

    PackageWriter::Contents contents;
    contents.info.identifier = options.identifier;
    contents.info.version = options.version;
    contents.info.installLocation = options.installLocation;
    auto payload = collect(options.root);
    if (!payload)
        return payload.error();
    contents.payload = std::move(*payload);
    if (!options.scripts.empty()) {
        auto scripts = collect(options.scripts);
        if (!scripts)
            return scripts.error();
        contents.scripts = std::move(*scripts);
        for (const PayloadEntry &entry : contents.scripts) {
            if (entry.kind != PayloadEntry::Kind::File)
                continue;
            if (entry.path == "./preinstall")
                contents.info.preinstall = entry.path;
            if (entry.path == "./postinstall")
                contents.info.postinstall = entry.path;
        }
    }
    return PackageWriter::writeFile(contents, options.output);
}

int PackageBuilder::run(const std::vector<std::string> &arguments, std::FILE *out, std::FILE *err)
{
    const auto options = parse(arguments);
    if (!options) {
        std::fputs(usage(), err);
        return 1;
    }
    if (auto built = build(*options); !built) {
        std::fprintf(err, "tavoren-pkgbuild: %s.\n", built.error().text.c_str());
        return 1;
    }
    std::fprintf(out, "tavoren-pkgbuild: Wrote package to %s\n", options->output.c_str());
    return 0;
}

} // namespace tavoren::packageinstaller
