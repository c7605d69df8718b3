// The small record a gallery keeps beside its previews, so that a rerun renders only the skins that
// are new or changed and rewrites nothing when no skin is: per skin, its path, size and modification
// time as last rendered, the format, the preview file (none when the skin failed, with the reason)
// and the skin's facts, which an unchanged skin keeps. The skins' texts, the bulk of the facts, live
// in a file of their own that is read only when the page must be written again. A damaged or foreign
// line is ignored, which only costs a render.
#pragma once

#include "SkinFacts.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltrane::preview {

// What identifies a file's contents without reading them.
struct SkinStamp {
    uint64_t size = 0;
    int64_t mtime = 0;  // nanoseconds since the epoch
    bool operator==(const SkinStamp&) const = default;
};

struct GalleryRecord {
    std::string skin;  // absolute path of the skin folder or archive
    SkinStamp stamp;
    std::string format;   // how the preview was encoded ("png", "bmp", "jpg90")
    std::string preview;  // its file name in the gallery's preview folder; empty when the skin failed
    SkinFacts facts;      // without the text, which is in the texts file at textAt (in an older manifest, here)
    std::string reason;   // why the skin failed
    uint64_t textAt = 0, textLength = 0;
};

// A page file as the gallery last wrote it: its stamp after writing and the hash of its bytes.
struct WrittenFile {
    SkinStamp stamp;
    std::string hash;
    bool operator==(const WrittenFile&) const = default;
};

struct GalleryManifest {
    int version = 0;  // 0: not a gallery's manifest
    std::vector<GalleryRecord> records;
    std::string textsHash;  // WordHash of the texts file's body the records point into
    uint64_t textsSize = 0;
    // What made the page and skins.json (GalleryPageKey), and the files as written; empty when unknown.
    std::string pageKey;
    WrittenFile page, data;
};

inline constexpr int kManifestVersion = 3;
// Version 2 kept the texts inline; version 1 kept no facts: its skins are all rendered again.
inline constexpr const char* kManifestFirstLinePrefix = "veltrane-gallery ";

// Header lines, then one line per record, fields separated by tabs; tabs, line ends and backslashes
// in a field escaped.
std::string FormatManifest(const GalleryManifest& manifest);
// The manifest in a text; lines that do not parse, and preview names that are not plain file names
// (".", "..", holding a "/"), are left out. Version 0 and no records without a known first line.
// A record without facts that parse (as every record of version 1) comes with its format left empty,
// so that its skin is rendered again while its preview is still known as the gallery's own.
GalleryManifest ParseManifest(const std::string& text);

// The texts file: a first line naming the hash of its body, then the texts one after the other.
std::string TextsFileHead(const std::string& bodyHash);

}  // namespace veltrane::preview
