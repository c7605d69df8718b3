#include "base/Printable.h"

#include "base/Utf8.h"

#include <cstdio>

namespace veltrane::text {
namespace {

void AppendEscape(std::string& shown, unsigned char c) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\x%02X", c);
    shown += escape;
}

}  // namespace

std::string Printable(const std::string& text, bool keepLines, InvalidBytes invalid) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80 || invalid == InvalidBytes::Keep) {
            const bool line = keepLines && (c == '\n' || c == '\r' || c == '\t');
            if ((c < 0x20 || c == 0x7F) && !line) AppendEscape(shown, c);
            else shown += char(c);
            ++i;
            continue;
        }
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            AppendEscape(shown, c);
            ++i;
            continue;
        }
        // C1 controls (U+0080 to U+009F) act on terminals as their escape sequences do.
        const char32_t point = Utf8CodePoint(text, i, length);
        for (std::size_t k = 0; k < length; ++k) {
            if (point <= 0x9F) AppendEscape(shown, static_cast<unsigned char>(text[i + k]));
            else shown += text[i + k];
        }
        i += length;
    }
    return shown;
}

}  // namespace veltrane::text
