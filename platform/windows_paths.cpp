#include "windows_paths.h"

#include <cctype>
#include <vector>

namespace win
{

namespace
{

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool IsDrivePath(std::string_view path)
{
    return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
           IsSeparator(path[2]);
}

} // namespace

std::string NormalWindowsPath(std::string_view path)
{
    if (!IsDrivePath(path))
        return {};
    std::vector<std::string_view> parts;
    std::size_t at = 3;
    while (at <= path.size()) {
        std::size_t end = at;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        const std::string_view part = path.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    std::string normal{path[0], ':', '\\'};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            normal += '\\';
        normal += parts[i];
    }
    return normal;
}

} // namespace win
