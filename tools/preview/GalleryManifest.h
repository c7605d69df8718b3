// The small record a gallery keeps beside its previews, so that a rerun renders only the skins that
// are new or changed: per skin, its path, size and modification time as last rendered, the format,
// the preview file and the skin's facts, which an unchanged skin keeps. A damaged or foreign line
// is ignored, which only costs a render.
#pragma once

#include "SkinFacts.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltrane::preview {

// What identifies a skin's contents without reading them.
struct SkinStamp {
    uint64_t size = 0;
    int64_t mtime = 0;  // nanoseconds since the epoch
    bool operator==(const SkinStamp&) const = default;
};

struct GalleryRecord {
    std::string skin;  // absolute path of the skin folder or archive
    SkinStamp stamp;
    std::string format;   // how the preview was encoded ("png", "bmp", "jpg90")
    std::string preview;  // its file name in the gallery's preview folder
    SkinFacts facts;
};

inline constexpr const char* kManifestFirstLine = "veltrane-gallery 2";
// The first line of manifests written before facts were kept: still the gallery's own, but every
// skin in it is rendered again.
inline constexpr const char* kManifestFirstLineWithoutFacts = "veltrane-gallery 1";

// One line per record, fields separated by tabs; tabs, line ends and backslashes in a field escaped.
std::string FormatManifest(const std::vector<GalleryRecord>& records);
// The records of a manifest's text; lines that do not parse, and preview names that are not plain
// file names (empty, ".", "..", holding a "/"), are left out. Nothing at all without the first line.
// A record without facts that parse (as every record of the earlier form) comes with its format
// left empty, so that its skin is rendered again while its preview is still known as the
// gallery's own.
std::vector<GalleryRecord> ParseManifest(const std::string& text);

}  // namespace veltrane::preview
