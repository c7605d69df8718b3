// Turns the SKIN arguments into the list of skins to render: a skin folder (it holds a main.bmp)
// stands for itself, an archive (.wsz or .zip) for itself, and any other folder for its skin list
// as the browser shows it: the skin folders inside it, then its .wsz archives, each in name order.
// Walked recursively, such a folder is followed by the skin lists of its subfolders, depth first;
// links to folders are not walked into, nor are skin folders.
#pragma once

#include <string>
#include <vector>

namespace veltrane::preview {

struct SkinSource {
    enum class Kind { Folder, Archive };
    Kind kind = Kind::Folder;
    std::string path;   // the folder or archive
    std::string name;   // names the preview file: the folder's name, or the archive's without extension
};

// True for a path the tool takes as an archive: it ends in ".wsz" or ".zip" in any letter case.
bool IsArchiveArgument(const std::string& path);

// Appends the skins of one argument to out; returns false (with error set) when the argument is
// neither a folder nor an archive, or when a folder of it cannot be listed (the skins of the
// others are still appended).
bool ExpandSkinArgument(const std::string& argument, std::vector<SkinSource>& out, std::string& error,
                        bool recursive = false);

}  // namespace veltrane::preview
