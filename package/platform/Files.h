// File-system services of the extraction pass: the existing-file test with its DOS time stamp, making
// a file writable, creating folder chains, and restoring a member's time and attributes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarrow::platform {

struct ExistingFile {
    uint32_t size = 0;
    uint16_t dosDate = 0;
    uint16_t dosTime = 0;
};

// What is at path, when something is (a folder included).
std::optional<ExistingFile> existingFile(const std::string &path);
// Gives the owner write permission on an existing file that lacks it.
void makeWritable(const std::string &path);
// Creates every missing folder of the folder part of path (up to its last "/").
void createFoldersOf(const std::string &path);
// Creates the folder path and every missing folder above it.
void createFolders(const std::string &path);
// Sets access and modification time from a DOS date and time read as local time.
void setDosTime(const std::string &path, uint16_t dosDate, uint16_t dosTime);
// Applies DOS attribute bits. Only read-only (bit 1) has a Linux form: it removes every write
// permission; without it the owner may write. Hidden, system and archive have none and are dropped.
void setDosAttributes(const std::string &path, uint16_t attributes);

} // namespace tarrow::platform
