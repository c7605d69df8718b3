// Command line of veltrane-preview:
//   veltrane-preview [-f jpg|bmp|png] [-q QUALITY] [-o DIR | --gallery DIR] [-j JOBS] [-r] [--force]
//                    [--shape | --no-shape] [--via-files] SKIN...
//   veltrane-preview --thumbnail SIZE INPUT OUTPUT
//   veltrane-preview --help | --version
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace veltrane::preview {

enum class ImageFormat { Bmp, Jpeg, Png };

struct PreviewOptions {
    enum class Mode { Render, Thumbnail, Help, Version };
    Mode mode = Mode::Render;
    ImageFormat format = ImageFormat::Jpeg;
    int quality = 90;           // JPEG quality, 1..100
    std::string outputFolder;   // empty: the current folder
    unsigned jobs = 0;          // 0: one per processor
    bool force = false;         // overwrite existing previews
    bool viaFiles = false;      // unpack archives into the temporary folder instead of reading them in memory
    bool recursive = false;     // folders of skins are walked into their subfolders
    std::string galleryFolder;  // non-empty: write a gallery (previews and index.html) there
    bool shape = false;         // PNG previews transparent outside the skin's region.txt
    std::vector<std::string> skins;
    // --thumbnail: the preview scaled to fit a square of this many pixels, written as PNG.
    int thumbnailSize = 0;
    std::string thumbnailInput, thumbnailOutput;
};

inline constexpr int kMaxThumbnailSize = 4096;

inline constexpr const char* kUsage =
    "usage: veltrane-preview [-f jpg|bmp|png] [-q QUALITY] [-o DIR | --gallery DIR] [-j JOBS] [-r] [--force]\n"
    "                        [--shape | --no-shape] [--via-files] SKIN...\n"
    "       veltrane-preview --thumbnail SIZE INPUT OUTPUT\n"
    "       veltrane-preview --help | --version\n";

inline constexpr const char* kHelp =
    "Renders the 275 x 350 preview of each SKIN without a display, as the viewer saves it.\n"
    "A SKIN is a skin folder (it holds a main.bmp), a .wsz or .zip archive, or a folder of skins\n"
    "(its skin folders, then its .wsz archives). Previews are named after the skin.\n"
    "\n"
    "  -f jpg|bmp|png  output format (default jpg; png for a gallery)\n"
    "  -q QUALITY      JPEG quality, 1 to 100 (default 90)\n"
    "  -o DIR          folder to write into (default: the current folder)\n"
    "  --gallery DIR   write the previews and an index.html showing them all into DIR; a rerun\n"
    "                  renders only the skins that are new or changed since the last one\n"
    "  -j JOBS         number of worker processes (default: one per processor)\n"
    "  -r, --recursive walk folders of skins into their subfolders (links to folders are not\n"
    "                  followed, skin folders are not walked into)\n"
    "  --force         replace existing previews (otherwise they are skipped); with --gallery,\n"
    "                  render every skin again\n"
    "  --shape         PNG previews are transparent outside the main and equalizer windows' outline\n"
    "                  given by the skin's region.txt (the default for a gallery in PNG)\n"
    "  --no-shape      PNG previews stay opaque\n"
    "  --via-files     unpack archives into the temporary folder as the viewer does, instead of\n"
    "                  reading them in memory (same previews, slower; for comparison)\n"
    "  --thumbnail SIZE INPUT OUTPUT\n"
    "                  write the preview of one skin, scaled to fit SIZE x SIZE, as a PNG file,\n"
    "                  transparent outside its region.txt outline\n"
    "  --help          show this text\n"
    "  --version       show the version\n"
    "\n"
    "Exit status: 0 when every skin was rendered or skipped, 1 when any failed, 2 for a usage error.\n";

// Parses argv[1..]; on a usage error returns nullopt and sets error to a one-line explanation.
std::optional<PreviewOptions> ParsePreviewOptions(const std::vector<std::string>& args, std::string& error);

}  // namespace veltrane::preview
