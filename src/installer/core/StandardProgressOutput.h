#pragma once

#include "installer/core/ProgressOutput.h"

namespace tavoren::installer {

// Standard output, flushed after every line so an administrator's script
// sees each at once.
class StandardProgressOutput final : public ProgressOutput
{
public:
    void write(const QByteArray &line) override;
};

} // namespace tavoren::installer
