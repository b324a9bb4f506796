#include "installer/core/StandardProgressOutput.h"

#include <cstdio>

namespace tavoren::installer {

void StandardProgressOutput::write(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stdout);
    std::fflush(stdout);
}

} // namespace tavoren::installer
