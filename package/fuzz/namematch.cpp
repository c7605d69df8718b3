// The name matcher over arbitrary patterns and names. Input: a flag byte (bit 0: match the base
// name only), then the pattern, a NUL, and the name. Matching must finish quickly whatever the
// stars, ignore the case of ASCII letters, and a pattern that quotes every character of a name
// must select exactly that name.
#include "NameMatch.h"

#include <cstdlib>
#include <string>
#include <string_view>

using tarrow::matchName;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool base = data[0] & 1;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t nul = text.find('\0');
    const std::string_view pattern = text.substr(0, nul);
    const std::string_view name = nul == std::string_view::npos ? std::string_view() : text.substr(nul + 1);

    const bool selected = matchName(pattern, name, base);
    std::string swapped(name);
    for (char& c : swapped)
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) c = char(c ^ 0x20);
    if (matchName(pattern, swapped, base) != selected) std::abort();

    if (name.size() * 2 <= tarrow::kMaxPatternLength) {
        std::string quoted;
        for (char c : name) {
            quoted += '\\';
            quoted += c;
        }
        if (!matchName(quoted, name, false)) std::abort();
    }
    return 0;
}
