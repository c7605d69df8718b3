// File-system services of the extraction pass: the existing-file test with its DOS time stamp, making
// a file writable, creating output files and their folders, and restoring a member's time, attributes
// and permission bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tarrow::platform {

struct ExistingFile {
    uint64_t size = 0;
    uint16_t dosDate = 0;
    uint16_t dosTime = 0;
    int64_t mtime = 0;  // seconds since 1970
    uint32_t mode = 0;  // permission bits
};

// What is at path, when something is (a folder included).
std::optional<ExistingFile> existingFile(const std::string& path);
// Gives the owner write permission on the file at path, whose permission bits are mode, if it lacks it.
void makeWritable(const std::string& path, uint32_t mode);

// The folders one extraction pass has created or found in place. A member whose folder is known costs
// no folder creation at all; should a known folder vanish meanwhile, the file's creation fails and the
// folders are made again, as for a folder never seen.
class OutputFolders {
public:
    // Creates (or truncates) the file at path for writing, after every missing folder of the folder
    // part of path (up to its last "/"). Returns the descriptor, or -1.
    int createFile(const std::string& path);
    // Creates the folder path and every missing folder above it.
    void createFolders(const std::string& path);

private:
    // Whether the folder part of path was already known.
    bool createFoldersOf(const std::string& path);
    // Makes the folders of the chain not known yet; false when one could not be made because a known
    // folder above it has gone.
    bool makeChain(const std::string& folder);

    std::unordered_set<std::string> m_known;
};

// Local time of DOS stamps, as mktime() reads it. The time zone is looked up once per object (mktime
// consults the zone file again on every call); a stamp within a day of a change of the zone's offset
// goes to mktime() itself, so summer-time gaps and overlaps resolve exactly as there.
class LocalTime {
public:
    // Seconds since the epoch, or nothing where mktime() fails.
    std::optional<time_t> fromDos(uint16_t dosDate, uint16_t dosTime);

private:
    bool m_zoneRead = false;
};

// Writes all of data, resuming after interruptions and partial writes; false on a write error.
bool writeAll(int fd, const uint8_t* data, size_t size);
// Sets access and modification time of the open file.
void setTime(int fd, time_t when);
// Applies DOS attribute bits to the open file. Only read-only (bit 1) has a Linux form: it removes every
// write permission; without it the owner may write. Hidden, system and archive have none and are dropped.
void setDosAttributes(int fd, uint16_t attributes);

// Gives the file open as fd at path the permission bits (0777 at most) less the process's umask;
// nothing when path is a symbolic link, which the file was opened through.
void setPermissions(int fd, const std::string& path, uint16_t permissions);
// Whether the permission bits, less the umask, still let the owner create files in a folder.
bool keepsFolderOpen(uint16_t permissions);

// Permission bits of folders, held back until the files in them are written: a folder that is
// read-only for its owner would refuse them. apply() (or the destructor) sets them, the deepest
// folder first, never through a symbolic link.
class FolderModes {
public:
    FolderModes() = default;
    FolderModes(const FolderModes&) = delete;
    FolderModes& operator=(const FolderModes&) = delete;
    ~FolderModes() { apply(); }
    void add(std::string path, uint16_t permissions);
    void apply();

private:
    std::vector<std::pair<std::string, uint16_t>> m_modes;
};
// Gives the folder at path the permission bits less the umask, unless path is a symbolic link.
void setFolderPermissions(const std::string& path, uint16_t permissions);

}  // namespace tarrow::platform
