#include "platform/FileHandling.h"

#include "platform/CaseLookup.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrane {

namespace {

std::string DropTrailingSlash(std::string path) {
    if (!path.empty() && path.back() == '/') path.pop_back();
    return path;
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }
char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

}  // namespace

bool NameOrder(const std::string& a, const std::string& b) {
    const auto folded = std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return uint8_t(AsciiLower(x)) < uint8_t(AsciiLower(y));
    });
    if (folded || !EqualIgnoringAsciiCase(a, b)) return folded;
    return a < b;
}

namespace {

// "*" matches any run of characters, "?" any one; letters match without regard to case.
bool WildcardMatch(const char* pattern, const char* name) {
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern && (*pattern == '?' || AsciiLower(*pattern) == AsciiLower(*name))) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

// "*.*" means every file, with or without an extension, as it always has on the original platform.
bool MatchesAny(const std::vector<std::string>& patterns, const std::string& name) {
    return std::any_of(patterns.begin(), patterns.end(),
                       [&](const std::string& p) { return p == "*.*" || WildcardMatch(p.c_str(), name.c_str()); });
}

std::vector<std::string> SplitPatterns(const std::string& pattern) {
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start <= pattern.size()) {
        const std::size_t end = std::min(pattern.find(';', start), pattern.size());
        std::string part = pattern.substr(start, end - start);
        part.erase(0, part.find_first_not_of(' '));
        part.erase(part.find_last_not_of(' ') + 1);
        if (!part.empty()) result.push_back(part);
        start = end + 1;
    }
    if (result.empty()) result.push_back("*.*");
    return result;
}

enum class EntryKind { Folder, File, Other };

EntryKind KindOf(const std::string& path, unsigned char type) {
    if (type == DT_DIR) return EntryKind::Folder;
    if (type == DT_REG) return EntryKind::File;
    struct stat info {};
    if (type == DT_UNKNOWN && ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return EntryKind::Folder;
    if ((type == DT_UNKNOWN || type == DT_LNK) && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        return EntryKind::File;
    return EntryKind::Other;
}

void WalkFolder(const std::string& folder, const std::vector<std::string>& patterns, const std::function<void()>& pump,
                std::vector<std::string>& out) {
    if (pump) pump();
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;  // an unreadable folder adds nothing
    std::vector<std::string> folders, files;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        // Linked folders are not walked, so a link back up the tree cannot loop; a link to a file
        // lists as that file. The entry's type saves a lookup where the file system reports it.
        const EntryKind kind = KindOf(folder + name, entry->d_type);
        if (kind == EntryKind::Folder) folders.push_back(name);
        else if (kind == EntryKind::File && MatchesAny(patterns, name)) files.push_back(name);
    }
    ::closedir(dir);
    std::sort(folders.begin(), folders.end(), NameOrder);
    std::sort(files.begin(), files.end(), NameOrder);
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) WalkFolder(folder + *it + "/", patterns, pump, out);
    for (const std::string& name : files) out.push_back(folder + name);
}

// The same folder, however it is written: letter case, doubled or trailing separators, "." and
// "..", or a link to it.
bool SameFolder(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    auto normal = [](const std::string& p) {
        std::string s = fs::path(p).lexically_normal().string();
        while (s.size() > 1 && s.back() == '/') s.pop_back();
        return s;
    };
    if (EqualIgnoringAsciiCase(normal(a), normal(b))) return true;
    std::error_code ec;
    return !a.empty() && !b.empty() && fs::equivalent(a, b, ec) && !ec;
}

}  // namespace

std::string& AddBackslash(std::string& path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
    ::close(fd);
    return regular;
}

bool FolderExists(const std::string& path) {
    std::string folder = path;
    AddBackslash(folder);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return false;
    ::closedir(dir);
    return true;
}

std::string ParentFolder(const std::string& path) {
    std::string s = DropTrailingSlash(path);
    const std::size_t slash = s.rfind('/');
    if (slash != std::string::npos) s.erase(slash);
    return AddBackslash(s);
}

std::string LastPathPart(const std::string& path) {
    const std::string s = DropTrailingSlash(path);
    const std::size_t slash = s.rfind('/');
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

std::string LongFileName(const std::string& path) {
    struct stat info {};
    if (!path.empty() && ::lstat(path.c_str(), &info) == 0) return path;
    std::string result = path;
    for (std::size_t i = 1; i < result.size(); ++i) {
        const char before = path[i - 1];
        const bool wordStart = before == ' ' || before == '-' || before == '(' || before == '_' || before == '/';
        result[i] = wordStart ? AsciiUpper(result[i]) : AsciiLower(result[i]);
    }
    if (!result.empty()) result[0] = AsciiUpper(result[0]);
    return result;
}

bool MakePath(const std::string& folder) {
    if (FolderExists(folder)) return true;
    std::string target = folder;
    AddBackslash(target);
    // Each level from the top: made when missing, and then it must be a folder.
    for (std::size_t slash = target.find('/', 1); slash != std::string::npos; slash = target.find('/', slash + 1)) {
        const std::string level = target.substr(0, slash);
        if (level.empty() || level.back() == '/') continue;  // doubled separators
        if (::mkdir(level.c_str(), 0777) != 0 && errno != EEXIST) return false;
        if (!IsFolder(level)) return false;
    }
    return true;
}

void KillFile(const std::string& path) {
    // Deleting needs no permission on the file itself here, only on its folder, so there are no
    // attributes to clear first. unlink never removes a folder.
    if (!path.empty()) ::unlink(path.c_str());
}

std::string GetTempFolder() {
    const char* env = std::getenv("TMPDIR");
    std::string folder = env && *env && IsFolder(env) ? env : "/tmp";
    return AddBackslash(folder);
}

std::vector<std::string> ListAllFiles(const std::string& folder, const std::string& pattern,
                                      const std::function<void()>& pump) {
    std::vector<std::string> out;
    std::string top = folder;
    AddBackslash(top);
    WalkFolder(top, SplitPatterns(pattern), pump, out);
    return out;
}

bool RemoveFolderStep(std::string& path, const std::string& tempFolder) {
    const std::string s = DropTrailingSlash(path);
    if (s.empty() || SameFolder(s, DropTrailingSlash(tempFolder))) return false;
    if (::rmdir(s.c_str()) != 0) return false;
    path = ParentFolder(path);
    return true;
}

int16_t PathDepth(const std::string& path) {
    const std::string s = DropTrailingSlash(path);
    return int16_t(std::min<std::ptrdiff_t>(std::count(s.begin(), s.end(), '/'), INT16_MAX));
}

}  // namespace veltrane
