#pragma once

#include "installer/core/SystemVersionSource.h"

namespace tavoren::testsupport {

// A system whose version is always the same.
class FakeSystemVersion final : public installer::SystemVersionSource
{
public:
    QString productVersion() const override { return QStringLiteral("14.2"); }
};

} // namespace tavoren::testsupport
