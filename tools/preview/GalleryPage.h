// The gallery's index.html: the page template kept in the repository (gallery.html, built into the
// program) with the skins' data filled in as JSON. Skin names and paths come from strangers' file
// names, so the data is escaped to be inert inside the page: the script only ever puts it into text
// nodes and attributes, never into markup.
#pragma once

#include "base/Json.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace veltrane::preview {

using text::AppendJsonString;
using text::JsonString;

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

// Tiles in the order the page and skins.json list them.
using TileList = std::vector<const GalleryTile*>;

// The tiles by name as a reader sorts them: without regard to case or accents (of the Latin
// letters), runs of digits by their value ("Skin 9" before "Skin 10"); the same name in the order given.
TileList InNameOrder(const std::vector<GalleryTile>& tiles);

// Duplicates: for each tile, the position of the first tile with the same pixel hash (its own
// position when it has no twin, no hash or no picture). Linear in the number of tiles.
std::vector<std::size_t> DuplicateGroups(const TileList& tiles);

// How many bytes of each skin's text the page carries: all 64 KB for a small collection, less as it
// grows (a share of 24 MB, which a browser reads and folds for search in about a second), but never
// less than the first 256 bytes, where readmes name the skin's author.
std::size_t PageTextLimit(std::size_t skins);

// text cut to at most limit bytes, at a character boundary.
std::string TextHead(const std::string& text, std::size_t limit);

// Facts as the page's bit set: cursors 1, NUMS_EX 2, region.txt 4, shaped 8.
int FactBits(const GalleryTile& tile);

// The page's data, in the order of the list, which the page takes as its order by name:
// {"ext":..., "dirs":[folder paths, each ending in "/"], "skins":[entries]}, where an entry is
// [name, index into dirs, file name, time, preview, reason, size, newest, facts, group, missing,
// tooSmall, unreadable]: preview "" stands for name + ext (the usual case, to keep 100,000 skins
// small), 0 for a skin that failed; reason "" unless it failed; facts as FactBits; group as
// DuplicateGroups. The fields from reason on are left out at the end of an entry while they have
// their usual value ("", 0, the entry's own position, []).
std::string GalleryData(const TileList& tiles, const std::string& extension);

// The skins' texts as the page carries them, a JSON array in the order of the data: each text, or
// its head as PageTextLimit allows in an array of its own where it was cut (skins.json has them
// whole). No mark is added to the text: one character beyond Latin-1 would make the browser keep
// it, and search it, in two bytes a character.
std::string GalleryTexts(const TileList& tiles);

// What the page and skins.json are made of besides the skins: the template and the form of their
// data. A gallery whose page was made with another key is written again.
std::string GalleryPageKey();

// The complete page: the template with the data and the texts in their places.
std::string BuildGalleryPage(const TileList& tiles, const std::string& extension);

}  // namespace veltrane::preview
