#include "helper-tool/OutputLines.h"

#include <algorithm>

namespace tavoren::helpertool {

OutputLines::OutputLines(std::size_t pieceSize, Emit emit)
    : m_pieceSize(pieceSize)
    , m_emit(std::move(emit))
{
}

void OutputLines::add(std::string_view bytes)
{
    while (!bytes.empty()) {
        if (m_pending.size() == m_pieceSize) {
            // A full piece: its line may end right here or go on.
            if (bytes.front() == '\n')
                bytes.remove_prefix(1);
            m_pending.push_back('\n');
        } else {
            const std::size_t room = m_pieceSize - m_pending.size();
            const std::size_t end = bytes.substr(0, room).find('\n');
            const std::size_t taken = end == std::string_view::npos ? std::min(room, bytes.size()) : end + 1;
            m_pending.append(bytes.substr(0, taken));
            bytes.remove_prefix(taken);
            if (end == std::string_view::npos)
                continue;
        }
        m_emit(m_pending);
        m_pending.clear();
    }
}

void OutputLines::finish()
{
    if (m_pending.empty())
        return;
    m_pending.push_back('\n');
    m_emit(m_pending);
    m_pending.clear();
}

} // namespace tavoren::helpertool
