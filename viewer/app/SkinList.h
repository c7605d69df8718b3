// What the browser lists: the skin list of a folder (skin folders, then skin archives), the lines of
// its folder tree, and the mounted volumes that stand for drives.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace veltrane {

// True for an entry naming a skin archive: it ends in ".wsz" in any letter case.
bool IsSkinArchiveName(const std::string& entry);
// True for a file name that a selection unpacks as an archive: ".wsz" or ".zip", any letter case.
// Only the former are listed; the latter can be opened from the command line.
bool IsArchiveFileName(const std::string& name);

// The skin list of folder: first its subfolders that hold a "main.bmp" (any letter case), then its
// ".wsz" files (any letter case), each group in name order. Not recursive. nullopt when the folder
// cannot be listed, so the caller can keep what it showed before.
std::optional<std::vector<std::string>> BuildSkinList(const std::string& folder);

// The names of folder's subfolders in name order (hidden ones, starting with ".", left out), or
// nullopt when it cannot be listed.
std::optional<std::vector<std::string>> ListSubfolders(const std::string& folder);

// The order names are shown in: without regard to ASCII case, the exact bytes breaking ties.
bool NameLess(const std::string& a, const std::string& b);

// A mounted volume: the platform's stand-in for a drive.
struct Drive {
    std::string mountPoint;  // with a trailing "/"
    std::string device;      // what is mounted there
};

// The volumes listed in a mount table (the format of /proc/self/mounts), the root first, then the
// others in mount-point order; pseudo file systems (proc, sysfs, cgroups, ...) are left out.
std::vector<Drive> ParseMountTable(const std::string& table);
// The volumes of this machine.
std::vector<Drive> ListDrives();
// The index of the volume that path lies on (the longest mount point that is a prefix), or -1.
int DriveOf(const std::vector<Drive>& drives, const std::string& path);

}  // namespace veltrane
