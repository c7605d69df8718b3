// FileHandling: the viewer's small path, file and folder routines. Folder paths end in "/" so a
// name can be appended directly; the root "/" plays the part of a drive root. None of them
// throws or reports anything beyond its result.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace veltrane {

// Appends "/" unless the path already ends with one ("" becomes "/"); changes the caller's
// string and returns it.
std::string& AddBackslash(std::string& path);

// True when path names a file that can be opened for reading (false for folders and missing files).
bool FileExists(const std::string& path);

// True when path names a folder whose listing can be read.
bool FolderExists(const std::string& path);

// The folder above: one trailing "/" dropped, the last "/" and what follows cut off, "/" appended.
// "/a/b/" and "/a/b" give "/a/", "/" gives "/", "name" gives "name/".
std::string ParentFolder(const std::string& path);

// The last component: one trailing "/" dropped, then everything after the last "/".
std::string LastPathPart(const std::string& path);

// An existing path as it is; a missing one re-cased: a letter becomes upper case at the start and
// after " ", "-", "(", "_" or "/", lower case everywhere else.
std::string LongFileName(const std::string& path);

// Makes sure the folder exists, creating every missing level. False when a level cannot be made.
bool MakePath(const std::string& folder);

// Deletes a file; failures are ignored. Folders are left alone.
void KillFile(const std::string& path);

// $TMPDIR when it names an existing folder, else "/tmp", with a trailing "/".
std::string GetTempFolder();

// Full paths of the files below folder at any depth: in each folder first its subfolders from the
// last to the first in name order, each walked completely, then its own files in name order, so the
// top folder's files come last. pattern is a ";"-separated list of wildcards ("*", "?"), matched
// without regard to case; empty means every file. pump runs once per folder before it is read.
std::vector<std::string> ListAllFiles(const std::string& folder, const std::string& pattern = "",
                                      const std::function<void()>& pump = {});

// The order ListAllFiles lists a folder's entries in: letters compared without regard to ASCII
// case, then names that differ only in case exactly.
bool NameOrder(const std::string& a, const std::string& b);

// Removes the innermost folder of path, which must be empty, and moves path one level up. Returns
// false, removing nothing, when path is the temporary folder (whatever the letter case of either)
// or the folder cannot be removed.
bool RemoveFolderStep(std::string& path, const std::string& tempFolder);

// The number of "/" left after one trailing "/" is dropped: "/a/b/" and "/a/b" are 2 deep, "a" is 0.
int16_t PathDepth(const std::string& path);

}  // namespace veltrane
