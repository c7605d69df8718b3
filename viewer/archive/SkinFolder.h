// Where a skin lies inside an unpacked archive: the folder of the last main.bmp (any letter case)
// in listing order, where a folder lists its subfolders last to first in name order, each with
// everything below it, then its own files. So the top folder wins when it holds a main.bmp, else
// the first subfolder in name order with one somewhere below it. The viewer feeds it the listing of
// the unpacked files, veltrane-preview the catalogue of an archive it never unpacks.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane {

// Whether the path's last part is main.bmp, in any letter case.
bool IsMainBitmap(std::string_view path);

// The folder part, up to and including the last "/" ("" for a file at the top), of the last path
// naming a main.bmp; nothing when none does. paths are "/"-separated and in listing order.
std::optional<std::string> SkinFolderOf(const std::vector<std::string>& paths);

}  // namespace veltrane
