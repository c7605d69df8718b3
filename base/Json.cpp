#include "Json.h"

#include "Utf8.h"

#include <array>
#include <cstdint>

namespace veltrane::text {
namespace {

// The bytes copied as they are: printable ASCII but for what JSON or HTML give a meaning.
constexpr auto kPlain = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x7F; ++c) plain[c] = c != '"' && c != '\\' && c != '<' && c != '>' && c != '&';
    return plain;
}();

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        // Runs of plain characters and two-byte sequences, most of any text, are copied at once.
        std::size_t run = i;
        while (run < text.size()) {
            const unsigned char c = uint8_t(text[run]);
            if (kPlain[c]) ++run;
            else if (c >= 0xC2 && c <= 0xDF && run + 1 < text.size() && (uint8_t(text[run + 1]) & 0xC0) == 0x80)
                run += 2;
            else break;
        }
        if (run > i) {
            out.append(text, i, run - i);
            i = run;
            if (i == text.size()) break;
        }
        const unsigned char c = uint8_t(text[i]);
        if (c >= 0x80) {
            const std::size_t length = Utf8SequenceLength(text, i);
            if (length == 0) {
                out += "\\ufffd";
                ++i;
                continue;
            }
            const char32_t point = Utf8CodePoint(text, i, length);
            if (point == 0x2028 || point == 0x2029) out += point == 0x2028 ? "\\u2028" : "\\u2029";
            else out.append(text, i, length);
            i += length;
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default:
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
        ++i;
    }
    out += '"';
}

std::string JsonString(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    AppendJsonString(out, text);
    return out;
}

}  // namespace veltrane::text
