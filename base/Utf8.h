// Byte-level UTF-8 checks for text that comes from file names, which may hold any bytes.
#pragma once

#include <cstddef>
#include <string>

namespace veltrane::text {

// The length of the well-formed UTF-8 sequence starting at text[at] (1 to 4), or 0 when the bytes
// there are not one (a stray continuation byte, an overlong form, a surrogate, past U+10FFFF, cut short).
std::size_t Utf8SequenceLength(const std::string& text, std::size_t at);

// The code point of the well-formed sequence of the given length at text[at].
char32_t Utf8CodePoint(const std::string& text, std::size_t at, std::size_t length);

}  // namespace veltrane::text
