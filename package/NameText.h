// Member names and comments as UTF-8: the header's bytes are UTF-8 when general-purpose bit 11 says
// so; otherwise a Unicode path (0x7075) or comment (0x6375) block whose CRC-32 matches the header's
// bytes gives the text; otherwise, when the caller chose a code page, the bytes are read in it
// whatever host made them; otherwise (or when they are not valid in that code page) text made on
// MS-DOS, OS/2 or Windows is code page 437 and is converted, and text from any other host keeps its
// bytes.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarrow {

constexpr uint16_t kFlagUtf8 = 0x0800;

// Hosts of "version made by" whose file systems store names in code page 437: MS-DOS and OS/2 FAT,
// OS/2 HPFS, Windows NTFS and VFAT.
bool hostUsesCp437(uint8_t host);

// A code page that names are read in, through iconv: opened once for a catalogue, then asked for
// each name. Separators stay what they are in the bytes: 0x2F and 0x5C standing alone as characters
// are "/" and "\" whatever the code page calls them (Shift-JIS calls 0x5C a yen sign), and a
// character of other bytes never becomes one (those that convert to "/" or "\" become their
// fullwidth forms), so that a trail byte 0x5C splits no name. Safe to use from several threads.
class CodePage {
public:
    // Null when iconv does not know charset; throws std::bad_alloc when it cannot open it for want
    // of memory or descriptors.
    static std::unique_ptr<CodePage> open(const std::string& charset);
    ~CodePage();
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    // The text of bytes in this code page as UTF-8; nullopt when a sequence is not valid in it, or is
    // incomplete at the end. With `cut` (the bytes are the start of a longer text), an incomplete last
    // character is dropped instead.
    std::optional<std::string> toUtf8(std::string_view bytes, bool cut = false) const;

private:
    explicit CodePage(void* converter) : m_converter(converter) {}
    bool makeTable();
    std::optional<std::string> fromTable(std::string_view bytes) const;
    std::optional<std::string> byCharacter(std::string_view bytes, bool cut) const;

    void* m_converter;  // iconv_t
    // Code pages of single bytes convert through a table made at opening: each byte's text, or no
    // character at all; the others convert character by character, one name at a time.
    bool m_singleBytes = false;
    std::array<std::string, 256> m_table;
    std::bitset<256> m_invalid;
    mutable std::mutex m_lock;
};

// Whether names can be read in charset (CodePage::open gives a code page for it).
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
// codePage is the caller's choice, or null; `cut` tells that stored is the start of a longer text.
std::string textAsUtf8(std::string_view stored, uint16_t flags, uint8_t host, std::span<const uint8_t> extra,
                       uint16_t unicodeId, const CodePage* codePage = nullptr, bool cut = false);

}  // namespace tarrow
