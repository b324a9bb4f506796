#include "shared/JobArgument.h"

namespace tavoren::shared {

std::string JobArgument::compose(std::string_view documentName, std::string_view spooledFile)
{
    std::string argument;
    argument.reserve(documentName.size() + separator.size() + spooledFile.size());
    argument.append(documentName);
    argument.append(separator);
    argument.append(spooledFile);
    return argument;
}

std::vector<std::string> JobArgument::pieces(std::string_view argument)
{
    std::vector<std::string> result;
    std::size_t start = 0;
    for (std::size_t at = argument.find(separator); at != std::string_view::npos;
         at = argument.find(separator, start)) {
        result.emplace_back(argument.substr(start, at - start));
        start = at + separator.size();
    }
    result.emplace_back(argument.substr(start));
    return result;
}

std::string JobArgument::spooledFile(std::string_view argument)
{
    const std::vector<std::string> all = pieces(argument);
    return all.size() < 2 ? std::string() : all[1];
}

std::string JobArgument::extension(std::string_view documentName)
{
    const std::size_t dot = documentName.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(documentName.substr(dot + 1));
}

} // namespace tavoren::shared
