#pragma once

#include "package-installer/PayloadEntry.h"
#include "shared/Expected.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace tavoren::packageinstaller {

// tavoren-pkgbuild: makes a flat package of a folder tree.
//   tavoren-pkgbuild --root DIR [--scripts DIR] --identifier ID --version V
//                    [--install-location /] OUTPUT.pkg
// The payload is everything below --root, sorted by path, owned by root,
// modes and links as on disk; only files, folders and links are taken.
// The scripts folder's "preinstall" and "postinstall" become the package's
// scripts. The package is written atomically and is the same for the same
// input.
class PackageBuilder
{
public:
    struct Options
    {
        std::string root;
        std::string scripts;
        std::string identifier;
        std::string version;
        std::string installLocation = "/";
        std::string output;
    };

    // None when the command line is not the one above.
    static std::optional<Options> parse(const std::vector<std::string> &arguments);
    static const char *usage();

    // Success, else an error whose text says why the package was not written.
    static shared::Expected<void> build(const Options &options);

    // Everything below `folder` as entries "./name", "./name/inner", ...,
    // sorted by path, links not followed; the content is read from disk
    // when the package is written. The same errors as build().
    static shared::Expected<std::vector<PayloadEntry>> collect(const std::string &folder);

    // The program: the exit status, messages on `out` and `err`.
    static int run(const std::vector<std::string> &arguments, std::FILE *out, std::FILE *err);
};

} // namespace tavoren::packageinstaller
