#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace tavoren::helpertool {

// Cuts a command's output into lines as it arrives. Each line is handed on
// with its line end; a line longer than the piece size goes in pieces of
// that size, each given a line end, so no line is ever held unbounded.
class OutputLines
{
public:
    using Emit = std::function<void(std::string_view line)>;

    OutputLines(std::size_t pieceSize, Emit emit);

    void add(std::string_view bytes);
    // The output ended: a last line without line end gets one.
    void finish();

private:
    std::size_t m_pieceSize;
    Emit m_emit;
    std::string m_pending;
};

} // namespace tavoren::helpertool
