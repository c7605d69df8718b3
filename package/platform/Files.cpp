#include "platform/Files.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace tarrow::platform {

std::optional<ExistingFile> existingFile(const std::string &path)
{
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    ExistingFile f;
    f.size = uint32_t(st.st_size);
    std::tm t{};
    time_t when = st.st_mtime;
    if (localtime_r(&when, &t)) {
        int year = std::max(t.tm_year + 1900, 1980);
        f.dosDate = uint16_t((year - 1980) << 9 | (t.tm_mon + 1) << 5 | t.tm_mday);
        f.dosTime = uint16_t(t.tm_hour << 11 | t.tm_min << 5 | t.tm_sec / 2);
    }
    return f;
}

void makeWritable(const std::string &path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && !(st.st_mode & S_IWUSR))
        ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR);
}

void createFolders(const std::string &path)
{
    for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        std::string part = path.substr(0, slash);
        if (!part.empty())
            ::mkdir(part.c_str(), 0777);
        if (slash == std::string::npos)
            break;
    }
}

void createFoldersOf(const std::string &path)
{
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0)
        createFolders(path.substr(0, slash));
}

void setDosTime(const std::string &path, uint16_t dosDate, uint16_t dosTime)
{
    std::tm t{};
    t.tm_year = (dosDate >> 9) + 80;
    t.tm_mon = ((dosDate >> 5) & 0xf) - 1;
    t.tm_mday = dosDate & 0x1f;
    t.tm_hour = dosTime >> 11;
    t.tm_min = (dosTime >> 5) & 0x3f;
    t.tm_sec = (dosTime & 0x1f) * 2;
    t.tm_isdst = -1;
    time_t when = std::mktime(&t);
    if (when == time_t(-1))
        return;
    struct timespec times[2] = {{when, 0}, {when, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

void setDosAttributes(const std::string &path, uint16_t attributes)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return;
    mode_t mode = st.st_mode & 07777;
    mode = (attributes & 1) ? mode & ~mode_t(0222) : mode | S_IWUSR;
    ::chmod(path.c_str(), mode);
}

} // namespace tarrow::platform
