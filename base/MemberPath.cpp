#include "base/MemberPath.h"

namespace veltrane {

void ReplaceUnfitCharacters(std::string& path) {
    for (std::size_t i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (c == '\\') path[i] = '/';
        else if (c == '*' || c == '<' || c == '>' || c == '?' || c == '|' || c == '"' || c < 32 || c == 127 ||
                 (c == ':' && (i + 1 >= path.size() || (path[i + 1] != '/' && path[i + 1] != '\\'))))
            path[i] = '_';
    }
}

std::string SafeRelativePath(std::string_view stored, bool& folder) {
    folder = stored.empty() || stored.back() == '/' || stored.back() == '\\';
    std::string safe;
    std::size_t start = 0;
    while (start <= stored.size()) {
        std::size_t end = stored.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = stored.size();
        const std::string_view part = stored.substr(start, end - start);
        if (!part.empty() && part != "." && part != "..") {
            if (!safe.empty()) safe += '/';
            safe += part;
        }
        start = end + 1;
    }
    if (safe.empty()) folder = true;
    if (folder && !safe.empty()) safe += '/';
    ReplaceUnfitCharacters(safe);
    return safe;
}

}  // namespace veltrane
