#include "SkinSources.h"

#include "app/SkinList.h"
#include "platform/CaseLookup.h"

#include <filesystem>
#include <strings.h>
#include <system_error>

namespace fs = std::filesystem;

namespace veltrane::preview {
namespace {

bool EndsWithIgnoringCase(const std::string& text, const char* suffix) {
    const std::size_t n = std::char_traits<char>::length(suffix);
    return text.size() >= n && strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

bool IsSkinFolder(const fs::path& folder) {
    std::error_code ec;
    return fs::is_regular_file(ResolveCaseInsensitive(folder.string() + "/", "main.bmp"), ec);
}

// The last component of a path, ignoring trailing separators ("skins/blue/" gives "blue").
std::string LastPart(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    const std::size_t slash = trimmed.find_last_of('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

SkinSource ArchiveSource(const std::string& path) {
    const std::string file = LastPart(path);
    return {SkinSource::Kind::Archive, path, file.substr(0, file.size() - 4)};
}

}  // namespace

bool IsArchiveArgument(const std::string& path) {
    return EndsWithIgnoringCase(path, ".wsz") || EndsWithIgnoringCase(path, ".zip");
}

bool ExpandSkinArgument(const std::string& argument, std::vector<SkinSource>& out, std::string& error) {
    std::error_code ec;
    const fs::path path(argument);
    if (fs::is_regular_file(path, ec)) {
        if (IsArchiveArgument(argument)) {
            out.push_back(ArchiveSource(argument));
            return true;
        }
        error = argument + ": not a skin archive (.wsz or .zip)";
        return false;
    }
    if (!fs::is_directory(path, ec)) {
        error = argument + ": no such skin folder or archive";
        return false;
    }
    if (IsSkinFolder(path)) {
        out.push_back({SkinSource::Kind::Folder, argument, LastPart(fs::absolute(path).lexically_normal().string())});
        return true;
    }
    // Any other folder stands for the skin list the browser would show for it.
    const auto entries = BuildSkinList(argument);
    if (!entries) {
        error = argument + ": cannot list the folder";
        return false;
    }
    const std::string base = argument.back() == '/' ? argument : argument + "/";
    for (const std::string& entry : *entries) {
        if (IsSkinArchiveName(entry)) out.push_back(ArchiveSource(base + entry));
        else out.push_back({SkinSource::Kind::Folder, base + entry, entry});
    }
    return true;
}

}  // namespace veltrane::preview
