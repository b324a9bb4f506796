#include "RecordingProgressOutput.h"

namespace tavoren::testsupport {

void RecordingProgressOutput::write(const QByteArray &line)
{
    std::lock_guard lock(m_mutex);
    m_lines.append(QString::fromUtf8(line.endsWith('\n') ? line.chopped(1) : line));
}

QStringList RecordingProgressOutput::lines() const
{
    std::lock_guard lock(m_mutex);
    return m_lines;
}

} // namespace tavoren::testsupport
