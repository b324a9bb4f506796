#include "agent/FileError.h"

#include <cstring>

namespace tavoren::agent {

std::string FileError::description() const
{
    return "Could not " + operation + " \"" + path + "\": " + std::strerror(error);
}

} // namespace tavoren::agent
