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
#include "shared/PathName.h"
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

// The paths of the declared preinstall and postinstall scripts, empty when
// there is none.
struct Scripts
{
    std::string preinstall;
    std::string postinstall;
};

// The reason is the whole sentence, as the installer prints it.
shared::Error refused(std::string reason)
{
    return shared::Error::because("install", "the package", std::move(reason));
}

// Unpacks the package's scripts into the work folder.
shared::Expected<Scripts> unpackScripts(const FlatPackage &package, const PackageInfo &info, const WorkFolder &work,
                                        const PayloadLimits &limits)
{
    Scripts paths;
    if (!package.scripts && info.preinstall.empty() && info.postinstall.empty())
        return paths;
    if (!package.scripts)
        return refused("The package is damaged: its PackageInfo names scripts that it does not hold");
    const auto listed = CpioReader::list(package.scripts.get(), limits);
    if (!listed)
        return refused("The package is damaged: its scripts cannot be read (" + listed.error().text + ")");
    const PayloadCheck::Result scripts = PayloadCheck::check(*listed, limits, "scripts item");
    if (!scripts.accepted())
        return refused(scripts.refusal);
    if (::mkdirat(work.fd(), "scripts", 0700) != 0)
        return refused("Could not unpack the scripts: " + std::string(std::strerror(errno)));
    const shared::Descriptor folder(::openat(work.fd(), "scripts", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder)
        return refused("Could not unpack the scripts: " + std::string(std::strerror(errno)));
    PayloadExtractor unpacker(folder.get(), "/", limits);
    if (auto written = unpacker.write(package.scripts.get(), scripts.entries, [](std::uint64_t) {}); !written)
        return refused("Could not unpack the scripts: " + written.error().text);
    if (auto moved = unpacker.moveIntoPlace(); !moved)
        return refused("Could not unpack the scripts: " + moved.error().text);
    for (auto [declared, script, what] : {std::tuple{&info.preinstall, &paths.preinstall, "preinstall"},
                                          std::tuple{&info.postinstall, &paths.postinstall, "postinstall"}}) {
        if (declared->empty())
            continue;
        const auto names = PayloadPath::split(*declared, limits);
        if (!names || !findFile(scripts.entries, *names))
            return refused(std::string("The package is damaged: its ") + what + " script " + PayloadPath::shown(*declared)
                           + " is not among its scripts");
        *script = work.path() + "/scripts/" + PayloadPath::join(*names);
    }
    return paths;
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

Installation::Installation(Options options, std::FILE *out, shared::SystemLog &systemLog, PayloadLimits limits)
    : m_options(std::move(options))
    , m_out(out)
    , m_systemLog(systemLog)
    , m_limits(limits)
{
}

std::string Installation::packageName(const std::string &packagePath)
{
    std::string path = packagePath;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    std::string name = shared::PathName::lastComponent(path);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".pkg") == 0)
        name.resize(name.size() - 4);
    return oneLine(name);
}

// Declared in the order things are taken, so that they go in reverse: the
// extractor undoes a failed writing under the lock, the work folder goes last.
struct Installation::Run
{
    Run(InstallerOutput &out, InstallLog &installLog, std::string packageName)
        : output(out)
        , log(installLog)
        , name(std::move(packageName))
    {
    }

    InstallerOutput &output;
    InstallLog &log;
    std::string name;
    bool upgrade = false;
    std::optional<WorkFolder> work;
    std::optional<FlatPackage> package;
    std::optional<PackageInfo> info;
    std::vector<std::string> location; // the install location's names
    std::string receiptsPath;
    std::string resolvedTarget;
    shared::Descriptor targetFd;
    std::vector<CheckedEntry> entries; // placed below the install location
    Scripts scripts;
    shared::Descriptor receiptsFd;
    shared::Descriptor lock;
    Receipt::Previous previous;
    std::optional<PayloadExtractor> extractor;
};

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
    InstallLog log(m_systemLog);
    InstallerOutput output(m_options.verbosity, m_out, &log);
    return install(output, log);
}

