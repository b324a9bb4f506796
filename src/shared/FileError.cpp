#include "shared/FileError.h"

#include <system_error>

namespace tavoren::shared {

// Runs on the server thread and the queue: strerror is not thread-safe.
std::string FileError::description() const
{
    return "Could not " + operation + " \"" + path + "\": " + std::system_category().message(error);
}

} // namespace tavoren::shared
