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
//
// Any user may print, and the library holds every page and object it copies
// in memory, so the merge has limits: the pages the documents' page trees
// claim, checked before any page is loaded; the pages and objects each
// document brings, checked before the library copies it; and the memory of
// the child process the merge runs in, for input made to slip past those
// counts. A job over any of them is refused whole.
class DocumentMerger
{
public:
    static constexpr std::size_t defaultChunkSize = 1024 * 1024;
    // Each document's file stays open until the whole is written.
    static constexpr std::size_t maximumDocuments = 256;

    struct Limits
    {
        std::size_t pages;          // of the merged document
        std::size_t objects;        // it takes from the documents, pages included
        std::uint64_t memoryBytes;  // the merge's child may add to its address space
    };
    // The library takes about 3 KiB for each page or object of the merged
    // document, and as much again for the document being copied. 20000
    // pages (forty reams) and 100000 objects are beyond any print job and
    // take at most about 550 MB. The bound leaves room for the largest
    // stream a 512 MiB job can hold, which the library keeps twice while
    // writing it.
    static constexpr Limits defaultLimits{20000, 100000, 1536ull * 1024 * 1024};

    enum class Outcome {
        NotPdf,    // the data does not begin with "%PDF-"
        Single,    // one document: left as it is
        Merged,    // several, now one
        KeptWhole, // several, yet one would not load or the merge failed: left as it is
        TooMany,   // more than maximumDocuments: handed on, a reader would see the last one only
        TooLarge,  // over a limit, or the merge ended at its memory bound: left as it is
        Cancelled,
        Failed,    // the file could not be read
    };
    struct Result
    {
        Outcome outcome = Outcome::Failed;
        std::size_t documents = 0;
        std::size_t pages = 0;   // of the merged document
        std::size_t objects = 0; // in it
        std::string detail;      // why kept whole, refused or failed, for the log
        long peakKiB = 0;        // the merge's largest resident size, when it ran
    };

    explicit DocumentMerger(Cancellation cancel = {}, std::size_t chunkSize = defaultChunkSize);
    DocumentMerger(Cancellation cancel, const Limits &limits, std::size_t chunkSize = defaultChunkSize);

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
    // Runs the merge in a child process bounded in memory, then gives the
    // merged document the file's name.
    Result merge(int folderFd, const std::string &name, int fd, const std::vector<std::uint64_t> &starts,
                 std::uint64_t size) const;
    // The child's part: writes the merged document as `mergedName`.
    Result mergeInto(int folderFd, const std::string &name, const std::string &mergedName, int fd,
                     const std::vector<std::uint64_t> &starts, std::uint64_t size) const;
    // A copy of bytes [begin, end) of `fd` in a file of the folder that has
    // no name any more: the descriptor, or -1 with errno.
    int copyRange(int folderFd, const std::string &name, int fd, std::uint64_t begin, std::uint64_t end) const;

    Cancellation m_cancel;
    Limits m_limits;
    std::size_t m_chunkSize;
};

} // namespace tavoren::printerbackend
