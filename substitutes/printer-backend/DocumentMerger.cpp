#include "printer-backend/DocumentMerger.h"

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
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::printerbackend {

namespace {
constexpr std::string_view header = "%PDF-";
constexpr std::string_view endLine = "%%EOF";
// What a boundary needs before "%PDF-": the line end before "%%EOF",
// "%%EOF" itself and "\r\n".
constexpr std::size_t contextBefore = 1 + endLine.size() + 2;

struct CancelledWrite
{
};

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
} // namespace

DocumentMerger::DocumentMerger(Cancellation cancel, std::size_t chunkSize)
    : m_cancel(cancel)
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
    const std::string partName = name + "." + std::to_string(begin);
    shared::Descriptor part(::openat(folderFd, partName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!part)
        return -1;
    if (::unlinkat(folderFd, partName.c_str(), 0) != 0)
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
    Result result;
    result.documents = starts.size();
    auto keptWhole = [&](std::string why) {
        result.outcome = Outcome::KeptWhole;
        result.pages = 0;
        result.detail = std::move(why);
        return result;
    };
    auto cancelled = [&] {
        result.outcome = Outcome::Cancelled;
        return result;
    };

    const std::string mergedName = name + ".merged";
    bool madeMerged = false;
    const std::shared_ptr<QPDFLogger> logger = silentLogger();
    try {
        // The pages' contents are read from the documents while the merged
        // one is written: they outlive it.
        std::vector<std::unique_ptr<QPDF>> documents;
        QPDF merged;
        merged.setLogger(logger);
        merged.setSuppressWarnings(true);
        merged.emptyPDF();
        QPDFPageDocumentHelper mergedPages(merged);
        for (std::size_t index = 0; index < starts.size(); ++index) {
            if (m_cancel.requested())
                return cancelled();
            const std::uint64_t end = index + 1 < starts.size() ? starts[index + 1] : size;
            const int part = copyRange(folderFd, name, fd, starts[index], end);
            if (part < 0)
                return keptWhole(failed("Could not copy document " + std::to_string(index + 1), errno));
            std::FILE *stream = ::fdopen(part, "rb");
            if (!stream) {
                const int error = errno;
                ::close(part);
                return keptWhole(failed("Could not copy document " + std::to_string(index + 1), error));
            }
            auto document = std::make_unique<QPDF>();
            document->setLogger(logger);
            document->setSuppressWarnings(true);
            // A part the library has to piece together is no document of
            // its own: a boundary inside one, or damage.
            document->setAttemptRecovery(false);
            const std::string description = "document " + std::to_string(index + 1) + " of " + std::to_string(starts.size());
            document->processFile(description.c_str(), stream, true);
            for (QPDFPageObjectHelper &page : QPDFPageDocumentHelper(*document).getAllPages()) {
                mergedPages.addPage(page, false);
                ++result.pages;
            }
            documents.push_back(std::move(document));
        }

        const int out = ::openat(folderFd, mergedName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (out < 0)
            return keptWhole(failed("Could not create the merged document", errno));
        madeMerged = true;
        std::unique_ptr<std::FILE, FileCloser> stream(::fdopen(out, "wb"));
        if (!stream) {
            const int error = errno;
            ::close(out);
            ::unlinkat(folderFd, mergedName.c_str(), 0);
            return keptWhole(failed("Could not create the merged document", error));
        }
        QPDFWriter writer(merged, "merged document", stream.get(), false);
        // The streams go over as they are: nothing decoded, nothing
        // compressed anew.
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(false);
        for (const auto &document : documents)
            writer.setMinimumPDFVersion(document->getVersionAsPDFVersion());
        writer.registerProgressReporter(std::make_shared<QPDFWriter::FunctionProgressReporter>([this](int) {
            if (m_cancel.requested())
                throw CancelledWrite{};
        }));
        writer.write();
        if (std::fflush(stream.get()) != 0 || ::fsync(::fileno(stream.get())) != 0 || std::fclose(stream.release()) != 0) {
            const int error = errno;
            ::unlinkat(folderFd, mergedName.c_str(), 0);
            return keptWhole(failed("Could not write the merged document", error));
        }
        if (::renameat(folderFd, mergedName.c_str(), folderFd, name.c_str()) != 0) {
            const int error = errno;
            ::unlinkat(folderFd, mergedName.c_str(), 0);
            return keptWhole(failed("Could not replace the document by the merged one", error));
        }
    } catch (const CancelledWrite &) {
        if (madeMerged)
            ::unlinkat(folderFd, mergedName.c_str(), 0);
        return cancelled();
    } catch (const std::exception &exception) {
        if (madeMerged)
            ::unlinkat(folderFd, mergedName.c_str(), 0);
        return keptWhole(exception.what());
    }
    result.outcome = Outcome::Merged;
    return result;
}

} // namespace tavoren::printerbackend
