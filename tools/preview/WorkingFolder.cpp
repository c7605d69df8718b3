#include "WorkingFolder.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrane::preview {
namespace {

bool IsFolder(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsWritableFolder(const std::string& path) { return IsFolder(path) && ::access(path.c_str(), W_OK | X_OK) == 0; }

std::string WithSlash(std::string folder) {
    if (folder.back() != '/') folder += '/';
    return folder;
}

}  // namespace

std::string ChooseWorkingFolderBase(const char* tmpdir, const char* runtime, const std::string& shared) {
    if (tmpdir && IsFolder(tmpdir)) return WithSlash(tmpdir);
    for (const std::string& candidate : {std::string(runtime ? runtime : ""), shared})
        if (IsWritableFolder(candidate)) return WithSlash(candidate);
    return "/tmp/";
}

std::string WorkingFolderBase() {
    return ChooseWorkingFolderBase(std::getenv("TMPDIR"), std::getenv("XDG_RUNTIME_DIR"), "/dev/shm");
}

}  // namespace veltrane::preview
