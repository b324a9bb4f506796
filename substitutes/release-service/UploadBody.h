#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavoren::releaseservice {

// The multipart body of a job upload, checked strictly against the one
// layout the client writes: an "Owner" JSON part, then one "file" part.
class UploadBody
{
public:
    struct Result
    {
        std::string error; // empty when the body follows the layout
        std::string ownerJson;
        std::string emailTo;
        std::optional<std::string> ownerEmail;
        std::string contentDescription;
        std::uint64_t fileSize = 0;
    };

    // The boundary of "multipart/form-data; boundary=B", or nothing.
    static std::optional<std::string> boundaryFrom(std::string_view contentType);

    // Checks the body kept in `bodyPath` and writes the file part's bytes to
    // `filePath` (a new file).
    static Result extract(const std::string &bodyPath, std::string_view boundary, const std::string &filePath);

    // The same check on bytes in memory; the file bytes are returned in `file`.
    static Result parse(std::string_view body, std::string_view boundary, std::string_view *file);
};

} // namespace tavoren::releaseservice
