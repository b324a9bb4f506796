#pragma once

#include "shared/Descriptor.h"
#include "shared/Expected.h"

#include <QLatin1String>
#include <QString>

namespace tavoren::client {

// The user's own configuration folder, "CorvaneTavoren" in the
// configuration home: $XDG_CONFIG_HOME when set and absolute, else
// ~/.config (the home from $HOME, else from the password database). What
// the client remembers for a user lives here, never in the shared bundle.
class UserConfigFolder
{
public:
    static constexpr QLatin1String folderName{"CorvaneTavoren"};

    // Empty when no home can be found.
    static QString configHome();
    static QString path();

    // The folder for reading, never through a link in its place; the Error's
    // code is ENOENT when it or the configuration home is missing.
    static shared::Expected<shared::Descriptor> open();
    // The folder for writing: the configuration home and the folder are made
    // 0700 when missing; a link in the folder's place and a folder that is
    // not the user's own are refused.
    static shared::Expected<shared::Descriptor> openForWriting();
};

} // namespace tavoren::client
