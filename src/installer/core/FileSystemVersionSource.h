#pragma once

#include "installer/core/SystemVersionSource.h"

namespace tavoren::installer {

// "ProductVersion" of the system version property list when there is one,
// else VERSION_ID of os-release (the machine's own when the root has none).
class FileSystemVersionSource final : public SystemVersionSource
{
public:
    QString productVersion() const override;
};

} // namespace tavoren::installer
