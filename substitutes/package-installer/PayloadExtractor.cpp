#include "package-installer/PayloadExtractor.h"

#include "package-installer/ArchiveHandles.h"
#include "package-installer/CpioReader.h"
#include "package-installer/PayloadPath.h"
#include "shared/FileTree.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::packageinstaller {

namespace {
using Kind = PayloadEntry::Kind;

constexpr std::uint64_t entryUnits = 512;
constexpr unsigned setIdBits = S_ISUID | S_ISGID;
constexpr int diskFlags = ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_SECURE_NODOTDOT
                        | ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS | ARCHIVE_EXTRACT_NO_OVERWRITE | ARCHIVE_EXTRACT_PERM
                        | ARCHIVE_EXTRACT_TIME;

// The reason is the whole sentence: the installer shows it as it is.
shared::Error failed(std::string sentence)
{
    return shared::Error::because("install", "the payload", std::move(sentence));
}

std::string below(const std::string &folder, const std::string &name)
{
    return folder == "." ? name : folder + "/" + name;
}

std::string diskError(archive *disk)
{
    const int error = archive_errno(disk);
    const char *text = archive_error_string(disk);
    if (error > 0 && error < 4096)
        return std::strerror(error);
    return text ? text : "unknown error";
}

// Restores the working folder, which the writing moves into the target so
// that libarchive sees only relative paths.
class WorkingFolder
{
public:
    WorkingFolder() : m_saved(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
    ~WorkingFolder()
    {
        // Without the old one, the root is a folder that stays.
        if ((!m_saved || ::fchdir(m_saved.get()) != 0) && ::chdir("/") != 0)
            return;
    }
    WorkingFolder(const WorkingFolder &) = delete;
    WorkingFolder &operator=(const WorkingFolder &) = delete;

private:
    shared::Descriptor m_saved;
};
} // namespace

PayloadExtractor::PayloadExtractor(int baseFd, std::string prefix, const PayloadLimits &limits)
    : m_baseFd(baseFd)
    , m_prefix(std::move(prefix))
    , m_limits(limits)
{
}

PayloadExtractor::~PayloadExtractor()
{
    undo();
}

std::uint64_t PayloadExtractor::total(const std::vector<CheckedEntry> &entries)
{
    std::uint64_t units = 0;
    for (const CheckedEntry &item : entries)
        units += entryUnits + item.entry.size;
    return units;
}

shared::Expected<shared::Descriptor> PayloadExtractor::openFolder(const std::vector<std::string> &names, std::size_t count,
                                                                 bool create)
{
    shared::Descriptor folder(::fcntl(m_baseFd, F_DUPFD_CLOEXEC, 0));
    for (std::size_t depth = 0; folder && depth < count; ++depth) {
        const char *name = names[depth].c_str();
        int next = ::openat(folder.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        // A file or a link where the payload lists a folder goes aside.
        if (next < 0 && (errno == ENOTDIR || errno == ELOOP) && create
            && m_listedFolders.count(PayloadPath::join(names, depth + 1))) {
            if (auto aside = putAside(folder.get(), names, depth + 1); !aside)
                return aside.error();
            errno = ENOENT;
        }
        if (next < 0 && errno == ENOENT && create) {
            if (::mkdirat(folder.get(), name, 0755) != 0 && errno != EEXIST) {
                const std::vector<std::string> here(names.begin(), names.begin() + std::ptrdiff_t(depth) + 1);
                return failed("Could not make the folder " + PayloadPath::shown(PayloadPath::absolute(m_prefix, here)) + ": "
                              + std::strerror(errno) + ".");
            }
            std::vector<std::string> made(names.begin(), names.begin() + std::ptrdiff_t(depth) + 1);
            m_createdSet.insert(PayloadPath::join(made));
            m_created.push_back(std::move(made));
            next = ::openat(folder.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        folder.reset(next);
        if (!folder) {
            const std::vector<std::string> here(names.begin(), names.begin() + std::ptrdiff_t(depth) + 1);
            return failed("Could not open the folder " + PayloadPath::shown(PayloadPath::absolute(m_prefix, here)) + ": "
                          + std::strerror(errno) + ".");
        }
    }
    if (!folder) {
        return failed("Could not open the target: " + std::string(std::strerror(errno)) + ".");
    }
    return folder;
}

std::string PayloadExtractor::temporaryName(int folderFd, const char *prefix)
{
    for (;;) {
        std::string name = prefix + std::to_string(::getpid()) + "." + std::to_string(++m_counter);
        struct stat status{};
        if (::fstatat(folderFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT)
            return name;
    }
}

shared::Expected<void> PayloadExtractor::write(int payloadFd, const std::vector<CheckedEntry> &entries,
                                              const Progress &progress)
{
    WorkingFolder keep;
    if (::fchdir(m_baseFd) != 0)
        return failed("Could not enter the target: " + std::string(std::strerror(errno)) + ".");
    WriteArchive disk(archive_write_disk_new());
    ArchiveEntry item(archive_entry_new());
    if (!disk || !item || archive_write_disk_set_options(disk.get(), diskFlags) != ARCHIVE_OK)
        return failed("Could not start writing the payload.");

    m_listedFolders.clear();
    for (const CheckedEntry &checked : entries) {
        if (checked.entry.kind == Kind::Folder && !checked.names.empty())
            m_listedFolders.insert(PayloadPath::join(checked.names));
    }
    CpioReader reader(payloadFd, m_limits);
    // A hard link joins the file's temporary name, as the file has no other yet.
    std::map<std::string, std::string> stagedAs;
    std::uint64_t done = 0;
    std::vector<char> buffer(1 << 20);
    for (const CheckedEntry &checked : entries) {
        PayloadEntry read;
        if (reader.next(read) != CpioReader::Step::Entry)
            return failed("The package is damaged: its payload cannot be read again (" + reader.error() + ").");
        if (read.path != checked.entry.path || read.kind != checked.entry.kind || read.link != checked.entry.link)
            return failed("The payload changed while it was installed.");
        done += entryUnits;
        if (checked.names.empty())
            continue;
        const std::string shown = PayloadPath::shown(PayloadPath::absolute(m_prefix, checked.names));
        const std::string joined = PayloadPath::join(checked.names);
        const std::size_t parentDepth = checked.names.size() - 1;
        auto parent = openFolder(checked.names, parentDepth, true);
        if (!parent)
            return parent.error();
        const std::string parentPath = PayloadPath::join(checked.names, parentDepth);
        const std::string &name = checked.names.back();
        const unsigned mode = checked.entry.mode & 07777 & ~setIdBits;

        archive_entry_clear(item.get());
        archive_entry_set_perm(item.get(), mode);
        archive_entry_set_mtime(item.get(), checked.entry.modified, 0);
        if (checked.entry.kind == Kind::Folder) {
            struct stat status{};
            const bool there = ::fstatat(parent->get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
            if (there && S_ISDIR(status.st_mode)) {
                // A folder made above an earlier entry takes its own mode now.
                if (m_createdSet.count(joined) && ::fchmodat(parent->get(), name.c_str(), mode, 0) != 0)
                    return failed("Could not write " + shown + ": " + std::strerror(errno) + ".");
                continue;
            }
            if (there) {
                if (auto aside = putAside(parent->get(), checked.names, checked.names.size()); !aside)
                    return aside.error();
            }
            archive_entry_set_pathname(item.get(), below(parentPath, name).c_str());
            archive_entry_set_filetype(item.get(), AE_IFDIR);
            if (archive_write_header(disk.get(), item.get()) != ARCHIVE_OK
                || archive_write_finish_entry(disk.get()) != ARCHIVE_OK)
                return failed("Could not write " + shown + ": " + diskError(disk.get()) + ".");
            m_created.push_back(checked.names);
            m_createdSet.insert(joined);
            continue;
        }

        const std::string temporary = temporaryName(parent->get(), ".tavoren-installing.");
        const std::string temporaryPath = below(parentPath, temporary);
        archive_entry_set_pathname(item.get(), temporaryPath.c_str());
        archive_entry_set_filetype(item.get(), checked.entry.kind == Kind::SymbolicLink ? AE_IFLNK : AE_IFREG);
        if (checked.entry.kind == Kind::SymbolicLink)
            archive_entry_set_symlink(item.get(), checked.entry.link.c_str());
        if (checked.entry.kind == Kind::HardLink)
            archive_entry_set_hardlink(item.get(), stagedAs[PayloadPath::join(checked.joins)].c_str());
        archive_entry_set_size(item.get(), la_int64_t(checked.entry.kind == Kind::File ? checked.entry.size : 0));
        // Known before it exists, so that a failure below removes it.
        m_staged.push_back({{checked.names.begin(), checked.names.end() - 1}, temporary, name});
        stagedAs[joined] = temporaryPath;
        if (archive_write_header(disk.get(), item.get()) != ARCHIVE_OK)
            return failed("Could not write " + shown + ": " + diskError(disk.get()) + ".");
        if (checked.entry.kind == Kind::File) {
            std::uint64_t copied = 0;
            for (;;) {
                const ssize_t got = reader.read(buffer.data(), buffer.size());
                if (got < 0)
                    return failed("The package is damaged: its payload cannot be read again (" + reader.error() + ").");
                if (got == 0)
                    break;
                if (archive_write_data(disk.get(), buffer.data(), std::size_t(got)) != got)
                    return failed("Could not write " + shown + ": " + diskError(disk.get()) + ".");
                copied += std::uint64_t(got);
                progress(done + copied);
            }
            if (copied != checked.entry.size)
                return failed("The package is damaged: " + shown + " is shorter than announced.");
            done += copied;
        }
        if (archive_write_finish_entry(disk.get()) != ARCHIVE_OK)
            return failed("Could not write " + shown + ": " + diskError(disk.get()) + ".");
        if (checked.entry.kind == Kind::File) {
            const shared::Descriptor written(::openat(parent->get(), temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
            if (!written || ::fsync(written.get()) != 0)
                return failed("Could not write " + shown + ": " + std::strerror(errno) + ".");
        }
        progress(done);
    }
    if (archive_write_close(disk.get()) != ARCHIVE_OK)
        return failed("Could not finish writing the payload: " + diskError(disk.get()) + ".");
    progress(done);
    return {};
}

shared::Expected<void> PayloadExtractor::moveIntoPlace()
{
    // Nothing is renamed unless everything can be: a folder where a file
    // or a link goes, which a rename cannot replace, goes aside first.
    for (const Staged &staged : m_staged) {
        auto folder = openFolder(staged.folder, staged.folder.size(), false);
        if (!folder)
            return folder.error();
        struct stat status{};
        if (::fstatat(folder->get(), staged.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode)) {
            std::vector<std::string> names = staged.folder;
            names.push_back(staged.name);
            if (auto aside = putAside(folder->get(), names, names.size()); !aside)
                return aside.error();
        }
    }
    std::set<std::vector<std::string>> touched;
    for (; m_moved < m_staged.size(); ++m_moved) {
        const Staged &staged = m_staged[m_moved];
        auto folder = openFolder(staged.folder, staged.folder.size(), false);
        if (!folder)
            return folder.error();
        if (::renameat(folder->get(), staged.temporary.c_str(), folder->get(), staged.name.c_str()) != 0) {
            std::vector<std::string> names = staged.folder;
            names.push_back(staged.name);
            return failed("Could not move " + PayloadPath::shown(PayloadPath::absolute(m_prefix, names)) + " into place: "
                          + std::strerror(errno) + ".");
        }
        touched.insert(staged.folder);
    }
    for (const auto &names : touched) {
        if (auto folder = openFolder(names, names.size(), false))
            ::fsync(folder->get());
    }
    // What is in place stays, with the folders that hold it.
    m_created.clear();
    removeLeftovers();
    return {};
}

shared::Expected<void> PayloadExtractor::putAside(int folderFd, const std::vector<std::string> &names, std::size_t count)
{
    const std::vector<std::string> here(names.begin(), names.begin() + std::ptrdiff_t(count));
    const std::string temporary = temporaryName(folderFd, ".tavoren-leftover.");
    if (::renameat2(folderFd, here.back().c_str(), folderFd, temporary.c_str(), RENAME_NOREPLACE) != 0) {
        return failed("Could not move " + PayloadPath::shown(PayloadPath::absolute(m_prefix, here)) + " out of the way: "
                      + std::strerror(errno) + ".");
    }
    m_aside.push_back({{here.begin(), here.end() - 1}, temporary, here.back()});
    return {};
}

void PayloadExtractor::removeLeftovers()
{
    for (const Staged &aside : m_aside) {
        std::vector<std::string> names = aside.folder;
        names.push_back(aside.name);
        const std::string shown = PayloadPath::absolute(m_prefix, names);
        auto folder = openFolder(aside.folder, aside.folder.size(), false);
        const std::string what = "What stood at " + PayloadPath::shown(shown) + " could not be removed: ";
        if (!folder) {
            m_leftoversKept.push_back(what + folder.error().text);
            continue;
        }
        std::vector<std::string> kept = aside.folder;
        kept.push_back(aside.temporary);
        if (auto removed = shared::FileTree::removeAt(folder->get(), aside.temporary, PayloadPath::absolute(m_prefix, kept)); !removed)
            m_leftoversKept.push_back(what + removed.error().description() + ".");
    }
    m_aside.clear();
}

void PayloadExtractor::undo()
{
    for (std::size_t i = m_moved; i < m_staged.size(); ++i) {
        if (auto folder = openFolder(m_staged[i].folder, m_staged[i].folder.size(), false))
            ::unlinkat(folder->get(), m_staged[i].temporary.c_str(), 0);
    }
    m_staged.clear();
    m_moved = 0;
    for (auto made = m_created.rbegin(); made != m_created.rend(); ++made) {
        if (auto folder = openFolder(*made, made->size() - 1, false))
            ::unlinkat(folder->get(), made->back().c_str(), AT_REMOVEDIR);
    }
    m_created.clear();
    // What stood in the way goes back where its place is free again; where
    // an item of the payload took it, it goes as it would have.
    for (auto aside = m_aside.rbegin(); aside != m_aside.rend(); ++aside) {
        auto folder = openFolder(aside->folder, aside->folder.size(), false);
        if (!folder)
            continue;
        if (::renameat2(folder->get(), aside->temporary.c_str(), folder->get(), aside->name.c_str(), RENAME_NOREPLACE) != 0)
            [[maybe_unused]] const auto removed = shared::FileTree::removeAt(folder->get(), aside->temporary, aside->temporary);
    }
    m_aside.clear();
}

} // namespace tavoren::packageinstaller
