#include "package-installer/Installation.h"

#include "package-installer/CpioReader.h"
#include "package-installer/FlatPackage.h"
#include "package-installer/InstallLock.h"
#include "package-installer/InstallLog.h"
#include "package-installer/PackageInfo.h"
#include "package-installer/PayloadCheck.h"
#include "package-installer/PayloadExtractor.h"
#include "package-installer/PayloadPath.h"
#include "package-installer/Receipt.h"
#include "package-installer/ScriptRunner.h"
#include "package-installer/TargetCheck.h"
#include "package-installer/WorkFolder.h"
#include "shared/FileTree.h"
#include "shared/SystemPath.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <set>
#include <tuple>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::packageinstaller {

namespace {
using Verbosity = InstallerOutput::Verbosity;

const std::string ellipsis = "\u2026";
constexpr const char *receiptsFolder = "/var/db/receipts";

// Printed text stays on its line.
std::string oneLine(std::string text)
{
    for (char &c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            c = '?';
    }
    return text;
}

std::string sentence(std::string text)
{
    text = oneLine(std::move(text));
    if (!text.empty() && text.back() != '.')
        text += '.';
    return text;
}

// The entries placed below the install location, so that everything works
// from the target and shows paths as seen from it.
std::vector<CheckedEntry> placed(std::vector<CheckedEntry> entries, const std::vector<std::string> &location)
{
    if (location.empty())
        return entries;
    for (CheckedEntry &item : entries) {
        item.names.insert(item.names.begin(), location.begin(), location.end());
        if (!item.joins.empty())
            item.joins.insert(item.joins.begin(), location.begin(), location.end());
    }
    return entries;
}

const CheckedEntry *findFile(const std::vector<CheckedEntry> &entries, const std::vector<std::string> &names)
{
    for (const CheckedEntry &item : entries) {
        if (item.names == names && item.entry.kind == PayloadEntry::Kind::File)
            return &item;
    }
    return nullptr;
}

// Unpacks the package's scripts into the work folder; the paths of the
// declared preinstall and postinstall scripts, empty when there is none.
std::optional<std::string> unpackScripts(const FlatPackage &package, const PackageInfo &info, const WorkFolder &work,
                                         const PayloadLimits &limits, std::string &preinstall, std::string &postinstall)
{
    if (!package.scripts && info.preinstall.empty() && info.postinstall.empty())
        return std::nullopt;
    if (!package.scripts)
        return std::string("The package is damaged: its PackageInfo names scripts that it does not hold");
    std::string error;
    const auto listed = CpioReader::list(package.scripts.get(), limits, error);
    if (!listed)
        return "The package is damaged: its scripts cannot be read (" + error + ")";
    const PayloadCheck::Result scripts = PayloadCheck::check(*listed, limits, "scripts item");
    if (!scripts.accepted())
        return scripts.refusal;
    if (::mkdirat(work.fd(), "scripts", 0700) != 0)
        return "Could not unpack the scripts: " + std::string(std::strerror(errno));
    const shared::Descriptor folder(::openat(work.fd(), "scripts", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder)
        return "Could not unpack the scripts: " + std::string(std::strerror(errno));
    PayloadExtractor unpacker(folder.get(), "/", limits);
    if (auto problem = unpacker.write(package.scripts.get(), scripts.entries, [](std::uint64_t) {}))
        return "Could not unpack the scripts: " + *problem;
    if (auto problem = unpacker.moveIntoPlace())
        return "Could not unpack the scripts: " + *problem;
    for (auto [declared, script, what] : {std::tuple{&info.preinstall, &preinstall, "preinstall"},
                                          std::tuple{&info.postinstall, &postinstall, "postinstall"}}) {
        if (declared->empty())
            continue;
        const auto names = PayloadPath::split(*declared, limits, error);
        if (!names || !findFile(scripts.entries, *names))
            return std::string("The package is damaged: its ") + what + " script " + PayloadPath::shown(*declared)
                 + " is not among its scripts";
        *script = work.path() + "/scripts/" + PayloadPath::join(*names);
    }
    return std::nullopt;
}

// What the receipt lists: every file and link of the payload, every folder
// this installation made, and the payload's folders an earlier receipt
// listed. Sorted, so a folder comes before what it holds.
std::vector<std::string> installedPaths(const std::vector<CheckedEntry> &entries, const std::set<std::string> &createdFolders,
                                        const std::vector<std::string> &listedBefore)
{
    const std::set<std::string> before(listedBefore.begin(), listedBefore.end());
    std::set<std::string> paths;
    for (const CheckedEntry &item : entries) {
        const std::string installed = PayloadPath::absolute("/", item.names);
        if (!item.names.empty() && (item.entry.kind != PayloadEntry::Kind::Folder || before.count(installed)))
            paths.insert(installed);
    }
    for (const std::string &made : createdFolders)
        paths.insert("/" + made);
    return {paths.begin(), paths.end()};
}
} // namespace

std::optional<Installation::Options> Installation::parse(const std::vector<std::string> &arguments)
{
    Options options;
    bool package = false;
    bool target = false;
    bool verbosity = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        if (argument == "-pkg" || argument == "-target") {
            bool &seen = argument == "-pkg" ? package : target;
            if (seen || i + 1 >= arguments.size() || arguments[i + 1].empty())
                return std::nullopt;
            seen = true;
            (argument == "-pkg" ? options.packagePath : options.target) = arguments[++i];
        } else if (argument == "-verboseR" || argument == "-verbose") {
            if (verbosity)
                return std::nullopt;
            verbosity = true;
            options.verbosity = argument == "-verboseR" ? Verbosity::Progress : Verbosity::Phases;
        } else {
            return std::nullopt;
        }
    }
    if (!package || !target)
        return std::nullopt;
    return options;
}

