#include "release-service/AnswerStream.h"

#include <zlib.h>

#include <algorithm>

namespace tavoren::releaseservice {

namespace {

constexpr std::size_t pieceBytes = 64 * 1024;

const std::string &spaces()
{
    static const std::string block(pieceBytes, ' ');
    return block;
}

} // namespace

struct AnswerStream::Compressor
{
    z_stream zlib{};
    bool ready = false;
    bool finished = false;
    std::string_view input; // plain bytes zlib has not taken yet
    std::string output = std::string(pieceBytes, '\0');
    std::size_t outputStart = 0;
    std::size_t outputEnd = 0;

    ~Compressor()
    {
        if (ready)
            deflateEnd(&zlib);
    }
};

AnswerStream::AnswerStream(std::string text, std::optional<std::uint64_t> paddedLength, bool gzip)
{
    if (paddedLength && *paddedLength <= text.size()) {
        text.resize(std::size_t(*paddedLength));
    } else if (paddedLength) {
        m_padding = *paddedLength - text.size();
        // Inside the closing bracket: an answer cut anywhere is no JSON value.
        if (text.ends_with('}') || text.ends_with(']')) {
            m_tail = text.substr(text.size() - 1);
            text.pop_back();
        }
    }
    m_head = std::move(text);
    if (gzip) {
        m_compressor = std::make_unique<Compressor>();
        // 15 + 16: zlib's gzip wrapper. Run-length matching compresses the
        // padding as well as the default strategy (a GiB to about a MiB) in
        // half the time, which matters as a length is found by compressing twice.
        m_compressor->ready =
            deflateInit2(&m_compressor->zlib, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_RLE) == Z_OK;
        m_failed = !m_compressor->ready;
    }
}

AnswerStream::~AnswerStream() = default;

std::string_view AnswerStream::next(std::size_t limit)
{
    if (m_failed || limit == 0)
        return {};
    return m_compressor ? nextCompressed(limit) : nextPlain(limit);
}

std::string_view AnswerStream::nextPlain(std::size_t limit)
{
    const std::uint64_t headEnd = m_head.size();
    const std::uint64_t paddingEnd = headEnd + m_padding;
    std::string_view piece;
    if (m_position < headEnd)
        piece = std::string_view(m_head).substr(std::size_t(m_position), limit);
    else if (m_position < paddingEnd)
        piece = std::string_view(spaces()).substr(0, std::size_t(std::min<std::uint64_t>(limit, paddingEnd - m_position)));
    else if (m_position < paddingEnd + m_tail.size())
        piece = std::string_view(m_tail).substr(std::size_t(m_position - paddingEnd), limit);
    m_position += piece.size();
    return piece;
}

std::string_view AnswerStream::nextCompressed(std::size_t limit)
{
    Compressor &c = *m_compressor;
    while (c.outputStart == c.outputEnd && !c.finished) {
        if (c.input.empty())
            c.input = nextPlain(pieceBytes);
        const bool last = c.input.empty();
        // The plain pieces live in this object's strings; zlib only reads them.
        c.zlib.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(c.input.data()));
        c.zlib.avail_in = uInt(c.input.size());
        c.zlib.next_out = reinterpret_cast<Bytef *>(c.output.data());
        c.zlib.avail_out = uInt(c.output.size());
        const int result = deflate(&c.zlib, last ? Z_FINISH : Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
            m_failed = true;
            return {};
        }
        c.input.remove_prefix(c.input.size() - c.zlib.avail_in);
        c.outputStart = 0;
        c.outputEnd = c.output.size() - c.zlib.avail_out;
        c.finished = result == Z_STREAM_END;
    }
    const std::string_view piece =
        std::string_view(c.output).substr(c.outputStart, std::min(limit, c.outputEnd - c.outputStart));
    c.outputStart += piece.size();
    return piece;
}

std::optional<std::uint64_t> AnswerStream::length(const std::string &text, std::optional<std::uint64_t> paddedLength,
                                                  bool gzip, const std::function<bool()> &keepGoing)
{
    AnswerStream stream(text, paddedLength, gzip);
    if (!gzip)
        return stream.m_head.size() + stream.m_padding + stream.m_tail.size();
    std::uint64_t total = 0;
    while (keepGoing()) {
        const std::string_view piece = stream.next(pieceBytes);
        if (piece.empty())
            return stream.failed() ? std::nullopt : std::optional(total);
        total += piece.size();
    }
    return std::nullopt;
}

} // namespace tavoren::releaseservice
