#include "helper-tool/RequestFrame.h"

namespace tavoren::helpertool {

RequestFrame::RequestFrame(std::size_t limit)
    : m_limit(limit)
{
}

RequestFrame::State RequestFrame::add(std::string_view bytes)
{
    if (m_state != State::Incomplete)
        return m_state;
    const std::size_t searchFrom = m_bytes.size();
    m_bytes.append(bytes.substr(0, room()));
    const std::size_t end = m_bytes.find('\n', searchFrom);
    if (end == std::string::npos)
        m_state = m_bytes.size() >= m_limit ? State::TooLong : State::Incomplete;
    else if (end + 1 > m_limit)
        m_state = State::TooLong;
    else if (end + 1 < m_bytes.size() || bytes.size() > m_bytes.size() - searchFrom)
        m_state = State::ExtraBytes;
    else
        m_state = State::Complete;
    return m_state;
}

std::string_view RequestFrame::line() const
{
    if (m_state != State::Complete)
        return {};
    return std::string_view(m_bytes).substr(0, m_bytes.size() - 1);
}

std::size_t RequestFrame::room() const
{
    return m_bytes.size() > m_limit ? 0 : m_limit + 1 - m_bytes.size();
}

} // namespace tavoren::helpertool
