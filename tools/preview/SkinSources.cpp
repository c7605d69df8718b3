#include "SkinSources.h"

#include "app/SkinList.h"
#include "platform/CaseLookup.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <strings.h>
#include <sys/stat.h>
#include <string_view>
#include <system_error>
#include <unordered_set>
#include <utility>

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

// Skins named by their entry in a listed folder drop the extension of an archive.
constexpr uint32_t kArchiveExtensionLength = 4;

std::string WithSlash(const std::string& folder) { return folder.back() == '/' ? folder : folder + "/"; }

// Appends the skin list of folder, then, when recursive, that of each subfolder below it that is
// neither a link nor a skin folder, depth first in name order. A folder met twice (a bind mount
// of an ancestor) is walked once. A subfolder that cannot be listed is named in error; the walk
// goes on without it.
bool ExpandCollection(const std::string& folder, bool recursive, std::set<std::pair<dev_t, ino_t>>& walked,
                      SkinSourceList& out, std::string& error) {
    struct stat info {};
    if (stat(folder.c_str(), &info) == 0 && !walked.emplace(info.st_dev, info.st_ino).second) return true;
    const auto entries = BuildSkinList(folder);
    if (!entries) {
        error = folder + ": cannot list the folder";
        return false;
    }
    const std::string base = WithSlash(folder);
    if (!entries->empty()) out.BeginFolder(base);
    std::unordered_set<std::string_view> skinFolders;  // known as such without looking again
    for (const std::string& entry : *entries) {
        const bool archive = IsSkinArchiveName(entry);
        out.AddEntry(archive ? SkinSource::Kind::Archive : SkinSource::Kind::Folder, entry);
        if (!archive) skinFolders.insert(entry);
    }
    if (!recursive) return true;
    bool complete = true;
    for (const std::string& name : ListSubfolders(folder).value_or(std::vector<std::string>())) {
        const std::string sub = base + name;
        std::error_code ec;
        if (skinFolders.count(name) || fs::is_symlink(sub, ec) || IsSkinFolder(sub)) continue;
        std::string subError;
        if (!ExpandCollection(sub, true, walked, out, subError)) {
            complete = false;
            if (error.empty()) error = subError;
        }
    }
    return complete;
}

}  // namespace

std::string SkinSourceList::Path(std::size_t i) const {
    const Skin& skin = m_skins[i];
    std::string path = m_folders[skin.folder];
    path.append(m_bytes, skin.entry, skin.entryLength);
    return path;
}

std::string_view SkinSourceList::Name(std::size_t i) const {
    const Skin& skin = m_skins[i];
    return std::string_view(m_bytes).substr(skin.nameApart ? skin.entry + skin.entryLength : skin.entry,
                                            skin.nameLength);
}

void SkinSourceList::Add(const SkinSource& source) {
    // The whole path is the entry, below a folder of no name.
    if (m_folders.empty() || !m_folders.back().empty()) m_folders.emplace_back();
    const uint64_t at = m_bytes.size();
    m_bytes += source.path;
    m_bytes += source.name;
    m_skins.push_back({at, uint32_t(m_folders.size() - 1), uint32_t(source.path.size()), uint32_t(source.name.size()),
                       source.kind, true});
}

void SkinSourceList::BeginFolder(const std::string& folderWithSlash) { m_folders.push_back(folderWithSlash); }

void SkinSourceList::AddEntry(SkinSource::Kind kind, std::string_view entry) {
    const uint32_t length = uint32_t(entry.size());
    const uint32_t cut = kind == SkinSource::Kind::Archive ? std::min(length, kArchiveExtensionLength) : 0;
    m_skins.push_back({m_bytes.size(), uint32_t(m_folders.size() - 1), length, length - cut, kind, false});
    m_bytes += entry;
}

void SkinSourceList::Compact() {
    m_bytes.shrink_to_fit();
    m_skins.shrink_to_fit();
    m_folders.shrink_to_fit();
}

bool IsArchiveArgument(const std::string& path) {
    return EndsWithIgnoringCase(path, ".wsz") || EndsWithIgnoringCase(path, ".zip");
}

bool ExpandSkinArgument(const std::string& argument, SkinSourceList& out, std::string& error, bool recursive) {
    std::error_code ec;
    const fs::path path(argument);
    if (fs::is_regular_file(path, ec)) {
        if (IsArchiveArgument(argument)) {
            out.Add(ArchiveSource(argument));
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
        out.Add({SkinSource::Kind::Folder, argument, LastPart(fs::absolute(path).lexically_normal().string())});
        return true;
    }
    // Any other folder stands for the skin list the browser would show for it.
    std::set<std::pair<dev_t, ino_t>> walked;
    return ExpandCollection(argument, recursive, walked, out, error);
}

}  // namespace veltrane::preview
