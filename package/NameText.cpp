#include "NameText.h"

#include "ExtraField.h"
#include "ArchiveInput.h"
#include "crc32.h"

#include "base/Utf8.h"

#include <iconv.h>

namespace tarrow {

bool knownCharset(const std::string& charset) {
    if (charset.empty()) return false;
    iconv_t converter = ::iconv_open("UTF-8", charset.c_str());
    if (converter == iconv_t(-1)) return false;
    ::iconv_close(converter);
    return true;
}

using veltrane::text::AppendUtf8;
using veltrane::text::Utf8CodePoint;
using veltrane::text::Utf8SequenceLength;

namespace {

// Code page 437 from 0x80 to 0xFF.
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

constexpr uint8_t kHostMsdos = 0, kHostHpfs = 6, kHostNtfs = 10, kHostVfat = 14;
constexpr uint8_t kUnicodeBlockVersion = 1;

}  // namespace

bool hostUsesCp437(uint8_t host) {
    return host == kHostMsdos || host == kHostHpfs || host == kHostNtfs || host == kHostVfat;
}

std::string cp437ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char b : bytes) {
        const uint8_t c = uint8_t(b);
        AppendUtf8(out, c < 0x80 ? char32_t(c) : char32_t(kCp437High[c - 0x80]));
    }
    return out;
}

std::u32string codePoints(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const size_t n = Utf8SequenceLength(text, at);
        if (n == 0) {
            out += char32_t(0xDC00 + uint8_t(text[at]));  // each stray byte stands for itself
            ++at;
            continue;
        }
        out += Utf8CodePoint(text, at, n);
        at += n;
    }
    return out;
}

void cutUtf8(std::string& text, size_t max) {
    if (text.size() <= max) return;
    size_t end = max;
    while (end > 0 && (uint8_t(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
}

std::optional<std::string> unicodeBlockText(std::string_view stored, std::span<const uint8_t> extra,
                                            uint16_t unicodeId) {
    // The block: version 1, the CRC-32 of the header's bytes, then the UTF-8 text. A block whose
    // CRC does not match was left behind by a tool that changed the name without updating it.
    auto block = findExtraBlock(extra, unicodeId);
    if (!block || block->size() < 5 || (*block)[0] != kUnicodeBlockVersion) return std::nullopt;
    const uint32_t crc = le32(block->data() + 1);
    std::string_view text(reinterpret_cast<const char*>(block->data() + 5), block->size() - 5);
    if (crc != crc32(reinterpret_cast<const uint8_t*>(stored.data()), stored.size()) || !veltrane::text::IsUtf8(text))
        return std::nullopt;
    return std::string(text);
}

std::string textAsUtf8(std::string_view stored, uint16_t flags, uint8_t host, std::span<const uint8_t> extra,
                       uint16_t unicodeId) {
    if (flags & kFlagUtf8) return std::string(stored);
    if (auto text = unicodeBlockText(stored, extra, unicodeId)) return std::move(*text);
    if (hostUsesCp437(host)) return cp437ToUtf8(stored);
    return std::string(stored);
}

}  // namespace tarrow
