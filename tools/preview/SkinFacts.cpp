#include "SkinFacts.h"

#include "base/Utf8.h"

#include "platform/CaseLookup.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>

namespace veltrane::preview {
using text::AppendUtf8;
namespace {

// The standard bitmaps, the name a slot falls back to when the first is not there, and the least
// size that covers everything the windows copy out of it in any state.
struct StandardBitmap {
    const char* name;
    const char* fallback;
    int32_t width, height;
};
constexpr StandardBitmap kStandardBitmaps[] = {
    {"main.bmp", nullptr, 275, 116},        {"cbuttons.bmp", nullptr, 136, 36}, {"titlebar.bmp", nullptr, 344, 87},
    {"playpaus.bmp", nullptr, 42, 9},       {"monoster.bmp", nullptr, 56, 24},  {"posbar.bmp", nullptr, 307, 10},
    {"shufrep.bmp", nullptr, 92, 85},       {"volume.bmp", nullptr, 68, 433},   {"balance.bmp", "volume.bmp", 47, 433},
    {"numbers.bmp", "nums_ex.bmp", 90, 13}, {"text.bmp", nullptr, 155, 18},     {"eqmain.bmp", nullptr, 275, 315},
    {"pledit.bmp", nullptr, 276, 110},
};

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return Lower(slash == std::string::npos ? path : path.substr(slash + 1));
}

// Windows-1252 bytes 0x80 to 0x9F; the five unassigned ones become U+FFFD.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

// Takes one decoded character into the text: line ends unified, controls dropped.
class TextSink {
public:
    void Put(char32_t c) {
        if (c == '\r') {
            m_out += '\n';
            m_afterReturn = true;
            return;
        }
        const bool afterReturn = m_afterReturn;
        m_afterReturn = false;
        if (c == '\n') {
            if (!afterReturn) m_out += '\n';
            return;
        }
        if ((c < 0x20 && c != '\t') || c == 0x7F || (c >= 0x80 && c < 0xA0)) return;
        AppendUtf8(m_out, c);
    }
    std::string Finish() {
        while (!m_out.empty() && (m_out.back() == '\n' || m_out.back() == ' ' || m_out.back() == '\t'))
            m_out.pop_back();
        return std::move(m_out);
    }

private:
    std::string m_out;
    bool m_afterReturn = false;
};

std::string DecodeUtf16(std::span<const uint8_t> bytes, bool bigEndian) {
    TextSink sink;
    const auto unit = [&](std::size_t i) -> char32_t {
        return bigEndian ? char32_t(bytes[i] << 8 | bytes[i + 1]) : char32_t(bytes[i + 1] << 8 | bytes[i]);
    };
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const char32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
            const char32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                sink.Put(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        sink.Put(c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);
    }
    return sink.Finish();
}

uint64_t ReadLittle64(const uint8_t* p) {
    uint64_t v = 0;
    for (int k = 7; k >= 0; --k) v = v << 8 | p[k];
    return v;
}

}  // namespace

std::string DecodeSkinText(std::span<const uint8_t> bytes) {
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return DecodeUtf16(bytes, false);
    if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) return DecodeUtf16(bytes, true);
    std::string raw(bytes.begin(), bytes.end());
    if (raw.rfind("\xEF\xBB\xBF", 0) == 0) raw.erase(0, 3);
    // A DOS end-of-file mark ends the text.
    if (const std::size_t eof = raw.find('\x1A'); eof != std::string::npos) raw.resize(eof);
    TextSink sink;
    if (text::IsUtf8(raw)) {
        for (std::size_t i = 0; i < raw.size();) sink.Put(text::NextCodePoint(raw, i));
    } else {
        for (const char byte : raw) {
            const uint8_t b = uint8_t(byte);
            sink.Put(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char32_t(b));
        }
    }
    return sink.Finish();
}

