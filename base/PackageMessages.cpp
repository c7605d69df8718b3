#include "base/PackageMessages.h"

#include <limits>

namespace veltrane {
namespace {

// Where the archive's field ends: after `archive` when the text starts with it and a "|", else at
// the first "|"; npos when there is none.
std::size_t ArchiveFieldEnd(std::string_view text, std::string_view archive) {
    if (text.size() > archive.size() && text.substr(0, archive.size()) == archive && text[archive.size()] == '|')
        return archive.size();
    return text.find('|');
}

bool MadeOf(std::string_view field, std::string_view allowed) {
    return !field.empty() && field.find_first_not_of(allowed) == std::string_view::npos;
}

// "9999-99-99" and "99:99:99" as the listing writes dates and times.
bool Shaped(std::string_view field, std::string_view shape) {
    if (field.size() != shape.size()) return false;
    for (std::size_t i = 0; i < field.size(); ++i)
        if (shape[i] == '9' ? field[i] < '0' || field[i] > '9' : field[i] != shape[i]) return false;
    return true;
}

// Each of the 14 fixed fields of a listing by its form.
bool FixedFieldFits(std::size_t index, std::string_view field) {
    constexpr std::string_view kDigits = "0123456789";
    switch (index) {
    case 2: return MadeOf(field, "-0123456789");  // ratio
    case 3: return Shaped(field, "9999-99-99");
    case 4: return Shaped(field, "99:99:99");
    case 7: return MadeOf(field, "01");                // encrypted
    case 8: return MadeOf(field, "0123456789abcdef");  // CRC
    case 9: return MadeOf(field, "01");                // text flag
    case 10:
    case 11: return MadeOf(field, ".0123456789");  // versions
    default: return MadeOf(field, kDigits);
    }
}

std::string Joined(const std::vector<std::string>& parts, std::size_t from, std::size_t to) {
    std::string out;
    for (std::size_t i = from; i < to; ++i) out += (i > from ? "|" : "") + parts[i];
    return out;
}

}  // namespace

std::vector<std::string> SplitMessageFields(std::string_view text, std::size_t fields) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t bar = fields && out.size() + 1 == fields ? std::string_view::npos : text.find('|', start);
        if (bar == std::string_view::npos) {
            out.emplace_back(text.substr(start));
            break;
        }
        out.emplace_back(text.substr(start, bar - start));
        start = bar + 1;
    }
    return out;
}

std::vector<std::string> SplitAroundName(std::string_view text, std::string_view archive, std::size_t numbers) {
    const std::size_t start = ArchiveFieldEnd(text, archive);
    if (start == std::string_view::npos) return {std::string(text)};
    std::vector<std::string> tail;
    std::size_t end = text.size();
    if (end > start + 1 && text[end - 1] == '|') --end;  // each field ends with a bar
    while (tail.size() < numbers) {
        const std::size_t bar = text.rfind('|', end - 1);
        if (bar == std::string_view::npos || bar <= start) break;
        tail.insert(tail.begin(), std::string(text.substr(bar + 1, end - bar - 1)));
        end = bar;
    }
    std::vector<std::string> out{std::string(text.substr(0, start)),
                                 std::string(text.substr(start + 1, end - start - 1))};
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

std::optional<std::vector<std::string>> ListingMessageFields(std::string_view text, std::string_view archive) {
    constexpr std::size_t kFixed = 14;
    const std::size_t archiveEnd = ArchiveFieldEnd(text, archive);
    if (archiveEnd == std::string_view::npos) return std::nullopt;
    // After the archive: the folder, the file name (which may hold bars), the fixed fields, each
    // ending with a bar, then the extra data.
    const std::vector<std::string> parts = SplitMessageFields(text.substr(archiveEnd + 1));
    std::optional<std::vector<std::string>> best;
    unsigned long long bestSize = 0;
    for (std::size_t k = 2; k + kFixed <= parts.size(); ++k) {
        bool fits = true;
        for (std::size_t i = 0; i < kFixed && fits; ++i) fits = FixedFieldFits(i, parts[k + i]);
        if (!fits) continue;
        const unsigned long long size = *MessageNumber(parts[k]);
        if (best && size <= bestSize) continue;
        std::vector<std::string> fields{std::string(text.substr(0, archiveEnd)), parts[0], Joined(parts, 1, k)};
        fields.insert(fields.end(), parts.begin() + std::ptrdiff_t(k), parts.begin() + std::ptrdiff_t(k + kFixed));
        fields.push_back(Joined(parts, k + kFixed, parts.size()));
        best = std::move(fields);
        bestSize = size;
    }
    return best;
}

std::optional<unsigned long long> MessageNumber(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    constexpr unsigned long long kMost = std::numeric_limits<unsigned long long>::max();
    unsigned long long value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        const unsigned digit = unsigned(c - '0');
        value = value > (kMost - digit) / 10 ? kMost : value * 10 + digit;
    }
    return value;
}

}  // namespace veltrane