const char *Installation::usage()
{
    return "usage: installer -pkg PATH -target DIR [-verboseR | -verbose]\n"
           "  -pkg PATH    the flat package to install\n"
           "  -target DIR  the folder to install into, usually /\n"
           "  -verboseR    phases, status lines and percentages\n"
           "  -verbose     phases\n";
}

Installation::Installation(Options options, std::FILE *out, PayloadLimits limits)
    : m_options(std::move(options))
    , m_out(out)
    , m_limits(limits)
{
}

std::string Installation::packageName(const std::string &packagePath)
{
    std::string path = packagePath;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".pkg") == 0)
        name.resize(name.size() - 4);
    return oneLine(name);
}

int Installation::run()
{
    if (::geteuid() != 0) {
        std::fputs("installer: Must be run as root to install this package.\n", m_out);
        std::fflush(m_out);
        return 1;
    }
    ::umask(022);
    // A reader that goes away must not end the installation halfway.
    ::signal(SIGPIPE, SIG_IGN);
    InstallLog log;
    InstallerOutput output(m_options.verbosity, m_out, &log);
    return install(output, log);
}

int Installation::install(InstallerOutput &output, InstallLog &log)
{
    const std::string &path = m_options.packagePath;
    const std::string &target = m_options.target;
    const std::string name = packageName(path);
    bool upgrade = false;
    const auto fail = [&output, &upgrade](const std::string &reason) {
        output.message(std::string(upgrade ? "The upgrade failed." : "The install failed.") + " (" + sentence(reason) + ")");
        return 1;
    };

    WorkFolder work;
    if (!work.isValid())
        return fail("Could not make a temporary folder: " + work.error());
    FlatPackage package = FlatPackage::open(path, work.fd(), m_limits);
    if (package.problem == FlatPackage::Problem::NotAPackage) {
        output.message("Error - the package path specified was invalid: '" + oneLine(path) + "'.");
        return 1;
    }
    output.message("Package name is " + name);
    if (package.problem == FlatPackage::Problem::Damaged)
        return fail("The package is damaged: " + package.reason);
    std::string error;
    const auto info = PackageInfo::fromXml(package.packageInfo, error);
    if (!info)
        return fail("The package is damaged: " + error);
    if (!PackageInfo::isUsableIdentifier(info->identifier))
        return fail("The package is damaged: its identifier " + PayloadPath::shown(info->identifier) + " cannot name a receipt");
    std::vector<std::string> location;
    if (info->installLocation != "/") {
        auto names = info->installLocation.front() == '/'
                         ? PayloadPath::split(std::string_view(info->installLocation).substr(1), m_limits, error)
                         : std::nullopt;
        if (!names)
            return fail("The package is damaged: its install location " + PayloadPath::shown(info->installLocation)
                        + " is not a plain absolute path");
        location = *names;
    }

    const std::string receiptsPath = shared::SystemPath::resolve(receiptsFolder);
    {
        const shared::Descriptor receipts(::open(receiptsPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        upgrade = receipts && Receipt::previous(receipts.get(), info->identifier).exists;
    }
    output.message(std::string(upgrade ? "Upgrading" : "Installing") + " at base path " + oneLine(target));
    output.phase("Preparing for installation" + ellipsis);

    output.phase("Preparing the disk" + ellipsis);
    if (target.empty() || target.front() != '/')
        return fail("The target " + PayloadPath::shown(target) + " is not an absolute path");
    std::string resolvedTarget = shared::SystemPath::resolve(target);
    while (resolvedTarget.size() > 1 && resolvedTarget.back() == '/')
        resolvedTarget.pop_back();
    const shared::Descriptor targetFd(::open(resolvedTarget.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!targetFd)
        return fail("The target " + PayloadPath::shown(target) + " cannot be opened: " + std::strerror(errno));

    output.phase("Preparing " + name + ellipsis);
    // The whole payload is checked before anything is written.
    const auto listed = CpioReader::list(package.payload.get(), m_limits, error);
    if (!listed)
        return fail("The package is damaged: its payload cannot be read (" + error + ")");
    const PayloadCheck::Result payload = PayloadCheck::check(*listed, m_limits);
    if (!payload.accepted())
        return fail(payload.refusal);
    const std::vector<CheckedEntry> entries = placed(payload.entries, location);
    // Against the target as well, before anything is written; again under
    // the lock, as another installation may change the target meanwhile.
    if (auto refusal = TargetCheck::check(targetFd.get(), "/", entries))
        return fail(*refusal);

    std::string preinstall;
    std::string postinstall;
    if (auto problem = unpackScripts(package, *info, work, m_limits, preinstall, postinstall))
        return fail(*problem);

    output.phase("Waiting for other installations to complete" + ellipsis);
    if (auto made = shared::FileTree::makeFolders(receiptsPath, 0755, 0755); !made)
        return fail(made.error().description());
    const shared::Descriptor receiptsFd(::open(receiptsPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!receiptsFd)
        return fail(shared::Error::system("open", receiptsPath, errno).description());
    const auto lock = InstallLock::take(receiptsFd.get(), receiptsPath + "/" + InstallLock::fileName, error);
    if (!lock)
        return fail(error);

    output.phase("Configuring the installation" + ellipsis);
    const Receipt::Previous previous = Receipt::previous(receiptsFd.get(), info->identifier);
    if (auto refusal = TargetCheck::check(targetFd.get(), "/", entries))
        return fail(*refusal);

    const auto scriptSink = [&log](std::string_view line) { log.write(line); };
    const auto runScript = [&](const std::string &script, const char *what) -> std::optional<std::string> {
        if (script.empty())
            return std::nullopt;
        return ScriptRunner::run({script, what, path, resolvedTarget, work.path()}, scriptSink);
    };
    output.status("Running installer actions" + ellipsis);
    if (auto problem = runScript(preinstall, "preinstall"))
        return fail(*problem);
    output.percent(10);

    // Writing takes the progress from 10 to 90.
    PayloadExtractor extractor(targetFd.get(), "/", m_limits);
    const double total = double(std::max<std::uint64_t>(PayloadExtractor::total(entries), 1));
    double shown = 10;
    const auto progress = [&](std::uint64_t done) {
        const double now = std::min(90.0, 10 + 80 * double(done) / total);
        if (now < shown + 1 && !(now >= 90 && shown < 90))
            return;
        shown = now;
        output.phase("Writing files" + ellipsis);
        output.percent(now);
    };
    if (auto problem = extractor.write(package.payload.get(), entries, progress))
        return fail(*problem);
    if (shown < 90) {
        output.phase("Writing files" + ellipsis);
        output.percent(90);
    }
    output.status("Moving items into place" + ellipsis);
    if (auto problem = extractor.moveIntoPlace())
        return fail(*problem);
    // The package is in place all the same; what could not go is on record.
    for (const std::string &kept : extractor.leftoversKept())
        log.write(oneLine(kept));

    output.phase("Running package scripts" + ellipsis);
    if (auto problem = runScript(postinstall, "postinstall"))
        return fail(*problem);

    output.status("Writing package receipts" + ellipsis);
    Receipt receipt{info->identifier, info->version, target, std::int64_t(std::time(nullptr)), {}};
    receipt.paths = installedPaths(entries, extractor.createdFolders(), previous.paths);
    if (auto problem = receipt.write(receiptsFd.get(), receiptsPath))
        return fail(*problem);

    output.phase("Validating packages" + ellipsis);
    output.percent(97.75);
    output.phase("Registering updated applications" + ellipsis);
    output.status("Cleaning up" + ellipsis);
    output.phase("Finishing the Installation" + ellipsis);
    output.status("Optimising system for installed software" + ellipsis);
    output.percent(100);
    output.phase("The software was successfully installed.");
    output.message(upgrade ? "The upgrade was successful." : "The install was successful.");
    return 0;
}

} // namespace tavoren::packageinstaller
