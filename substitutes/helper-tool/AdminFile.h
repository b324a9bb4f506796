#pragma once

#include "helper-tool/Reply.h"

namespace tavoren::helpertool {

// The public/private switch of the administrator file, written in-process:
// the property list is read without following a link, its "IsPrivateInstall"
// entry set, every other entry kept, and the whole written back as XML in
// place of the old file.
class AdminFile
{
public:
    static Reply setPrivateInstall(bool privateInstall);
};

} // namespace tavoren::helpertool
