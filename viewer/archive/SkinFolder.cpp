#include "archive/SkinFolder.h"

#include "platform/CaseLookup.h"

namespace veltrane {

bool IsMainBitmap(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return EqualIgnoringAsciiCase(slash == std::string_view::npos ? path : path.substr(slash + 1), "main.bmp");
}

std::optional<std::string> SkinFolderOf(const std::vector<std::string>& paths) {
    for (auto it = paths.rbegin(); it != paths.rend(); ++it)
        if (IsMainBitmap(*it)) {
            const std::size_t slash = it->find_last_of('/');
            return slash == std::string::npos ? std::string() : it->substr(0, slash + 1);
        }
    return std::nullopt;
}

}  // namespace veltrane
