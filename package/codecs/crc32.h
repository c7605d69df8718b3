// CRC-32 as ZIP uses it: the reflected form of the polynomial whose exponents are listed in crc32.cpp,
// started at 0xFFFFFFFF and complemented at the end.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarrow {

constexpr uint32_t kCrcStart = 0xFFFFFFFF;

// Advances a running CRC (not complemented) over data: by carry-less multiplication where the CPU has
// it, else by tables.
uint32_t crc32Update(uint32_t running, const uint8_t* data, size_t size);

// One step of the running CRC for one byte, as the traditional cipher's key schedule uses it.
uint32_t crc32Byte(uint32_t running, uint8_t byte);

// The finished CRC-32 of a whole buffer.
inline uint32_t crc32(const uint8_t* data, size_t size) { return ~crc32Update(kCrcStart, data, size); }

// The ways crc32Update() may take: tables (any CPU, and short pieces), folding 128-bit lanes by
// carry-less multiplication (x86-64 with PCLMULQDQ and SSE4.1), or folding them two to a 256-bit
// register (VPCLMULQDQ and AVX2). It takes the fastest this CPU has.
enum class CrcWay { Tables, Folding, WideFolding };
bool crc32WayAvailable(CrcWay way);
// Whether crc32Update() folds at all on this CPU.
bool crc32FoldingAvailable();
// crc32Update() by the given way (one this CPU has); open to tests so that every way is checked.
uint32_t crc32UpdateWith(CrcWay way, uint32_t running, const uint8_t* data, size_t size);
// crc32Update() by tables alone.
uint32_t crc32UpdateTables(uint32_t running, const uint8_t* data, size_t size);

}  // namespace tarrow
