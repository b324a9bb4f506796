#pragma once

#include <QString>

namespace tavoren::client {

// The client's resource folder: "../Resources" from the executable inside
// the bundle, where TavorenClient.plist, images and translations live.
class ResourceFolder
{
public:
    static QString path();
};

} // namespace tavoren::client
