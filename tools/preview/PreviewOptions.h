// Command line of veltrane-preview:
//   veltrane-preview [-f jpg|bmp] [-q QUALITY] [-o DIR] [-j JOBS] [--force] SKIN...
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace veltrane::preview {

enum class ImageFormat { Bmp, Jpeg };

struct PreviewOptions {
    ImageFormat format = ImageFormat::Bmp;
    int quality = 90;           // JPEG quality, 1..100
    std::string outputFolder;   // empty: the current folder
    unsigned jobs = 0;          // 0: one per processor
    bool force = false;         // overwrite existing previews
    std::vector<std::string> skins;
};

inline constexpr const char* kUsage =
    "usage: veltrane-preview [-f jpg|bmp] [-q QUALITY] [-o DIR] [-j JOBS] [--force] SKIN...\n"
    "  SKIN is a skin folder, a .wsz or .zip archive, or a folder of skins.\n";

// Parses argv[1..]; on a usage error returns nullopt and sets error to a one-line explanation.
std::optional<PreviewOptions> ParsePreviewOptions(const std::vector<std::string>& args, std::string& error);

}  // namespace veltrane::preview
