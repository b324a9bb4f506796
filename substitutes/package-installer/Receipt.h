#pragma once

#include "shared/Expected.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavoren::packageinstaller {

// What an installation leaves in the receipts folder: IDENTIFIER.plist, an
// XML property list, and IDENTIFIER.paths, the installed paths one a line.
struct Receipt
{
    std::string identifier;
    std::string version;
    std::string installPrefix;       // the target as given
    std::int64_t installDate = 0;    // seconds since 1970
    std::vector<std::string> paths;  // absolute as seen from the target, parents first

    std::string plistXml() const;
    std::string pathList() const;
    // Writes both files into the open receipts folder, each atomically,
    // mode 0644; `folderPath` names the folder in the error's description.
    shared::Expected<void> write(int folderFd, const std::string &folderPath) const;

    // The receipt an earlier installation left for `identifier`.
    struct Previous
    {
        bool exists = false;
        std::vector<std::string> paths; // empty when the receipt is damaged
    };
    static Previous previous(int folderFd, const std::string &identifier);
};

} // namespace tavoren::packageinstaller