bool IsSkinTextName(const std::string& path) {
    const std::string name = BaseName(path);
    if (name == "pledit.txt" || name == "viscolor.txt" || name == "region.txt") return false;
    static const char* const kNames[] = {"readme", "read.me", "readme.1st", "license", "copying", "authors"};
    for (const char* known : kNames)
        if (name == known) return true;
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    const std::string extension = name.substr(dot + 1);
    static const char* const kExtensions[] = {"txt", "nfo", "diz", "1st", "me", "asc", "text", "readme", "now"};
    return std::any_of(std::begin(kExtensions), std::end(kExtensions), [&](const char* e) { return extension == e; });
}

bool LooksLikeText(std::span<const uint8_t> bytes) {
    if (bytes.size() >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF)))
        return true;
    // Bytes of old editors after a DOS end-of-file mark are no part of the text.
    const std::size_t end = std::find(bytes.begin(), bytes.end(), 0x1A) - bytes.begin();
    std::size_t controls = 0;
    for (std::size_t i = 0; i < end; ++i) {
        const uint8_t b = bytes[i];
        if (b == 0) return false;
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f') ++controls;
    }
    // Art in code page 437 uses a few control characters as glyphs; a binary file has many.
    return controls * 20 <= end;
}

void SkinTextCollector::Add(std::span<const uint8_t> bytes) {
    if (!WantsMore() || !LooksLikeText(bytes)) return;
    std::string text = DecodeSkinText(bytes);
    if (text.empty()) return;
    if (!m_text.empty()) m_text += "\n\n";
    m_text += text;
    if (m_text.size() < kMaxSkinText) return;
    m_full = true;
    if (m_text.size() == kMaxSkinText) return;
    std::size_t cut = kMaxSkinText;
    while (cut > 0 && (uint8_t(m_text[cut]) & 0xC0) == 0x80) --cut;
    m_text.resize(cut);
}

bool RecordingSkinFiles::LoadBitmap(const std::string& name, Dib& slot) const {
    const bool loaded = m_files.LoadBitmap(name, slot);
    m_loads[Lower(name)] = {loaded, loaded ? slot.Width() : 0, loaded ? slot.Height() : 0};
    return loaded;
}

void RecordingSkinFiles::Describe(SkinFacts& facts) const {
    for (const StandardBitmap& bitmap : kStandardBitmaps) {
        const char* name = bitmap.name;
        if (!m_files.HasFile(name) && bitmap.fallback && m_files.HasFile(bitmap.fallback)) name = bitmap.fallback;
        if (!m_files.HasFile(name)) {
            facts.missing.push_back(bitmap.name);
            continue;
        }
        const auto load = m_loads.find(name);
        if (load == m_loads.end()) continue;  // not loaded by this render
        if (!load->second.loaded) facts.unreadable.push_back(name);
        else if (load->second.width < bitmap.width || load->second.height < bitmap.height)
            facts.tooSmall.push_back(name);
    }
    facts.numsEx = m_files.HasFile("nums_ex.bmp");
    facts.region = m_files.HasFile("region.txt");
    if (facts.region)
        if (const std::optional<std::string> text = m_files.ReadText("region.txt"))
            facts.outline = ParseSkinRegion(*text);
}