int Installation::install(InstallerOutput &output, InstallLog &log)
{
    Run run(output, log, packageName(m_options.packagePath));
    for (auto step : {&Installation::openPackage, &Installation::prepareDisk, &Installation::checkPayload,
                      &Installation::waitForOthers, &Installation::runPreinstall, &Installation::writePayload,
                      &Installation::runPostinstall, &Installation::writeReceipt}) {
        const auto done = (this->*step)(run);
        if (done)
            continue;
        // No package at all is said so, not as a failed installation.
        if (step == &Installation::openPackage && done.error().action == FlatPackage::notAPackageAction) {
            output.message("Error - the package path specified was invalid: '" + oneLine(m_options.packagePath) + "'.");
            return 1;
        }
        output.message(std::string(run.upgrade ? "The upgrade failed." : "The install failed.") + " ("
                       + sentence(done.error().text) + ")");
        return 1;
    }
    finish(run);
    return 0;
}

shared::Expected<void> Installation::openPackage(Run &run)
{
    auto work = WorkFolder::create();
    if (!work)
        return refused("Could not make a temporary folder: " + work.error().description());
    run.work.emplace(std::move(*work));
    auto package = FlatPackage::open(m_options.packagePath, run.work->fd(), m_limits);
    if (!package && package.error().action == FlatPackage::notAPackageAction)
        return package.error();
    run.output.message("Package name is " + run.name);
    if (!package)
        return refused("The package is damaged: " + package.error().text);
    run.package.emplace(std::move(*package));
    auto info = PackageInfo::fromXml(run.package->packageInfo);
    if (!info)
        return refused("The package is damaged: " + info.error().text);
    run.info.emplace(std::move(*info));
    const std::string &identifier = run.info->identifier;
    if (!PackageInfo::isUsableIdentifier(identifier))
        return refused("The package is damaged: its identifier " + PayloadPath::shown(identifier) + " cannot name a receipt");
    const std::string &location = run.info->installLocation;
    if (location == "/")
        return {};
    auto names = PayloadPath::split(std::string_view(location).substr(1), m_limits);
    if (location.front() != '/' || !names)
        return refused("The package is damaged: its install location " + PayloadPath::shown(location)
                       + " is not a plain absolute path");
    run.location = std::move(*names);
    return {};
}

