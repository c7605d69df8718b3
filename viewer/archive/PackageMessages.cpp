#include "archive/PackageMessages.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <vector>

namespace veltrane {
namespace {

// Decimal digits as an unsigned number, saturating; nothing when empty or not all digits.
std::optional<uint64_t> Unsigned(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        const uint64_t digit = uint64_t(c - '0');
        value = value > (std::numeric_limits<uint64_t>::max() - digit) / 10 ? std::numeric_limits<uint64_t>::max()
                                                                            : value * 10 + digit;
    }
    return value;
}

// Whether every character of field is one of allowed (and there is at least one).
bool MadeOf(std::string_view field, std::string_view allowed) {
    return !field.empty() && field.find_first_not_of(allowed) == std::string_view::npos;
}

// The fields that follow the two name fields of a listing, each with the characters it may hold:
// uncompressed and compressed size, ratio, date, time, attributes, method, encrypted, CRC, text
// flag, version made by, version needed, extra block ID, extra block size.
constexpr std::string_view kDigits = "0123456789";
constexpr std::string_view kFixedFields[] = {
    kDigits, kDigits,       "-0123456789", "-0123456789", ":0123456789", kDigits, kDigits, "01", "0123456789abcdef",
    "01",    ".0123456789", ".0123456789", kDigits,       kDigits};

// The uncompressed size when the fixed fields of a listing start at rest[0].
std::optional<uint64_t> FixedFieldsAt(std::string_view rest) {
    std::optional<uint64_t> size;
    for (std::string_view allowed : kFixedFields) {
        const size_t bar = rest.find('|');
        if (bar == std::string_view::npos || !MadeOf(rest.substr(0, bar), allowed)) return std::nullopt;
        if (!size) size = Unsigned(rest.substr(0, bar));
        rest.remove_prefix(bar + 1);
    }
    return size;
}

}  // namespace

std::optional<ListedMember> ParseListingMessage(std::string_view text, std::string_view archive) {
    if (text.size() <= archive.size() || text.substr(0, archive.size()) != archive || text[archive.size()] != '|')
        return std::nullopt;
    const std::string_view rest = text.substr(archive.size() + 1);
    // The two name fields end at some "|" from the second one on; every place where the fixed
    // fields would fit is a possible reading.
    std::optional<ListedMember> found;
    size_t bars = 0;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '|' || ++bars < 2) continue;
        const std::optional<uint64_t> size = FixedFieldsAt(rest.substr(i + 1));
        if (!size || (found && found->size >= *size)) continue;
        std::string names(rest.substr(0, i));
        const size_t split = names.find('|');
        if (split == 0) {
            names.erase(0, 1);  // no folder part
        } else if (split + 1 == names.size()) {
            names.pop_back();  // no file name: the member is a folder
            if (names.back() != '/') names += '/';
        } else {
            names[split] = '/';
        }
        found = ListedMember{std::move(names), *size};
    }
    return found;
}

std::optional<ProgressFields> ParseProgressMessage(std::string_view text) {
    // ...|size|bytes done|per cent|selected|index|compressed total|compressed read|
    if (text.empty() || text.back() != '|') return std::nullopt;
    text.remove_suffix(1);
    std::string_view fields[7];
    for (int i = 6; i >= 0; --i) {
        const size_t bar = text.rfind('|');
        if (bar == std::string_view::npos) return std::nullopt;
        fields[i] = text.substr(bar + 1);
        text = text.substr(0, bar);
    }
    const auto size = Unsigned(fields[0]), done = Unsigned(fields[1]), index = Unsigned(fields[4]);
    if (!size || !done || !index) return std::nullopt;
    return ProgressFields{*size, *done, *index};
}

}  // namespace veltrane
