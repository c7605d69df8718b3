// Where extraction writes a member: the one rule that turns a stored name into a path below the
// extraction folder. The library extracts by it, and veltrane-preview, which never unpacks, lays
// out a skin archive's members by it as the unpacked tree would hold them.
#pragma once

#include <string>
#include <string_view>

namespace veltrane {

// The stored name as a relative "/"-separated path: "/" and "\\" both separate, empty, "." and ".."
// parts are dropped (so nothing leads outside the folder), and characters unfit for file names are
// replaced (see ReplaceUnfitCharacters). folder is set when the name ends in a separator or keeps
// no part at all; a folder's path ends in "/" unless it is empty.
std::string SafeRelativePath(std::string_view stored, bool& folder);

// Backslashes to "/", and "_" for each of * < > ? | " and control characters, and for a ":" that is
// not followed by a separator.
void ReplaceUnfitCharacters(std::string& path);

}  // namespace veltrane
