// What a collector wants to know about one skin besides its picture: its texts (readme, *.nfo,
// file_id.diz, ...), which standard bitmaps it lacks or has in a form the windows cannot use, what
// else it carries, and a hash of its preview's pixels that finds the same skin under another name.
#pragma once

#include "rendering/SkinFiles.h"
#include "rendering/SkinRegion.h"

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane::preview {

// The most text kept per skin, in bytes of UTF-8.
inline constexpr std::size_t kMaxSkinText = 64 * 1024;
// A text file larger than this is not read: no readme is, and it would be cut anyway.
inline constexpr uint64_t kMaxTextFileSize = 1024 * 1024;

struct SkinFacts {
    uint64_t size = 0;   // the archive's size, or the folder's files' total
    int64_t newest = 0;  // the newest file's time, seconds since the epoch; 0 unknown
    std::string text;    // the skin's texts as UTF-8, files separated by a blank line
    std::vector<std::string> missing, tooSmall, unreadable;  // standard bitmaps, lower case
    bool cursors = false, numsEx = false, region = false, shaped = false;
    std::string hash;    // PixelHash of the preview as written; empty when not rendered
    SkinRegion outline;  // region.txt as parsed (not carried between processes)
};

// A text file's bytes as UTF-8: UTF-16 when it starts with a byte-order mark, UTF-8 when the bytes
// are valid UTF-8 (a UTF-8 byte-order mark dropped), Windows-1252 otherwise. Line ends become "\n";
// control characters other than tab and line end, and unassigned or unpaired code units, are
// dropped or become U+FFFD; trailing blank lines and a DOS end-of-file mark are dropped.
std::string DecodeSkinText(std::span<const uint8_t> bytes);

// Whether a file of the skin is one of its texts: by name (a text extension, or a name such as
// "readme" without one; never pledit.txt, viscolor.txt or region.txt) and by content (no NUL bytes
// outside UTF-16, few control characters).
bool IsSkinTextName(const std::string& path);
bool LooksLikeText(std::span<const uint8_t> bytes);

// Collects texts in the order given, up to kMaxSkinText bytes (cut at a character boundary).
class SkinTextCollector {
public:
    // False once nothing more is kept, so the caller can stop reading.
    bool WantsMore() const { return !m_full; }
    void Add(std::span<const uint8_t> bytes);
    std::string Take() { return std::move(m_text); }

private:
    std::string m_text;
    bool m_full = false;
};

// A skin's files as the windows load them, recording each bitmap load's outcome, so that the facts
// about the standard bitmaps come from the render itself at no extra decoding.
class RecordingSkinFiles : public SkinFiles {
public:
    explicit RecordingSkinFiles(const SkinFiles& files) : m_files(files) {}
    bool HasFile(const std::string& name) const override { return m_files.HasFile(name); }
    bool LoadBitmap(const std::string& name, Dib& slot) const override;
    std::optional<std::string> ReadText(const std::string& name) const override { return m_files.ReadText(name); }

    // missing, tooSmall, unreadable, numsEx, region and outline of facts from what was loaded.
    void Describe(SkinFacts& facts) const;

private:
    struct Load {
        bool loaded = false;
        int32_t width = 0, height = 0;
    };
    const SkinFiles& m_files;
    mutable std::map<std::string, Load> m_loads;  // by lower-case name
};

// The hash of the preview's pixels: 64-bit FNV-1a taken over 8-byte little-endian words instead of
// bytes, of the picture's R, G, B, A bytes from the top row down (A 255 without alpha; a fully
// transparent pixel counts as 0, 0, 0, 0 whatever colour it hides), zero-padded to whole words;
// written as 16 lower-case hexadecimal digits.
std::string PixelHash(const Dib& picture, const std::vector<uint8_t>& alpha);
// That hash of any bytes, the last word zero-padded.
std::string WordHash(std::string_view bytes);

// Whether a path names a cursor file (*.cur).
bool IsCursorName(const std::string& path);

// Texts, cursors, size and newest time of a skin folder's own files (not its subfolders).
void DescribeSkinFolder(const std::string& folder, SkinFacts& facts);

// The facts (all but outline) as bytes, for passing between processes and keeping in the gallery's
// manifest, and back; false for bytes that are not such a record.
std::string SerializeFacts(const SkinFacts& facts);
bool DeserializeFacts(const std::string& bytes, SkinFacts& facts);

}  // namespace veltrane::preview
