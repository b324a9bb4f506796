#include "printer-backend/DocumentMerger.h"

#include "printer-backend/BoundedProcess.h"
#include "shared/Descriptor.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFLogger.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <limits>
#include <set>
#include <string_view>
#include <system_error>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::printerbackend {

namespace {
constexpr std::string_view header = "%PDF-";
constexpr std::string_view endLine = "%%EOF";
// What a boundary needs before "%PDF-": the line end before "%%EOF",
// "%%EOF" itself and "\r\n".
constexpr std::size_t contextBefore = 1 + endLine.size() + 2;

struct FileCloser
{
    void operator()(std::FILE *file) const { std::fclose(file); }
};

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

// Whether the "%PDF-" at `at` comes right after a "%%EOF" line and its line
// end; `atFileStart`: window[0] is the file's first byte.
bool followsEndLine(std::string_view window, std::size_t at, bool atFileStart)
{
    std::size_t end = at;
    if (end >= 1 && window[end - 1] == '\n') {
        --end;
        if (end >= 1 && window[end - 1] == '\r')
            --end;
    } else if (end >= 1 && window[end - 1] == '\r') {
        --end;
    } else {
        return false;
    }
    if (end < endLine.size() || window.substr(end - endLine.size(), endLine.size()) != endLine)
        return false;
    const std::size_t lineStart = end - endLine.size();
    if (lineStart == 0)
        return atFileStart;
    return isLineEnd(window[lineStart - 1]);
}

std::shared_ptr<QPDFLogger> silentLogger()
{
    // Standard error is the scheduler's: the library says nothing there.
    auto logger = QPDFLogger::create();
    logger->setInfo(logger->discard());
    logger->setWarn(logger->discard());
    logger->setError(logger->discard());
    return logger;
}

std::string failed(const std::string &what, int error)
{
    return what + ": " + std::strerror(error);
}

// The name of the copy of the document that begins at `begin`.
std::string partName(const std::string &name, std::uint64_t begin)
{
    return name + "." + std::to_string(begin);
}

// How many objects the copy of `page` takes that `seen` does not hold yet,
// following the references as the library's copy does: the page tree above
// a page, and other pages it points to, stay behind. Counting stops past
// `room`, before more of the document is loaded.
std::size_t objectsOfPage(QPDFObjectHandle page, std::set<QPDFObjGen> &seen, std::size_t room)
{
    std::size_t count = 0;
    // A stack rather than recursion: nesting is the input's to choose.
    std::vector<std::pair<QPDFObjectHandle, bool>> pending{{page, true}};
    while (!pending.empty() && count <= room) {
        auto [object, top] = std::move(pending.back());
        pending.pop_back();
        if (object.isDictionary() && (object.isPagesObject() || (!top && object.isIndirect() && object.isPageObject())))
            continue;
        if (object.isIndirect()) {
            if (!seen.insert(object.getObjGen()).second)
                continue;
            ++count;
        }
        if (object.isArray()) {
            for (QPDFObjectHandle item : object.aitems())
                pending.emplace_back(std::move(item), false);
        } else if (object.isDictionary()) {
            for (auto &[key, value] : object.ditems())
                pending.emplace_back(value, false);
        } else if (object.isStream()) {
            pending.emplace_back(object.getDict(), false);
        }
    }
    return count;
}

// The result crosses from the merge's child to the backend as the outcome,
// the counts and the detail.
std::string encode(const DocumentMerger::Result &result)
{
    std::string text = std::to_string(int(result.outcome)) + ' ' + std::to_string(result.pages) + ' '
                       + std::to_string(result.objects) + ' ';
    text.append(result.detail);
    return text;
}

bool decode(const std::string &text, DocumentMerger::Result *result)
{
    unsigned outcome = 0;
    unsigned long long pages = 0;
    unsigned long long objects = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%u %llu %llu%n", &outcome, &pages, &objects, &used) != 3 || used <= 0
        || std::size_t(used) >= text.size() || text[std::size_t(used)] != ' ')
        return false;
    using O = DocumentMerger::Outcome;
    const O kind = O(outcome);
    // Only these come out of the merge itself.
    if (kind != O::Merged && kind != O::KeptWhole && kind != O::TooLarge)
        return false;
    result->outcome = kind;
    result->pages = std::size_t(pages);
    result->objects = std::size_t(objects);
    result->detail = text.substr(std::size_t(used) + 1);
    return true;
}
} // namespace

