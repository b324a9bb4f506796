#pragma once

#include <QString>

namespace tavoren::installer {

// Where the installer learns the system's product version for its log.
// One implementation per platform.
class SystemVersionSource
{
public:
    virtual ~SystemVersionSource() = default;
    // Such as "14" or "12.6.1"; empty when unknown.
    virtual QString productVersion() const = 0;
};

} // namespace tavoren::installer
