// The one UTF-8 decoder and encoder of the code base, for text that comes from file names, member
// names and skin files, which may hold any bytes. Only well-formed UTF-8 is decoded: overlong forms,
// surrogates, values past U+10FFFF, stray continuation bytes and cut-short sequences are not.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace veltrane::text {

// The length of the well-formed UTF-8 sequence starting at text[at] (1 to 4), or 0 when the bytes
// there are not one.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);

// The code point of the well-formed sequence of the given length at text[at].
char32_t Utf8CodePoint(std::string_view text, std::size_t at, std::size_t length);

// What NextCodePoint gives for a byte that starts no well-formed sequence.
inline constexpr char32_t kNotUtf8 = 0xFFFFFFFF;

// The code point at text[at], moving at past its sequence; kNotUtf8 for a byte that starts no
// well-formed sequence, moving at past that byte alone.
char32_t NextCodePoint(std::string_view text, std::size_t& at);

// Appends the UTF-8 form of the code point c (at most U+10FFFF).
void AppendUtf8(std::string& out, char32_t c);

// Whether the whole text is well-formed UTF-8.
bool IsUtf8(std::string_view text);

}  // namespace veltrane::text
