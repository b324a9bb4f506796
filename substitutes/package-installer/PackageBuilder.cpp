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

std::optional<std::string> walk(int folderFd, const std::string &folderPath, const std::string &archived, int depth,
                                std::vector<PayloadEntry> &entries)
{
    if (depth > maximumDepth)
        return "\"" + folderPath + "\" lies too deep";
    const auto names = shared::FileTree::names(folderFd, folderPath);
    if (!names)
        return names.error().description();
    for (const std::string &name : *names) {
        const std::string path = folderPath + "/" + name;
        const std::string entryPath = archived + "/" + name;
        struct stat status{};
        if (::fstatat(folderFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
            return shared::Error::system("examine", path, errno).description();
        if (entries.size() >= maximumEntries)
            return "\"" + folderPath + "\" holds more than " + std::to_string(maximumEntries) + " items";
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
                return shared::Error::system("read the link", path, length < 0 ? errno : ENAMETOOLONG).description();
            target.resize(std::size_t(length));
            entry.kind = PayloadEntry::Kind::SymbolicLink;
            entry.link = std::move(target);
            entries.push_back(std::move(entry));
        } else if (S_ISDIR(status.st_mode)) {
            entry.kind = PayloadEntry::Kind::Folder;
            entries.push_back(std::move(entry));
            const shared::Descriptor inner(::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!inner)
                return shared::Error::system("open", path, errno).description();
            if (auto problem = walk(inner.get(), path, entryPath, depth + 1, entries))
                return problem;
        } else {
            return "\"" + path + "\" is neither a file, a folder nor a link";
        }
    }
    return std::nullopt;
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

std::optional<std::string> PackageBuilder::collect(const std::string &folder, std::vector<PayloadEntry> &entries)
{
    const shared::Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        return shared::Error::system("open", folder, errno).description();
    std::vector<PayloadEntry> found;
    if (auto problem = walk(fd.get(), folder, ".", 0, found))
        return problem;
    std::sort(found.begin(), found.end(), [](const PayloadEntry &a, const PayloadEntry &b) { return a.path < b.path; });
    entries = std::move(found);
    return std::nullopt;
}

std::optional<std::string> PackageBuilder::build(const Options &options)
{
    if (!PackageInfo::isUsableIdentifier(options.identifier))
        return "The identifier " + PayloadPath::shown(options.identifier)
             + " is not usable: letters, digits, \".\", \"-\" and \"_\" only, not starting with a dot";
    if (PayloadPath::hasControlCharacter(options.version))
        return std::string("The version has a control character");
    if (options.installLocation.empty() || options.installLocation.front() != '/')
        return "The install location " + PayloadPath::shown(options.installLocation) + " is not an absolute path";

    PackageWriter::Contents contents;
    contents.info.identifier = options.identifier;
    contents.info.version = options.version;
    contents.info.installLocation = options.installLocation;
    if (auto problem = collect(options.root, contents.payload))
        return problem;
    if (!options.scripts.empty()) {
        if (auto problem = collect(options.scripts, contents.scripts))
            return problem;
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
    if (auto problem = build(*options)) {
        std::fprintf(err, "tavoren-pkgbuild: %s.\n", problem->c_str());
        return 1;
    }
    std::fprintf(out, "tavoren-pkgbuild: Wrote package to %s\n", options->output.c_str());
    return 0;
}

} // namespace tavoren::packageinstaller