shared::Expected<void> Installation::prepareDisk(Run &run)
{
    const std::string &target = m_options.target;
    run.receiptsPath = shared::SystemPath::resolve(receiptsFolder);
    {
        const shared::Descriptor receipts(::open(run.receiptsPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        run.upgrade = receipts && Receipt::previous(receipts.get(), run.info->identifier).exists;
    }
    run.output.message(std::string(run.upgrade ? "Upgrading" : "Installing") + " at base path " + oneLine(target));
    run.output.phase("Preparing for installation" + ellipsis);

    run.output.phase("Preparing the disk" + ellipsis);
    if (target.empty() || target.front() != '/')
        return refused("The target " + PayloadPath::shown(target) + " is not an absolute path");
    run.resolvedTarget = shared::SystemPath::resolve(target);
    while (run.resolvedTarget.size() > 1 && run.resolvedTarget.back() == '/')
        run.resolvedTarget.pop_back();
    run.targetFd.reset(::open(run.resolvedTarget.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!run.targetFd)
        return refused("The target " + PayloadPath::shown(target) + " cannot be opened: " + std::strerror(errno));
    return {};
}

shared::Expected<void> Installation::checkPayload(Run &run)
{
    run.output.phase("Preparing " + run.name + ellipsis);
    // The whole payload is checked before anything is written.
    const auto listed = CpioReader::list(run.package->payload.get(), m_limits);
    if (!listed)
        return refused("The package is damaged: its payload cannot be read (" + listed.error().text + ")");
    const PayloadCheck::Result payload = PayloadCheck::check(*listed, m_limits);
    if (!payload.accepted())
        return refused(payload.refusal);
    run.entries = placed(payload.entries, run.location);
    // Against the target as well, before anything is written; again under
    // the lock, as another installation may change the target meanwhile.
    if (auto fits = TargetCheck::check(run.targetFd.get(), "/", run.entries); !fits)
        return fits.error();
    auto scripts = unpackScripts(*run.package, *run.info, *run.work, m_limits);
    if (!scripts)
        return scripts.error();
    run.scripts = std::move(*scripts);
    return {};
}

shared::Expected<void> Installation::waitForOthers(Run &run)
{
    run.output.phase("Waiting for other installations to complete" + ellipsis);
    if (auto made = shared::FileTree::makeFolders(run.receiptsPath, 0755, 0755); !made)
        return refused(made.error().description());
    run.receiptsFd.reset(::open(run.receiptsPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!run.receiptsFd)
        return refused(shared::Error::system("open", run.receiptsPath, errno).description());
    auto lock = InstallLock::take(run.receiptsFd.get(), run.receiptsPath + "/" + InstallLock::fileName);
    if (!lock)
        return refused(lock.error().description());
    run.lock = std::move(*lock);

    run.output.phase("Configuring the installation" + ellipsis);
    run.previous = Receipt::previous(run.receiptsFd.get(), run.info->identifier);
    if (auto fits = TargetCheck::check(run.targetFd.get(), "/", run.entries); !fits)
        return fits.error();
    return {};
}

shared::Expected<void> Installation::runScript(Run &run, const std::string &script, const char *what)
{
    if (script.empty())
        return {};
    const auto sink = [&run](std::string_view line) { run.log.write(line); };
    return ScriptRunner::run({script, what, m_options.packagePath, run.resolvedTarget, run.work->path()}, sink);
}

shared::Expected<void> Installation::runPreinstall(Run &run)
{
    run.output.status("Running installer actions" + ellipsis);
    if (auto ran = runScript(run, run.scripts.preinstall, "preinstall"); !ran)
        return ran;
    run.output.percent(10);
    return {};
}

shared::Expected<void> Installation::writePayload(Run &run)
{
    // Writing takes the progress from 10 to 90.
    PayloadExtractor &extractor = run.extractor.emplace(run.targetFd.get(), "/", m_limits);
    const double total = double(std::max<std::uint64_t>(PayloadExtractor::total(run.entries), 1));
    double shown = 10;
    const auto progress = [&](std::uint64_t done) {
        const double now = std::min(90.0, 10 + 80 * double(done) / total);
        if (now < shown + 1 && !(now >= 90 && shown < 90))
            return;
        shown = now;
        run.output.phase("Writing files" + ellipsis);
        run.output.percent(now);
    };
    if (auto written = extractor.write(run.package->payload.get(), run.entries, progress); !written)
        return written;
    if (shown < 90) {
        run.output.phase("Writing files" + ellipsis);
        run.output.percent(90);
    }
    run.output.status("Moving items into place" + ellipsis);
    if (auto moved = extractor.moveIntoPlace(); !moved)
        return moved;
    // The package is in place all the same; what could not go is on record.
    for (const std::string &kept : extractor.leftoversKept())
        run.log.write(oneLine(kept));
    return {};
}

shared::Expected<void> Installation::runPostinstall(Run &run)
{
    run.output.phase("Running package scripts" + ellipsis);
    return runScript(run, run.scripts.postinstall, "postinstall");
}

shared::Expected<void> Installation::writeReceipt(Run &run)
{
    run.output.status("Writing package receipts" + ellipsis);
    Receipt receipt{run.info->identifier, run.info->version, m_options.target, std::int64_t(std::time(nullptr)), {}};
    receipt.paths = installedPaths(run.entries, run.extractor->createdFolders(), run.previous.paths);
    if (auto written = receipt.write(run.receiptsFd.get(), run.receiptsPath); !written)
        return refused(written.error().description());
    return {};
}

void Installation::finish(Run &run)
{
    run.output.phase("Validating packages" + ellipsis);
    run.output.percent(97.75);
    run.output.phase("Registering updated applications" + ellipsis);
    run.output.status("Cleaning up" + ellipsis);
    run.output.phase("Finishing the Installation" + ellipsis);
    run.output.status("Optimising system for installed software" + ellipsis);
    run.output.percent(100);
    run.output.phase("The software was successfully installed.");
    run.output.message(run.upgrade ? "The upgrade was successful." : "The install was successful.");
}

} // namespace tavoren::packageinstaller
