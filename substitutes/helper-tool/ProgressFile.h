#pragma once

#include "helper-tool/Reply.h"
#include "shared/Descriptor.h"

#include <string_view>
#include <sys/types.h>
#include <variant>

namespace tavoren::helpertool {

// The installation's progress message file in the working folder all users
// share. The folder is never followed through a link and must belong to
// root or the user who asked for the installation; the file is always made
// anew and handed to that user, whose installer reads and later removes it.
class ProgressFile
{
public:
    // The new, empty file, or the reply that ends the request.
    static std::variant<ProgressFile, Reply> create(uid_t requester);

    // One write(2) for the whole line, so a reader never sees half of it.
    bool writeLine(std::string_view line);

private:
    explicit ProgressFile(shared::Descriptor file);

    shared::Descriptor m_file;
};

} // namespace tavoren::helpertool
