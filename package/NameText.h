// Member names and comments as UTF-8: the header's bytes are UTF-8 when general-purpose bit 11 says
// so; otherwise a Unicode path (0x7075) or comment (0x6375) block whose CRC-32 matches the header's
// bytes gives the text; otherwise text made on MS-DOS, OS/2 or Windows is code page 437 and is
// converted; text from any other host keeps its bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarrow {

constexpr uint16_t kFlagUtf8 = 0x0800;

// Hosts of "version made by" whose file systems store names in code page 437: MS-DOS and OS/2 FAT,
// OS/2 HPFS, Windows NTFS and VFAT.
bool hostUsesCp437(uint8_t host);

// Whether iconv can convert from charset to UTF-8.
bool knownCharset(const std::string& charset);

// The text of CP437 bytes in UTF-8 (the bytes below 128 are ASCII and stay as they are).
std::string cp437ToUtf8(std::string_view bytes);

// The characters of text: UTF-8 sequences decoded, every other byte b as U+DC00 + b, so that bytes
// that are not UTF-8 stay distinct from every character.
std::u32string codePoints(std::string_view text);
// Cuts text to at most max bytes, never inside a UTF-8 sequence.
void cutUtf8(std::string& text, size_t max);

// The text of a Unicode path or comment block with this ID whose CRC-32 matches the header's bytes.
std::optional<std::string> unicodeBlockText(std::string_view stored, std::span<const uint8_t> extra,
                                            uint16_t unicodeId);
// The text of a name or comment by the rules above; `unicodeId` names the block that may carry it.
std::string textAsUtf8(std::string_view stored, uint16_t flags, uint8_t host, std::span<const uint8_t> extra,
                       uint16_t unicodeId);

}  // namespace tarrow
