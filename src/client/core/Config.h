#pragma once

#include <QString>

namespace tavoren::client {

// The client configuration record ("TavorenClient.plist" in the resources).
struct Config
{
    QString owneremail;
    QString tavorenlogobig;
    QString tavorenlogosmall;
    QString releasecodetext;
    QString emailentrytext;
    QString applicationicon;

    bool operator==(const Config &) const = default;
};

} // namespace tavoren::client
