#include "package-installer/Receipt.h"

#include "shared/AtomicFile.h"
#include "shared/Descriptor.h"
#include "shared/Error.h"
#include "shared/PlistNode.h"

#include <plist/plist.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::packageinstaller {

namespace {
// Property-list dates count from 2001-01-01.
constexpr std::int64_t referenceDate = 978307200;
constexpr off_t maximumReceiptBytes = 16 << 20;

} // namespace

std::string Receipt::plistXml() const
{
    shared::PlistNode root(plist_new_dict());
    plist_dict_set_item(root.get(), "PackageIdentifier", plist_new_string(identifier.c_str()));
    plist_dict_set_item(root.get(), "PackageVersion", plist_new_string(version.c_str()));
    plist_dict_set_item(root.get(), "InstallDate", plist_new_date(int32_t(installDate - referenceDate), 0));
    plist_dict_set_item(root.get(), "InstallPrefixPath", plist_new_string(installPrefix.c_str()));
    plist_dict_set_item(root.get(), "InstallProcessName", plist_new_string("installer"));
    plist_t list = plist_new_array();
    for (const std::string &path : paths)
        plist_array_append_item(list, plist_new_string(path.c_str()));
    plist_dict_set_item(root.get(), "InstalledPaths", list);
    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    std::string result = xml ? std::string(xml, length) : std::string();
    plist_to_xml_free(xml);
    return result;
}

std::string Receipt::pathList() const
{
    std::string result;
    for (const std::string &path : paths)
        result += path + "\n";
    return result;
}

shared::Expected<void> Receipt::write(int folderFd, const std::string &folderPath) const
{
    const std::string xml = plistXml();
    if (xml.empty())
        return shared::Error::because("write the package receipt", "", "");
    // The list first: a receipt is only there once its list is.
    for (const auto &[name, content] : {std::pair{identifier + ".paths", pathList()}, std::pair{identifier + ".plist", xml}}) {
        if (const auto written = shared::AtomicFile::replace(folderFd, name, content, 0644); !written)
            return shared::Error::system("write", folderPath + "/" + name, written.error().code);
    }
    return {};
}

Receipt::Previous Receipt::previous(int folderFd, const std::string &identifier)
{
    Previous result;
    const shared::Descriptor fd(::openat(folderFd, (identifier + ".plist").c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        // A receipt that cannot be opened is still a receipt.
        result.exists = errno != ENOENT;
        return result;
    }
    result.exists = true;
    struct stat status{};
    if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > maximumReceiptBytes)
        return result;
    std::string bytes(std::size_t(status.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return result;
        done += std::size_t(got);
    }
    plist_t parsed = nullptr;
    plist_from_memory(bytes.data(), uint32_t(bytes.size()), &parsed);
    const shared::PlistNode root(parsed);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT)
        return result;
    plist_t list = plist_dict_get_item(root.get(), "InstalledPaths");
    if (!list || plist_get_node_type(list) != PLIST_ARRAY)
        return result;
    for (uint32_t i = 0; i < plist_array_get_size(list); ++i) {
        plist_t item = plist_array_get_item(list, i);
        if (plist_get_node_type(item) != PLIST_STRING)
            continue;
        char *text = nullptr;
        plist_get_string_val(item, &text);
        if (text)
            result.paths.emplace_back(text);
        std::free(text);
    }
    return result;
}

} // namespace tavoren::packageinstaller