DocumentMerger::DocumentMerger(Cancellation cancel, std::size_t chunkSize)
    : DocumentMerger(cancel, defaultLimits, chunkSize)
{
}

DocumentMerger::DocumentMerger(Cancellation cancel, const Limits &limits, std::size_t chunkSize)
    : m_cancel(cancel)
    , m_limits(limits)
    , m_chunkSize(std::max(chunkSize, std::size_t(1)))
{
}

std::optional<std::vector<std::uint64_t>> DocumentMerger::documentStarts(int fd) const
{
    // The beginning alone decides whether to look further.
    char first[header.size()];
    std::size_t have = 0;
    while (have < sizeof first) {
        const ssize_t count = ::pread(fd, first + have, sizeof first - have, off_t(have));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return std::nullopt;
        if (count == 0)
            return std::vector<std::uint64_t>{};
        have += std::size_t(count);
    }
    if (std::string_view(first, sizeof first) != header)
        return std::vector<std::uint64_t>{};

    std::vector<std::uint64_t> starts{0};
    // The tail of what was read so far (enough for a boundary that straddles
    // two chunks), then the new chunk.
    std::string window;
    std::uint64_t windowStart = 0; // the file offset of window[0]
    std::size_t unexamined = 0;    // candidates before this index are done
    const std::size_t keep = contextBefore + header.size() - 1;
    std::vector<char> chunk(m_chunkSize);
    for (;;) {
        const ssize_t count = ::pread(fd, chunk.data(), chunk.size(), off_t(windowStart + window.size()));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return std::nullopt;
        if (count == 0)
            return starts;
        window.append(chunk.data(), std::size_t(count));
        for (std::size_t at = window.find(header, unexamined); at != std::string::npos; at = window.find(header, at + 1)) {
            if (followsEndLine(window, at, windowStart == 0)) {
                starts.push_back(windowStart + at);
                // Enough to tell that there are too many.
                if (starts.size() > maximumDocuments)
                    return starts;
            }
        }
        // A header may begin in the last bytes and end in the next chunk.
        unexamined = window.size() >= header.size() ? window.size() - (header.size() - 1) : 0;
        if (window.size() > keep) {
            const std::size_t drop = window.size() - keep;
            window.erase(0, drop);
            windowStart += drop;
            unexamined -= drop;
        }
    }
}

