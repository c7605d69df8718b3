#include "SkinSources.h"

#include "platform/CaseLookup.h"

#include <algorithm>
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

bool NameLess(const std::string& a, const std::string& b) {
    const int order = strcasecmp(a.c_str(), b.c_str());
    return order != 0 ? order < 0 : a < b;
}

}  // namespace

bool ExpandSkinArgument(const std::string& argument, std::vector<SkinSource>& out, std::string& error) {
    std::error_code ec;
    const fs::path path(argument);
    if (fs::is_regular_file(path, ec)) {
        if (EndsWithIgnoringCase(argument, ".wsz") || EndsWithIgnoringCase(argument, ".zip")) {
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
    std::vector<std::string> folders, archives;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (it->is_directory(ec) && IsSkinFolder(it->path())) folders.push_back(name);
        else if (it->is_regular_file(ec) && EndsWithIgnoringCase(name, ".wsz")) archives.push_back(name);
    }
    if (ec) {
        error = argument + ": cannot list the folder (" + ec.message() + ")";
        return false;
    }
    std::sort(folders.begin(), folders.end(), NameLess);
    std::sort(archives.begin(), archives.end(), NameLess);
    const std::string base = argument.back() == '/' ? argument : argument + "/";
    for (const std::string& name : folders) out.push_back({SkinSource::Kind::Folder, base + name, name});
    for (const std::string& name : archives) out.push_back(ArchiveSource(base + name));
    return true;
}

}  // namespace veltrane::preview
