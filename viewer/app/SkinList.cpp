#include "app/SkinList.h"

#include "platform/FileHandling.h"
#include "platform/CaseLookup.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace veltrane {
namespace {

int FoldAscii(unsigned char c) { return std::tolower(c); }

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
    if (s.size() < suffix.size()) return false;
    return std::equal(suffix.begin(), suffix.end(), s.end() - std::ptrdiff_t(suffix.size()),
                      [](char a, char b) { return FoldAscii(a) == FoldAscii(b); });
}

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

// Names of the entries of folder that pass keep, sorted; nullopt when the folder cannot be read.
template <typename Keep>
std::optional<std::vector<std::string>> ListNames(const std::string& folder, Keep keep) {
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) return std::nullopt;
    std::vector<std::string> names;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) return std::nullopt;
        std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;  // hidden entries, as the list controls hide them
        if (keep(*it, name)) names.push_back(std::move(name));
    }
    if (error) return std::nullopt;
    std::sort(names.begin(), names.end(), NameLess);
    return names;
}

// Mount points: octal escapes stand for blanks, tabs, newlines and backslashes.
std::string UnescapeMountField(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && std::isdigit((unsigned char)field[i + 1]) &&
            std::isdigit((unsigned char)field[i + 2]) && std::isdigit((unsigned char)field[i + 3])) {
            out += char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

bool IsPseudoFileSystem(const std::string& type) {
    static const std::set<std::string> pseudo = {
        "proc",        "sysfs",      "cgroup", "cgroup2",  "devpts",    "devtmpfs",  "mqueue",   "debugfs",
        "tracefs",     "securityfs", "pstore", "bpf",      "autofs",    "hugetlbfs", "configfs", "fusectl",
        "binfmt_misc", "rpc_pipefs", "nsfs",   "efivarfs", "selinuxfs", "ramfs"};
    return pseudo.count(type) != 0;
}

bool IsSystemMountPoint(const std::string& mount) {
    for (const char* prefix : {"/proc/", "/sys/", "/dev/", "/run/"})
        if (mount.rfind(prefix, 0) == 0) return true;
    return false;
}

}  // namespace

bool NameLess(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int x = FoldAscii(a[i]), y = FoldAscii(b[i]);
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

bool IsSkinArchiveName(const std::string& entry) { return EndsWithNoCase(entry, ".wsz"); }

bool IsArchiveFileName(const std::string& name) { return IsSkinArchiveName(name) || EndsWithNoCase(name, ".zip"); }

std::optional<std::vector<std::string>> ListSubfolders(const std::string& folder) {
    return ListNames(folder, [](const fs::directory_entry& e, const std::string&) {
        std::error_code error;
        return e.is_directory(error);
    });
}

std::optional<std::vector<std::string>> BuildSkinList(const std::string& folder) {
    const std::string base = WithSlash(folder);
    auto skins = ListNames(base, [&](const fs::directory_entry& e, const std::string& name) {
        std::error_code error;
        return e.is_directory(error) && FileExists(ResolveCaseInsensitive(base + name + "/", "main.bmp"));
    });
    if (!skins) return std::nullopt;
    auto archives = ListNames(base, [](const fs::directory_entry& e, const std::string& name) {
        std::error_code error;
        return IsSkinArchiveName(name) && e.is_regular_file(error);
    });
    if (!archives) return std::nullopt;
    skins->insert(skins->end(), archives->begin(), archives->end());
    return skins;
}

std::vector<Drive> ParseMountTable(const std::string& table) {
    std::vector<Drive> drives;
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string device, mount, type;
        if (!(fields >> device >> mount >> type)) continue;
        mount = UnescapeMountField(mount);
        if (mount.empty() || mount[0] != '/' || IsPseudoFileSystem(type) || IsSystemMountPoint(WithSlash(mount)))
            continue;
        Drive d{WithSlash(mount), UnescapeMountField(device)};
        // A later mount on the same point hides the earlier one.
        auto same =
            std::find_if(drives.begin(), drives.end(), [&](const Drive& x) { return x.mountPoint == d.mountPoint; });
        if (same != drives.end()) *same = d;
        else drives.push_back(std::move(d));
    }
    std::sort(drives.begin(), drives.end(), [](const Drive& a, const Drive& b) {
        if ((a.mountPoint == "/") != (b.mountPoint == "/")) return a.mountPoint == "/";
        return a.mountPoint < b.mountPoint;
    });
    if (drives.empty() || drives.front().mountPoint != "/") drives.insert(drives.begin(), Drive{"/", "/"});
    return drives;
}

std::vector<Drive> ListDrives() {
    std::ifstream in("/proc/self/mounts");
    std::stringstream table;
    table << in.rdbuf();
    return ParseMountTable(table.str());
}

int DriveOf(const std::vector<Drive>& drives, const std::string& path) {
    const std::string p = WithSlash(path);
    int best = -1;
    size_t bestLength = 0;
    for (size_t i = 0; i < drives.size(); ++i) {
        const std::string& m = drives[i].mountPoint;
        if (p.rfind(m, 0) == 0 && (best < 0 || m.size() > bestLength)) {
            best = int(i);
            bestLength = m.size();
        }
    }
    return best;
}

}  // namespace veltrane
