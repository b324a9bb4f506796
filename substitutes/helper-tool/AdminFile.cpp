#include "helper-tool/AdminFile.h"

#include "shared/AtomicFile.h"
#include "helper-tool/HelperPaths.h"
#include "shared/Descriptor.h"
#include "shared/PlistDepth.h"
#include "shared/SystemPath.h"

#include <plist/plist.h>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tavoren::helpertool {

namespace {
constexpr const char *entry = "IsPrivateInstall";

struct PlistFree
{
    void operator()(void *node) const { plist_free(static_cast<plist_t>(node)); }
};
struct XmlFree
{
    void operator()(char *xml) const { plist_to_xml_free(xml); }
};

std::string cannot(const std::string &what, int error)
{
    return "could not " + what + " " + HelperPaths::adminFile + ": " + std::system_category().message(error);
}

// At most `limit` bytes; none when there are more or reading fails.
std::optional<std::string> readBounded(int fd, std::size_t limit, int *error)
{
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *error = errno;
            return std::nullopt;
        }
        if (got == 0)
            return bytes;
        bytes.append(buffer, std::size_t(got));
        if (bytes.size() > limit) {
            *error = EFBIG;
            return std::nullopt;
        }
    }
}
} // namespace

Reply AdminFile::setPrivateInstall(bool privateInstall)
{
    const std::string path = shared::SystemPath::resolve(HelperPaths::adminFile);
    const std::size_t slash = path.find_last_of('/');
    const std::string name = path.substr(slash + 1);
    const shared::Descriptor folder(::open(path.substr(0, slash).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        return Reply::failed(cannot("open the folder of", errno));
    const shared::Descriptor file(::openat(folder.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file)
        return Reply::failed(cannot("read", errno));
    struct stat status{};
    if (::fstat(file.get(), &status) != 0)
        return Reply::failed(cannot("read", errno));
    if (!S_ISREG(status.st_mode))
        return Reply::failed(std::string(HelperPaths::adminFile) + " is not a regular file");
    int error = 0;
    const auto bytes = readBounded(file.get(), HelperPaths::maximumAdminFile, &error);
    if (!bytes)
        return Reply::failed(cannot("read", error));

    // The library handles deep nesting by recursion: refused before it sees it.
    if (!shared::PlistDepth::within(*bytes))
        return Reply::failed(std::string(HelperPaths::adminFile) + " nests deeper than "
                             + std::to_string(shared::PlistDepth::defaultLimit) + " levels");
    plist_t parsed = nullptr;
    if (!bytes->empty())
        plist_from_memory(bytes->data(), uint32_t(bytes->size()), &parsed);
    const std::unique_ptr<void, PlistFree> root(parsed);
    if (!root || plist_get_node_type(parsed) != PLIST_DICT)
        return Reply::failed(std::string(HelperPaths::adminFile) + " is not a property list with a dictionary at its root");
    plist_dict_set_item(parsed, entry, plist_new_bool(privateInstall ? 1 : 0));
    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(parsed, &xml, &length);
    const std::unique_ptr<char, XmlFree> written(xml);
    if (!xml || length == 0)
        return Reply::failed(std::string("could not encode ") + HelperPaths::adminFile);

    auto replacement = shared::AtomicFile::create(folder.get(), name, &error);
    if (!replacement)
        return Reply::failed(cannot("write", error));
    if (!replacement->write(std::string_view(xml, length)))
        return Reply::failed(cannot("write", errno));
    if (const int failure = replacement->commit(0644, 0, 0))
        return Reply::failed(cannot("write", failure));
    return Reply::completed(0, std::string(entry) + " set to " + (privateInstall ? "YES" : "NO") + " in " + HelperPaths::adminFile);
}

} // namespace tavoren::helpertool
