#include "platform/Files.h"

#include "base/DosTime.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace tarrow::platform {

namespace {

constexpr time_t kDay = 24 * 60 * 60;
constexpr mode_t kPermissionBits = 0777;
// What is taken for the umask where the kernel does not tell it: nothing for group or others.
constexpr mode_t kUnknownUmask = 077;

// The process's umask, read without changing it (umask() would, for every thread at once).
mode_t currentUmask() {
    std::FILE* status = std::fopen("/proc/self/status", "re");
    if (!status) return kUnknownUmask;
    char line[256];
    unsigned value = kUnknownUmask;
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "Umask: %o", &value) == 1) break;
    std::fclose(status);
    return mode_t(value) & kPermissionBits;
}

bool sameLocalTime(const std::tm& a, const std::tm& b) {
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday && a.tm_hour == b.tm_hour &&
           a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}

// Whether `when` reads as `wanted` in local time with the same offset from UTC a day before and after,
// so that no other moment reads the same.
bool onlyMomentOf(time_t when, const std::tm& wanted) {
    std::tm at{}, before{}, after{};
    const time_t earlier = when - kDay, later = when + kDay;
    return localtime_r(&when, &at) && localtime_r(&earlier, &before) && localtime_r(&later, &after) &&
           sameLocalTime(at, wanted) && before.tm_gmtoff == at.tm_gmtoff && after.tm_gmtoff == at.tm_gmtoff;
}

}  // namespace

std::optional<ExistingFile> existingFile(const std::string& path) {
    // A link standing there is what extraction would replace: its own facts, not its target's.
    struct stat st;
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) return std::nullopt;
    ExistingFile f;
    f.size = uint64_t(st.st_size);
    f.mode = uint32_t(st.st_mode & 07777);
    f.mtime = int64_t(st.st_mtime);
    std::tm t{};
    time_t when = st.st_mtime;
    if (localtime_r(&when, &t)) {
        int year = std::max(t.tm_year + 1900, 1980);
        f.dosDate = uint16_t((year - 1980) << 9 | (t.tm_mon + 1) << 5 | t.tm_mday);
        f.dosTime = uint16_t(t.tm_hour << 11 | t.tm_min << 5 | t.tm_sec / 2);
    }
    return f;
}

void makeWritable(const std::string& path, uint32_t mode) {
    if (!(mode & S_IWUSR)) ::chmod(path.c_str(), mode_t(mode & 07777) | S_IWUSR);
}

namespace {

// Opens path for writing. A symbolic link standing there is replaced, not written through, so that
// nothing outside the extraction's folder changes (a dangling link would create its target).
int openForWriting(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0 || errno != ELOOP || ::unlink(path.c_str()) != 0) return fd;
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
}

}  // namespace

int OutputFolders::createFile(const std::string& path) {
    const bool known = createFoldersOf(path);
    int fd = openForWriting(path);
    if (fd < 0 && known && errno == ENOENT) {
        // A folder made earlier in the pass was removed meanwhile: make the chain again.
        m_known.clear();
        createFoldersOf(path);
        fd = openForWriting(path);
    }
    return fd;
}

bool OutputFolders::createFoldersOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return false;
    std::string folder = path.substr(0, slash);
    if (m_known.count(folder)) return true;
    createFolders(folder);
    return false;
}

void OutputFolders::createFolders(const std::string& path) {
    // "a/b/" names the folder "a/b".
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (!makeChain(folder)) {
        m_known.clear();
        makeChain(folder);
    }
}

bool OutputFolders::makeChain(const std::string& folder) {
    // Every folder from the top down; one that exists already is as good as one made.
    bool skipped = false;
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        std::string part = folder.substr(0, slash);
        if (m_known.count(part)) {
            skipped = true;
        } else if (!part.empty()) {
            if (::mkdir(part.c_str(), 0777) == 0 || errno == EEXIST) m_known.insert(std::move(part));
            else if (errno == ENOENT && skipped) return false;
        }
        if (slash == std::string::npos) break;
    }
    return true;
}

namespace {

// tzset() and mktime() read the zone again and replace the C library's copy of it; handles opened
// in several threads at once take turns at them.
std::mutex& zoneLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

std::optional<time_t> LocalTime::fromDos(uint16_t dosDate, uint16_t dosTime) {
    std::tm t = veltrane::DosTimeFields(dosDate, dosTime);
    if (!m_zoneRead) {
        const std::lock_guard<std::mutex> hold(zoneLock());
        ::tzset();
        m_zoneRead = true;
    }
    // Read as UTC first (which also carries out-of-range fields over, as mktime does), then shifted by
    // the offset in force at that moment.
    std::tm wanted = t;
    const time_t asUtc = ::timegm(&wanted);
    std::tm local{};
    if (asUtc != time_t(-1) && localtime_r(&asUtc, &local)) {
        time_t when = asUtc - local.tm_gmtoff;
        if (localtime_r(&when, &local)) {
            when = asUtc - local.tm_gmtoff;
            if (onlyMomentOf(when, wanted)) return when;
        }
    }
    const std::lock_guard<std::mutex> hold(zoneLock());
    const time_t when = std::mktime(&t);
    if (when == time_t(-1)) return std::nullopt;
    return when;
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

void setTime(int fd, time_t when) {
    struct timespec times[2] = {{when, 0}, {when, 0}};
    ::futimens(fd, times);
}

namespace {

void changeMode(int fd, uint16_t permissions) { ::fchmod(fd, mode_t(permissions) & kPermissionBits & ~currentUmask()); }

}  // namespace

void setPermissions(int fd, const std::string& path, uint16_t permissions) {
    struct stat opened {};
    struct stat named {};
    if (::fstat(fd, &opened) != 0 || ::lstat(path.c_str(), &named) != 0) return;
    if (opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) changeMode(fd, permissions);
}

bool keepsFolderOpen(uint16_t permissions) {
    const mode_t owner = S_IWUSR | S_IXUSR;
    return (mode_t(permissions) & ~currentUmask() & owner) == owner;
}

void setFolderPermissions(const std::string& path, uint16_t permissions) {
    // A trailing "/" would have a link followed after all.
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    changeMode(fd, permissions);
    ::close(fd);
}

void FolderModes::add(std::string path, uint16_t permissions) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();  // one spelling per folder
    m_modes.emplace_back(std::move(path), permissions);
}

void FolderModes::apply() {
    // A folder's path sorts after its parent's: the reverse order reaches every folder before one
    // above it may close the way to it. The last mode given to a path wins.
    std::stable_sort(m_modes.begin(), m_modes.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (size_t i = 0; i < m_modes.size(); ++i)
        if (i + 1 == m_modes.size() || m_modes[i + 1].first != m_modes[i].first)
            setFolderPermissions(m_modes[i].first, m_modes[i].second);
    m_modes.clear();
}

void setDosAttributes(int fd, uint16_t attributes) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return;
    const mode_t mode = st.st_mode & 07777;
    const mode_t wanted = (attributes & 1) ? mode & ~mode_t(0222) : mode | S_IWUSR;
    if (wanted != mode) ::fchmod(fd, wanted);
}

}  // namespace tarrow::platform