std::string PixelHash(const Dib& picture, const std::vector<uint8_t>& alpha) {
    const std::size_t width = std::size_t(picture.Width()), height = std::size_t(picture.Height());
    std::vector<uint8_t> bytes((width * height * 4 + 7) / 8 * 8, 0);
    const bool direct = picture.BitCount() == 24 || picture.BitCount() == 32;
    const std::size_t step = std::size_t(picture.BitCount() / 8);
    for (std::size_t y = 0; y < height; ++y) {
        const uint8_t* source = picture.Row(int32_t(y));
        for (std::size_t x = 0; x < width; ++x) {
            const uint8_t a = alpha.empty() ? 255 : alpha[y * width + x];
            uint8_t* p = &bytes[(y * width + x) * 4];
            p[3] = a;
            if (a == 0) continue;
            if (direct) {
                const uint8_t* bgr = source + x * step;
                p[0] = bgr[2], p[1] = bgr[1], p[2] = bgr[0];
            } else {
                const RgbQuad c = picture.PixelColor(int32_t(x), int32_t(y));
                p[0] = c.red, p[1] = c.green, p[2] = c.blue;
            }
        }
    }
    return WordHash(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string WordHash(std::string_view bytes) {
    uint64_t hash = 0xCBF29CE484222325ull;
    std::size_t at = 0;
    for (; at + 8 <= bytes.size(); at += 8) {
        hash ^= ReadLittle64(reinterpret_cast<const uint8_t*>(bytes.data()) + at);
        hash *= 0x100000001B3ull;
    }
    if (at < bytes.size()) {
        uint8_t last[8] = {};
        std::copy(bytes.begin() + std::ptrdiff_t(at), bytes.end(), last);
        hash ^= ReadLittle64(last);
        hash *= 0x100000001B3ull;
    }
    static const char kDigits[] = "0123456789abcdef";
    std::string text(16, '0');
    for (int k = 15; k >= 0; --k, hash >>= 4) text[std::size_t(k)] = kDigits[hash & 15];
    return text;
}

bool IsCursorName(const std::string& path) {
    const std::string name = BaseName(path);
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".cur") == 0;
}

void DescribeSkinFolder(const std::string& folder, SkinFacts& facts) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    SkinTextCollector texts;
    for (const std::string& name : names) {
        struct stat info {};
        const std::string path = prefix + name;
        if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        facts.size += uint64_t(info.st_size);
        facts.newest = std::max<int64_t>(facts.newest, info.st_mtim.tv_sec);
        facts.cursors = facts.cursors || IsCursorName(name);
        if (!texts.WantsMore() || !IsSkinTextName(name) || uint64_t(info.st_size) > kMaxTextFileSize) continue;
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        texts.Add(bytes);
    }
    facts.text = texts.Take();
}

// Each field is its length in decimal, ":", and its bytes; numbers and flags are written as text.
std::string SerializeFacts(const SkinFacts& facts) {
    std::string out;
    const auto field = [&](const std::string& value) { out += std::to_string(value.size()) + ":" + value; };
    const auto list = [&](const std::vector<std::string>& values) {
        field(std::to_string(values.size()));
        for (const std::string& value : values) field(value);
    };
    field(std::to_string(facts.size));
    field(std::to_string(facts.newest));
    field(std::string{char('0' + facts.cursors), char('0' + facts.numsEx), char('0' + facts.region),
                      char('0' + facts.shaped)});
    field(facts.hash);
    list(facts.missing);
    list(facts.tooSmall);
    list(facts.unreadable);
    field(facts.text);
    return out;
}

bool DeserializeFacts(const std::string& bytes, SkinFacts& facts) {
    std::size_t at = 0;
    const auto field = [&](std::string& value) {
        const std::size_t colon = bytes.find(':', at);
        if (colon == std::string::npos || colon == at || colon - at > 10) return false;
        uint64_t length = 0;
        for (std::size_t i = at; i < colon; ++i) {
            if (bytes[i] < '0' || bytes[i] > '9') return false;
            length = length * 10 + uint64_t(bytes[i] - '0');
        }
        if (length > bytes.size() - colon - 1) return false;
        value.assign(bytes, colon + 1, length);
        at = colon + 1 + length;
        return true;
    };
    const auto number = [&](auto& out) {
        std::string text;
        if (!field(text) || text.empty()) return false;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
        return ec == std::errc() && end == text.data() + text.size();
    };
    const auto list = [&](std::vector<std::string>& values) {
        std::size_t count = 0;
        if (!number(count) || count > bytes.size()) return false;
        values.assign(count, {});
        for (std::string& value : values)
            if (!field(value)) return false;
        return true;
    };
    SkinFacts read;
    std::string flags;
    if (!number(read.size) || !number(read.newest) || !field(flags) || flags.size() != 4 ||
        flags.find_first_not_of("01") != std::string::npos || !field(read.hash) || !list(read.missing) ||
        !list(read.tooSmall) || !list(read.unreadable) || !field(read.text) || at != bytes.size())
        return false;
    read.cursors = flags[0] == '1';
    read.numsEx = flags[1] == '1';
    read.region = flags[2] == '1';
    read.shaped = flags[3] == '1';
    facts = std::move(read);
    return true;
}

}  // namespace veltrane::preview