DocumentMerger::Result DocumentMerger::prepare(int folderFd, const std::string &name) const
{
    Result result;
    const shared::Descriptor file(::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status{};
    if (!file || ::fstat(file.get(), &status) != 0) {
        result.detail = failed("Could not open " + name, errno);
        return result;
    }
    const auto starts = documentStarts(file.get());
    if (!starts) {
        result.detail = failed("Could not read " + name, errno);
        return result;
    }
    result.documents = starts->size();
    if (starts->empty()) {
        result.outcome = Outcome::NotPdf;
        return result;
    }
    if (starts->size() == 1) {
        result.outcome = Outcome::Single;
        return result;
    }
    if (starts->size() > maximumDocuments) {
        result.outcome = Outcome::TooMany;
        result.detail = "more than " + std::to_string(maximumDocuments) + " documents";
        return result;
    }
    return merge(folderFd, name, file.get(), *starts, std::uint64_t(status.st_size));
}

int DocumentMerger::copyRange(int folderFd, const std::string &name, int fd, std::uint64_t begin, std::uint64_t end) const
{
    // The library reads files; this one loses its name at once, so nothing
    // of it stays behind however the merge ends.
    const std::string copyName = partName(name, begin);
    shared::Descriptor part(::openat(folderFd, copyName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!part)
        return -1;
    if (::unlinkat(folderFd, copyName.c_str(), 0) != 0)
        return -1;
    std::vector<char> buffer(std::size_t(std::min<std::uint64_t>(m_chunkSize, end - begin)));
    for (std::uint64_t offset = begin; offset < end;) {
        const ssize_t count = ::pread(fd, buffer.data(), std::size_t(std::min<std::uint64_t>(buffer.size(), end - offset)), off_t(offset));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            if (count == 0)
                errno = EIO;
            return -1;
        }
        if (!part.writeAll(std::string_view(buffer.data(), std::size_t(count))))
            return -1;
        offset += std::uint64_t(count);
    }
    if (::lseek(part.get(), 0, SEEK_SET) != 0)
        return -1;
    return part.release();
}

DocumentMerger::Result DocumentMerger::merge(int folderFd, const std::string &name, int fd,
                                             const std::vector<std::uint64_t> &starts, std::uint64_t size) const
{
    const std::string mergedName = name + ".merged";
    const BoundedProcess process(m_limits.memoryBytes, m_cancel);
    const BoundedProcess::Outcome ended = process.run([&] {
        return encode(mergeInto(folderFd, name, mergedName, fd, starts, size));
    });

    Result result;
    result.documents = starts.size();
    result.peakKiB = ended.peakKiB;
    switch (ended.end) {
    case BoundedProcess::End::Reported:
        if (!decode(ended.report, &result)) {
            result.outcome = Outcome::KeptWhole;
            result.detail = "the merge's report is unreadable";
        }
        break;
    case BoundedProcess::End::OutOfMemory:
    case BoundedProcess::End::Crashed:
        // Input the library cannot take within the bound is refused like
        // input over the limits: handing it on would let the next reader
        // try the same.
        result.outcome = Outcome::TooLarge;
        result.detail = "the merge ended early: " + ended.detail;
        break;
    case BoundedProcess::End::Cancelled:
        result.outcome = Outcome::Cancelled;
        break;
    case BoundedProcess::End::Failed:
        result.outcome = Outcome::KeptWhole;
        result.detail = ended.detail;
        break;
    }

    if (result.outcome == Outcome::Merged
        && ::renameat(folderFd, mergedName.c_str(), folderFd, name.c_str()) != 0) {
        const int error = errno;
        result.outcome = Outcome::KeptWhole;
        result.pages = 0;
        result.detail = failed("Could not replace the document by the merged one", error);
    }
    if (result.outcome != Outcome::Merged) {
        // A child ended at any point may have left its files behind.
        ::unlinkat(folderFd, mergedName.c_str(), 0);
        for (const std::uint64_t start : starts)
            ::unlinkat(folderFd, partName(name, start).c_str(), 0);
    }
    return result;
}

DocumentMerger::Result DocumentMerger::mergeInto(int folderFd, const std::string &name, const std::string &mergedName,
                                                 int fd, const std::vector<std::uint64_t> &starts, std::uint64_t size) const
{
    Result result;
    result.documents = starts.size();
    auto keptWhole = [&](std::string why) {
        result.outcome = Outcome::KeptWhole;
        result.pages = 0;
        result.detail = std::move(why);
        return result;
    };
    auto tooLarge = [&](std::string why) {
        result.outcome = Outcome::TooLarge;
        result.detail = std::move(why);
        return result;
    };

    std::vector<shared::Descriptor> parts;
    for (std::size_t index = 0; index < starts.size(); ++index) {
        const std::uint64_t end = index + 1 < starts.size() ? starts[index + 1] : size;
        parts.emplace_back(copyRange(folderFd, name, fd, starts[index], end));
        if (!parts.back())
            return keptWhole(failed("Could not copy document " + std::to_string(index + 1), errno));
    }
    const std::shared_ptr<QPDFLogger> logger = silentLogger();
    auto description = [&](std::size_t index) {
        return "document " + std::to_string(index + 1) + " of " + std::to_string(starts.size());
    };
    // Reads the cross-reference table and trailer of a part; its objects
    // load as they are used. The part's descriptor stays open for the next
    // reading.
    auto load = [&](std::size_t index, QPDF &document) {
        document.setLogger(logger);
        document.setSuppressWarnings(true);
        // A part the library has to piece together is no document of its
        // own: a boundary inside one, or damage.
        document.setAttemptRecovery(false);
        shared::Descriptor copy(::fcntl(parts[index].get(), F_DUPFD_CLOEXEC, 0));
        std::FILE *stream = copy ? ::fdopen(copy.get(), "rb") : nullptr;
        if (!stream) {
            const int error = errno;
            throw std::system_error(error, std::generic_category(), "Could not read " + description(index));
        }
        // The stream closes it from now on.
        copy.release();
        document.processFile(description(index).c_str(), stream, true);
    };

    bool madeMerged = false;
    try {
        // What the page trees claim, before any page is loaded: a job that
        // says it is too large goes at once.
        std::uint64_t claimed = 0;
        for (std::size_t index = 0; index < parts.size(); ++index) {
            QPDF document;
            load(index, document);
            QPDFObjectHandle count = document.getRoot().getKey("/Pages").getKey("/Count");
            if (count.isInteger() && count.getIntValue() > 0)
                claimed += std::uint64_t(std::min<long long>(count.getIntValue(), std::numeric_limits<std::uint32_t>::max()));
            if (claimed > m_limits.pages)
                return tooLarge(description(index) + " brings the pages the page trees claim to " + std::to_string(claimed)
                                + "; the limit is " + std::to_string(m_limits.pages));
        }

        QPDF merged;
        merged.setLogger(logger);
        merged.setSuppressWarnings(true);
        merged.emptyPDF();
        QPDFPageDocumentHelper mergedPages(merged);
        std::vector<PDFVersion> versions;
        for (std::size_t index = 0; index < parts.size(); ++index) {
            // Each document goes once its pages are copied: the copies read
            // their contents from its file, which they keep open.
            QPDF document;
            load(index, document);
            parts[index].reset();
            // What the copy of a page takes includes what it inherits.
            document.pushInheritedAttributesToPage();
            std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(document).getAllPages();
            const std::size_t pageRoom = m_limits.pages - result.pages;
            if (pages.size() > pageRoom)
                return tooLarge(description(index) + " has " + std::to_string(pages.size()) + " pages, after "
                                + std::to_string(result.pages) + "; the limit is " + std::to_string(m_limits.pages));
            const std::size_t objectRoom = m_limits.objects - result.objects;
            std::set<QPDFObjGen> seen;
            std::size_t objects = 0;
            for (QPDFPageObjectHelper &page : pages) {
                objects += objectsOfPage(page.getObjectHandle(), seen, objectRoom - objects);
                if (objects > objectRoom)
                    return tooLarge(description(index) + " has more than " + std::to_string(objectRoom) + " objects, after "
                                    + std::to_string(result.objects) + "; the limit is " + std::to_string(m_limits.objects));
            }

            for (QPDFPageObjectHelper &page : pages)
                mergedPages.addPage(page, false);
            result.pages += pages.size();
            result.objects += objects;
            versions.push_back(document.getVersionAsPDFVersion());
        }

        shared::Descriptor out(
            ::openat(folderFd, mergedName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!out)
            return keptWhole(failed("Could not create the merged document", errno));
        madeMerged = true;
        std::unique_ptr<std::FILE, FileCloser> stream(::fdopen(out.get(), "wb"));
        if (!stream) {
            const int error = errno;
            out.reset();
            ::unlinkat(folderFd, mergedName.c_str(), 0);
            return keptWhole(failed("Could not create the merged document", error));
        }
        // The stream closes it from now on.
        out.release();
        QPDFWriter writer(merged, "merged document", stream.get(), false);
        // The streams go over as they are: nothing decoded, nothing
        // compressed anew.
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(false);
        for (const PDFVersion &version : versions)
            writer.setMinimumPDFVersion(version);
        writer.write();
        if (std::fflush(stream.get()) != 0 || ::fsync(::fileno(stream.get())) != 0 || std::fclose(stream.release()) != 0) {
            const int error = errno;
            ::unlinkat(folderFd, mergedName.c_str(), 0);
            return keptWhole(failed("Could not write the merged document", error));
        }
    } catch (const std::exception &exception) {
        if (madeMerged)
            ::unlinkat(folderFd, mergedName.c_str(), 0);
        return keptWhole(exception.what());
    }
    result.outcome = Outcome::Merged;
    return result;
}

} // namespace tavoren::printerbackend
