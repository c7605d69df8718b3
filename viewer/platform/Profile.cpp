// A profile is a text of lines: "[name]" opens a section, "key=value" sets a key inside the section
// opened last, and a line whose first non-blank character is ";" is a comment. The first matching
// section and, inside it, the first matching key win. A value wrapped in a pair of equal quotes
// loses them, as the Windows reader does.
#include "platform/Profile.h"

#include "platform/CaseLookup.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace veltrane {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string Clip(std::string_view value) { return std::string(value.substr(0, kProfileValueMax)); }

// Splits off the next line, accepting "\r\n", "\n" and "\r" endings.
std::string_view NextLine(std::string_view& text) {
    const std::size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    if (end == std::string_view::npos) {
        text = {};
    } else {
        const std::size_t skip = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1;
        text.remove_prefix(end + skip);
    }
    return line;
}

}  // namespace

std::string GetProfileStringFromText(std::string_view text, const std::string& section, const std::string& key,
                                     const std::string& defaultValue) {
    const std::string_view wantedSection = Trim(section), wantedKey = Trim(key);
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    bool inSection = false, sectionSeen = false;
    while (!text.empty()) {
        const std::string_view line = Trim(NextLine(text));
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (sectionSeen) break;  // only the first section of that name counts
            const std::size_t close = line.find(']');
            inSection = EqualIgnoringAsciiCase(
                Trim(line.substr(1, close == std::string_view::npos ? line.npos : close - 1)), wantedSection);
            sectionSeen = inSection;
            continue;
        }
        if (!inSection) continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || !EqualIgnoringAsciiCase(Trim(line.substr(0, equals)), wantedKey))
            continue;
        std::string_view value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return Clip(value);
    }
    return Clip(Trim(defaultValue));
}

std::optional<std::string> ReadProfileText(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? std::streamoff(in.tellg()) : -1;
    if (size < 0) return std::nullopt;
    std::string text(std::min(std::size_t(size), kMaxProfileBytes), '\0');
    in.seekg(0);
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(std::size_t(in.gcount()));
    return text;
}

std::string GetPrivateProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                                    const std::string& path) {
    const std::optional<std::string> text = ReadProfileText(path);
    if (!text) return Clip(Trim(defaultValue));
    return GetProfileStringFromText(*text, section, key, defaultValue);
}

}  // namespace veltrane
