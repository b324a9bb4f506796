#pragma once

#include <QString>

namespace tavoren::client {

// The client configuration record: "TavorenClient.plist" in the resources
// holds the administrator's defaults, the user's own file of that name the
// values the user set.
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
