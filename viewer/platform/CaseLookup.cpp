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

std::vector<std::string>& CaseInsensitivePaths::Listing(const std::string& folder) {
    for (auto& [name, entries] : m_folders)
        if (name == folder) return entries;
    std::vector<std::string> entries;
    if (DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) entries.emplace_back(entry->d_name);
        ::closedir(dir);
        std::sort(entries.begin(), entries.end());  // the first match in case is the smallest
    }
    return m_folders.emplace_back(folder, std::move(entries)).second;
}

std::string CaseInsensitivePaths::Resolve(const std::string& path) {
    namespace fs = std::filesystem;
    std::string resolved = !path.empty() && path[0] == '/' ? "/" : "";
    for (size_t start = resolved.size(); start < path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string component = path.substr(start, end - start);
        std::error_code ec;
        if (!component.empty() && !fs::exists(fs::symlink_status(resolved + component, ec))) {
            std::vector<std::string>& entries = Listing(resolved);
            const auto match = std::find_if(entries.begin(), entries.end(), [&](const std::string& entry) {
                return EqualIgnoringAsciiCase(entry, component);
            });
            if (match != entries.end()) {
                resolved += *match;
            } else {
                entries.insert(std::upper_bound(entries.begin(), entries.end(), component), component);
                resolved += component;
            }
        } else {
            resolved += component;
        }
        if (end < path.size()) resolved += '/';
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
