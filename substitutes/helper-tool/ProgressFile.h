#pragma once

#include "shared/Descriptor.h"
#include "shared/Expected.h"

#include <string_view>
#include <sys/types.h>

namespace tavoren::helpertool {

// The installation's progress message file in the working folder all users
// share. The folder is never followed through a link and must belong to
// root or the user who asked for the installation; the file is always made
// anew and handed to that user, whose installer reads and later removes it.
class ProgressFile
{
public:
    // The new, empty file, or why not: the text of the failed reply that
    // ends the request.
    static shared::Expected<ProgressFile> create(uid_t requester);

    // One write(2) for the whole line, so a reader never sees half of it.
    shared::Expected<void> writeLine(std::string_view line);

private:
    explicit ProgressFile(shared::Descriptor file);

    shared::Descriptor m_file;
};

} // namespace tavoren::helpertool
