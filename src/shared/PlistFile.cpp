#include "shared/PlistFile.h"

#include "shared/AtomicFile.h"
#include "shared/Descriptor.h"
#include "shared/PlistDepth.h"

#include <plist/plist.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::shared {

namespace {
plist_t node(void *root)
{
    return static_cast<plist_t>(root);
}

struct XmlFree
{
    void operator()(char *xml) const { plist_to_xml_free(xml); }
};
} // namespace

PlistFile::PlistFile()
    : m_root(plist_new_dict())
{
}

PlistFile::PlistFile(void *root)
    : m_root(root)
{
}

Expected<PlistFile> PlistFile::read(int folderFd, const std::string &name)
{
    const Descriptor file(::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status{};
    if (!file || ::fstat(file.get(), &status) != 0)
        return Error::system("read", name);
    if (!S_ISREG(status.st_mode))
        return Error::because("read", name, "it is not a regular file");
    if (std::uint64_t(status.st_size) > maximumBytes)
        return Error::because("read", name, "it is larger than " + std::to_string(maximumBytes) + " bytes");
    std::string bytes(std::size_t(status.st_size) + 1, '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(file.get(), bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Error::system("read", name);
        if (got == 0)
            break;
        done += std::size_t(got);
    }
    // It grew while being read: not what was measured.
    if (done > maximumBytes)
        return Error::because("read", name, "it is larger than " + std::to_string(maximumBytes) + " bytes");
    bytes.resize(done);
    return fromBytes(bytes, name);
}

Expected<PlistFile> PlistFile::fromBytes(const std::string &bytes, const std::string &shownName)
{
    if (bytes.empty())
        return Error::because("read", shownName, "it is empty");
    if (!PlistDepth::within(bytes))
        return Error::because("read", shownName, "it nests deeper than " + std::to_string(PlistDepth::defaultLimit) + " levels");
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), uint32_t(bytes.size()), &root);
    if (!root)
        return Error::because("read", shownName, "it is not a property list");
    if (plist_get_node_type(root) != PLIST_DICT) {
        plist_free(root);
        return Error::because("read", shownName, "its root is not a dictionary");
    }
    return PlistFile(root);
}

Expected<void> PlistFile::write(int folderFd, const std::string &name, mode_t mode) const
{
    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(node(m_root.get()), &xml, &length);
    const std::unique_ptr<char, XmlFree> written(xml);
    if (!xml || length == 0)
        return Error::because("write", name, "it could not be encoded");
    auto replacement = AtomicFile::create(folderFd, name);
    if (!replacement)
        return replacement.error();
    if (!replacement->write(std::string_view(xml, length)))
        return Error::system("write", name);
    return replacement->commit(mode, 0, 0);
}

bool PlistFile::has(const std::string &key) const
{
    return plist_dict_get_item(node(m_root.get()), key.c_str()) != nullptr;
}

std::vector<std::string> PlistFile::keys() const
{
    std::vector<std::string> result;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(node(m_root.get()), &it);
    for (;;) {
        char *key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node(m_root.get()), it, &key, &value);
        if (!key)
            break;
        result.emplace_back(key);
        std::free(key);
    }
    std::free(it);
    return result;
}

std::optional<std::int64_t> PlistFile::integer(const std::string &key) const
{
    const plist_t value = plist_dict_get_item(node(m_root.get()), key.c_str());
    if (!value || plist_get_node_type(value) != PLIST_UINT)
        return std::nullopt;
    // libplist keeps negative integers as their two's complement.
    uint64_t number = 0;
    plist_get_uint_val(value, &number);
    return static_cast<std::int64_t>(number);
}

void PlistFile::setBoolean(const std::string &key, bool value)
{
    plist_dict_set_item(node(m_root.get()), key.c_str(), plist_new_bool(value ? 1 : 0));
}

std::vector<std::string> PlistFile::addMissing(const PlistFile &other)
{
    std::vector<std::string> added;
    for (const std::string &key : other.keys()) {
        if (has(key))
            continue;
        plist_dict_set_item(node(m_root.get()), key.c_str(), plist_copy(plist_dict_get_item(node(other.m_root.get()), key.c_str())));
        added.push_back(key);
    }
    return added;
}

} // namespace tavoren::shared
