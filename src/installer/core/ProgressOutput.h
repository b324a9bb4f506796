#pragma once

#include <QByteArray>

namespace tavoren::installer {

// Where silent mode writes its "PERCENT:STATUS" lines, from a background
// thread, each as soon as it is made. One implementation per platform.
class ProgressOutput
{
public:
    virtual ~ProgressOutput() = default;
    virtual void write(const QByteArray &line) = 0;
};

} // namespace tavoren::installer
