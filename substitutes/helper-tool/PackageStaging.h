#pragma once

#include "helper-tool/BuiltArtefacts.h"
#include "shared/Descriptor.h"
#include "shared/Expected.h"

#include <functional>
#include <string>
#include <string_view>

namespace tavoren::helpertool {

// The package a request names lies in a folder of the requester's, who may
// change it at any moment. Root installs only a copy of it in a folder only
// root can write, checked there against the package the helper was built
// with, so what was checked is what is installed.
class PackageStaging
{
public:
    // Removes the copy and its folder.
    ~PackageStaging();
    PackageStaging(PackageStaging &&other) noexcept;
    PackageStaging &operator=(PackageStaging &&) = delete;
    PackageStaging(const PackageStaging &) = delete;
    PackageStaging &operator=(const PackageStaging &) = delete;

    // Copies `requested` into the staging folder below `supportFolder`
    // (resolved, root's alone) under the same file name and checks it
    // against `built`. An Error whose code is 0 means the package is not
    // the one built with the helper (refused); any other code, that it could
    // not be read or copied (failed).
    static shared::Expected<PackageStaging> stage(const std::string &requested, const std::string &supportFolder,
                                                  const BuiltArtefacts &built);

    // The copy to install.
    const std::string &path() const { return m_path; }

    // The lower-case hex SHA-256 of everything `fd` reads from its start,
    // each block also handed to `copy` when given; or the errno of the read
    // that failed, or the one `copy` left when it refused a block.
    static shared::Expected<std::string> sha256(int fd, const std::function<bool(std::string_view)> &copy = {});

private:
    PackageStaging(shared::Descriptor support, std::string path);

    shared::Descriptor m_support;
    std::string m_path;
};

} // namespace tavoren::helpertool
