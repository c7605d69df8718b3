// CRC-32 as ZIP uses it: the reflected form of the polynomial whose exponents are listed in crc32.cpp,
// started at 0xFFFFFFFF and complemented at the end.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarrow {

constexpr uint32_t kCrcStart = 0xFFFFFFFF;

// Advances a running CRC (not complemented) over data.
uint32_t crc32Update(uint32_t running, const uint8_t *data, size_t size);

// One step of the running CRC for one byte, as the traditional cipher's key schedule uses it.
uint32_t crc32Byte(uint32_t running, uint8_t byte);

// The finished CRC-32 of a whole buffer.
inline uint32_t crc32(const uint8_t *data, size_t size) { return ~crc32Update(kCrcStart, data, size); }

} // namespace tarrow
