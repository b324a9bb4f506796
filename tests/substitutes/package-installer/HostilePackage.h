#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tavoren::testsupport {

// Packages and archives made to hurt the package installer, built in time
// and memory in proportion to their size on disk, not to what they would
// unpack to: runs of zeros are deflated once and the block repeated.
class HostilePackage
{
public:
    struct Member
    {
        std::string name;
        std::string data;                                     // as stored
        std::uint64_t size = 0;                               // unpacked
        std::string encoding = "application/octet-stream";   // or "application/x-gzip"

        static Member stored(std::string name, std::string data)
        {
            const std::uint64_t size = data.size();
            return {std::move(name), std::move(data), size};
        }
    };

    // An outer xar archive of `members`, then `emptyMembers` members without
    // data in its table of contents. `prologue` goes before the table's root
    // element; the header declares `declaredTableSize` as the table's
    // inflated size instead of the true one when given.
    static std::string xar(const std::vector<Member> &members, std::uint64_t emptyMembers = 0,
                           const std::string &prologue = {}, std::optional<std::uint64_t> declaredTableSize = std::nullopt);

    // A cpio archive, gzip-compressed unless told otherwise: the folder
    // "./opt" and files below it holding `zeros` zero bytes in all.
    static std::string zeroPayload(std::uint64_t zeros, bool compressed = true);
    // A gzip-compressed cpio archive whose only header announces a name of
    // nearly 4 GiB, followed by `zeros` zero bytes.
    static std::string longNamePayload(std::uint64_t zeros);
    // `zeros` zero bytes as a zlib stream, the form of a xar member stored
    // with "application/x-gzip".
    static std::string zlibZeros(std::uint64_t zeros);

    // The driver's PackageInfo, identifier "com.Corvane.TavorenInstaller",
    // version 1.
    static std::string packageInfo();
    // A small valid payload: "./opt" and "./opt/ok".
    static std::string smallPayload();
};

} // namespace tavoren::testsupport
