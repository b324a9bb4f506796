// tavoren-hostile-package: writes a hostile package for the benchmarks.
//   tavoren-hostile-package members COUNT OUT   a table of contents naming COUNT members
//   tavoren-hostile-package payload BYTES OUT   a payload unpacking to BYTES zeros
//   tavoren-hostile-package scripts BYTES OUT   scripts unpacking to BYTES zeros
//   tavoren-hostile-package member BYTES OUT    a Payload member the outer archive deflates, BYTES zeros
#include "HostilePackage.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char *argv[])
{
    using tavoren::testsupport::HostilePackage;
    if (argc != 4) {
        std::fputs("usage: tavoren-hostile-package members|payload|scripts|member COUNT OUT\n", stderr);
        return 1;
    }
    const std::string kind = argv[1];
    const auto count = std::strtoull(argv[2], nullptr, 10);
    const auto info = HostilePackage::Member::stored("PackageInfo", HostilePackage::packageInfo());
    std::string package;
    if (kind == "members") {
        package = HostilePackage::xar({}, count);
    } else if (kind == "payload") {
        const std::string payload = HostilePackage::zeroPayload(count);
        package = HostilePackage::xar({info, HostilePackage::Member::stored("Payload", payload)});
    } else if (kind == "scripts") {
        const std::string payload = HostilePackage::smallPayload();
        const std::string scripts = HostilePackage::zeroPayload(count);
        package = HostilePackage::xar({info, HostilePackage::Member::stored("Payload", payload), HostilePackage::Member::stored("Scripts", scripts)});
    } else if (kind == "member") {
        package = HostilePackage::xar({info, {"Payload", HostilePackage::zlibZeros(count), count, "application/x-gzip"}});
    } else {
        std::fputs("tavoren-hostile-package: unknown kind\n", stderr);
        return 1;
    }
    std::FILE *out = std::fopen(argv[3], "wb");
    if (package.empty() || !out || std::fwrite(package.data(), 1, package.size(), out) != package.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "tavoren-hostile-package: could not write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
