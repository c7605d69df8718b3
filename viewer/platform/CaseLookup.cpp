#include "platform/CaseLookup.h"

#include <algorithm>
#include <dirent.h>
#include <filesystem>
#include <system_error>

namespace veltrane {

namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

}  // namespace

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::string ResolveCaseInsensitive(const std::string& folder, const std::string& name) {
    namespace fs = std::filesystem;
    const std::string exact = folder + name;
    std::error_code ec;
    if (name.empty() || fs::exists(fs::symlink_status(exact, ec))) return exact;
    return CaseInsensitiveFolder(folder).Resolve(name);
}

std::string ResolvePathCaseInsensitive(const std::string& path) {
    std::string resolved = !path.empty() && path[0] == '/' ? "/" : "";
    size_t start = resolved.size();
    while (start < path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) resolved = ResolveCaseInsensitive(resolved, path.substr(start, end - start));
        if (end < path.size() && (resolved.empty() || resolved.back() != '/')) resolved += '/';
        start = end + 1;
    }
    return resolved;
}

CaseInsensitiveFolder::CaseInsensitiveFolder(const std::string& folder) : m_folder(folder) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) m_names.emplace_back(entry->d_name);
    ::closedir(dir);
    std::sort(m_names.begin(), m_names.end());
    m_listed = true;
}

std::string CaseInsensitiveFolder::Resolve(const std::string& name) const {
    // Unlisted, the exact path is the best answer there is: it opens if the entry is there.
    if (name.empty() || !m_listed || std::binary_search(m_names.begin(), m_names.end(), name)) return m_folder + name;
    const auto match = std::find_if(m_names.begin(), m_names.end(),
                                    [&](const std::string& entry) { return EqualIgnoringAsciiCase(entry, name); });
    return m_folder + (match != m_names.end() ? *match : name);
}

}  // namespace veltrane
