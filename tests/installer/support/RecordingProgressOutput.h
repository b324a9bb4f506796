#pragma once

#include "installer/core/ProgressOutput.h"

#include <QStringList>
#include <mutex>

namespace tavoren::testsupport {

// Silent mode's standard output, kept line by line.
class RecordingProgressOutput final : public installer::ProgressOutput
{
public:
    void write(const QByteArray &line) override;
    QStringList lines() const;

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
};

} // namespace tavoren::testsupport
