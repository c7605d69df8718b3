// The gallery's index.html: the page template kept in the repository (gallery.html, built into the
// program) with the skins' data filled in as JSON. Skin names and paths come from strangers' file
// names, so the data is escaped to be inert inside the page: the script only ever puts it into text
// nodes and attributes, never into markup.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltrane::preview {

// The folder inside the gallery's folder that holds the previews.
inline constexpr const char* kPreviewFolder = "previews";

struct GalleryTile {
    std::string name;     // the skin's name, shown on its tile
    std::string path;     // absolute path of the skin folder or archive, for copying
    int64_t time = 0;     // its modification time, seconds since the epoch
    std::string preview;  // the preview's file name in the preview folder; empty when it failed
    std::string reason;   // why it failed
    uint64_t size = 0;    // the archive's size, or the folder's files' total
    int64_t newest = 0;   // the newest member's time, seconds since the epoch; 0 unknown
    std::string text;     // the skin's texts, UTF-8, at most 64 KB, files separated by "\n\n"
    std::vector<std::string> missing, tooSmall, unreadable;                // standard bitmap file names, lower case
    bool cursors = false, numsEx = false, region = false, shaped = false;  // shaped: transparent pixels
    std::string hash;  // 16 lower-case hex digits of the preview's pixel hash; empty when not rendered
};

// text as a JSON string literal, quotes included. Besides what JSON requires, "<", ">", "&" and
// U+2028/U+2029 are written as \u escapes, so the literal cannot end a <script> element or open a
// comment; bytes that are not UTF-8 become U+FFFD.
std::string JsonString(const std::string& text);

// The page's data: {"ext":..., "dirs":[folder paths, each ending in "/"], "skins":[entries]}, where
// an entry is [name, index into dirs, file name, time, preview, reason]: preview "" stands for
// name + ext (the usual case, to keep 10,000 skins small), 0 for a skin that failed.
std::string GalleryData(const std::vector<GalleryTile>& tiles, const std::string& extension);

// The complete page.
std::string BuildGalleryPage(const std::vector<GalleryTile>& tiles, const std::string& extension);

}  // namespace veltrane::preview
