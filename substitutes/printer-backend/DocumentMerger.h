#pragma once

#include "printer-backend/Cancellation.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavoren::printerbackend {

// A job of several files reaches the backend as complete PDF documents one
// after another. The client takes one PDF, so those documents become one,
// every page in order. Only the boundaries are found here, by a scan in
// chunks; the PDF work is the PDF library's, which reads the documents from
// files rather than from memory.
class DocumentMerger
{
public:
    static constexpr std::size_t defaultChunkSize = 1024 * 1024;
    // Each document stays open until the whole is written.
    static constexpr std::size_t maximumDocuments = 256;

    enum class Outcome {
        NotPdf,    // the data does not begin with "%PDF-"
        Single,    // one document: left as it is
        Merged,    // several, now one
        KeptWhole, // several, yet one would not load or the merge failed: left as it is
        TooMany,   // more than maximumDocuments: handed on, a reader would see the last one only
        Cancelled,
        Failed,    // the file could not be read
    };
    struct Result
    {
        Outcome outcome = Outcome::Failed;
        std::size_t documents = 0;
        std::size_t pages = 0; // of the merged document
        std::string detail;    // why kept whole or failed, for the log
    };

    explicit DocumentMerger(Cancellation cancel = {}, std::size_t chunkSize = defaultChunkSize);

    // Where each document in the open file begins: 0 first, then every
    // "%PDF-" at the start of the line after a "%%EOF" line. Empty when the
    // file does not begin with "%PDF-"; nullopt (errno set) when it cannot
    // be read.
    std::optional<std::vector<std::uint64_t>> documentStarts(int fd) const;

    // Looks at the file `name` of the open folder and, when it holds several
    // documents, replaces it by one under the same name: written under a new
    // name in that folder, then renamed. Nothing outside the folder is used.
    Result prepare(int folderFd, const std::string &name) const;

private:
    Result merge(int folderFd, const std::string &name, int fd, const std::vector<std::uint64_t> &starts,
                 std::uint64_t size) const;
    // A copy of bytes [begin, end) of `fd` in a file of the folder that has
    // no name any more: the descriptor, or -1 with errno.
    int copyRange(int folderFd, const std::string &name, int fd, std::uint64_t begin, std::uint64_t end) const;

    Cancellation m_cancel;
    std::size_t m_chunkSize;
};

} // namespace tavoren::printerbackend
