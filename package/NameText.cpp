#include "NameText.h"

#include "ExtraField.h"
#include "ArchiveInput.h"
#include "crc32.h"

#include "base/Utf8.h"

#include <cerrno>
#include <iconv.h>
#include <new>

namespace tarrow {

bool knownCharset(const std::string& charset) {
    try {
        return CodePage::open(charset) != nullptr;
    } catch (const std::bad_alloc&) {
        return false;
    }
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

// The most bytes a character (or a shift sequence with its character) of any code page takes.
constexpr size_t kLongestSequence = 16;

iconv_t converterOf(void* converter) { return static_cast<iconv_t>(converter); }

// Appends the text a character of the stored bytes converted to, by the separator rule: the bytes
// 0x2F and 0x5C alone are "/" and "\", and no other character turns into either.
void appendCharacter(std::string& out, std::string_view stored, std::string_view text) {
    if (stored.size() == 1 && (stored[0] == '/' || stored[0] == '\\')) {
        out += stored[0];
        return;
    }
    for (char c : text) {
        if (c == '/') out += "\xEF\xBC\x8F";        // U+FF0F FULLWIDTH SOLIDUS
        else if (c == '\\') out += "\xEF\xBC\xBC";  // U+FF3C FULLWIDTH REVERSE SOLIDUS
        else out += c;
    }
}

// One conversion step: as many of `length` bytes from `at` as make whole characters; the bytes taken,
// with the text in `text`, and errno set when none could be taken.
size_t convertStep(iconv_t converter, std::string_view bytes, size_t at, size_t length, std::string& text) {
    char buffer[64];
    char* in = const_cast<char*>(bytes.data() + at);
    size_t inLeft = length;
    char* out = buffer;
    size_t outLeft = sizeof buffer;
    ::iconv(converter, &in, &inLeft, &out, &outLeft);
    text.assign(buffer, out);
    return length - inLeft;
}

}  // namespace

std::unique_ptr<CodePage> CodePage::open(const std::string& charset) {
    if (charset.empty()) return nullptr;
    iconv_t converter = ::iconv_open("UTF-8", charset.c_str());
    if (converter == iconv_t(-1)) {
        if (errno == EINVAL) return nullptr;
        throw std::bad_alloc();
    }
    std::unique_ptr<CodePage> page(new (std::nothrow) CodePage(converter));
    if (!page) {
        ::iconv_close(converter);
        throw std::bad_alloc();
    }
    page->m_singleBytes = page->makeTable();
    return page;
}

CodePage::~CodePage() { ::iconv_close(converterOf(m_converter)); }

// A code page is of single bytes when every byte, from the initial state, is a character of its own
// or none at all; lead bytes, and bytes that only shift the state, make it one of several bytes.
bool CodePage::makeTable() {
    const iconv_t converter = converterOf(m_converter);
    std::string text;
    for (int b = 0; b < 256; ++b) {
        const char byte = char(b);
        ::iconv(converter, nullptr, nullptr, nullptr, nullptr);
        errno = 0;
        const bool alone = convertStep(converter, {&byte, 1}, 0, 1, text) == 1 && !text.empty();
        if (!alone && errno != EILSEQ) return false;
        if (alone || byte == '/' || byte == '\\') appendCharacter(m_table[b], {&byte, 1}, text);
        else m_invalid.set(size_t(b));
    }
    return true;
}

std::optional<std::string> CodePage::toUtf8(std::string_view bytes, bool cut) const {
    return m_singleBytes ? fromTable(bytes) : byCharacter(bytes, cut);
}

std::optional<std::string> CodePage::fromTable(std::string_view bytes) const {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char b : bytes) {
        if (m_invalid[uint8_t(b)]) return std::nullopt;
        out += m_table[uint8_t(b)];
    }
    return out;
}

// Each character is converted on its own, so that the separator rule knows which bytes made it: the
// bytes from `at` are offered one more at a time until they make a character.
std::optional<std::string> CodePage::byCharacter(std::string_view bytes, bool cut) const {
    const std::lock_guard<std::mutex> hold(m_lock);
    const iconv_t converter = converterOf(m_converter);
    ::iconv(converter, nullptr, nullptr, nullptr, nullptr);
    std::string out, text;
    out.reserve(bytes.size() * 2);
    size_t at = 0, length = 1;
    while (at < bytes.size()) {
        errno = 0;
        const size_t taken = convertStep(converter, bytes, at, length, text);
        if (taken > 0) {
            appendCharacter(out, bytes.substr(at, taken), text);
            at += taken;
            length = 1;
            continue;
        }
        if (errno != EINVAL || length == kLongestSequence) return std::nullopt;
        if (at + length < bytes.size()) {
            ++length;
            continue;
        }
        if (!cut) return std::nullopt;  // a character cut short at the end
        break;
    }
    // A code page with shift states may owe text for returning to the initial one.
    char buffer[64];
    char* end = buffer;
    size_t left = sizeof buffer;
    if (::iconv(converter, nullptr, nullptr, &end, &left) != size_t(-1)) out.append(buffer, end);
    return out;
}

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
                       uint16_t unicodeId, const CodePage* codePage, bool cut) {
    if (flags & kFlagUtf8) return std::string(stored);
    if (auto text = unicodeBlockText(stored, extra, unicodeId)) return std::move(*text);
    // Bytes that are not valid in the chosen code page were not written in it: the host decides.
    if (codePage)
        if (auto text = codePage->toUtf8(stored, cut)) return std::move(*text);
    if (hostUsesCp437(host)) return cp437ToUtf8(stored);
    return std::string(stored);
}

}  // namespace tarrow
