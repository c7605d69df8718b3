#include "crc32.h"

#include <array>
#include <cstring>

namespace tarrow {

namespace {

// x^32 + x^26 + x^23 + x^22 + x^16 + x^12 + x^11 + x^10 + x^8 + x^7 + x^5 + x^4 + x^2 + x + 1; the
// x^32 term is implied. Bits are processed least significant first, so exponent e is bit 31 - e.
constexpr uint8_t kExponents[] = {0, 1, 2, 4, 5, 7, 8, 10, 11, 12, 16, 22, 23, 26};

constexpr uint32_t reflectedPolynomial() {
    uint32_t p = 0;
    for (uint8_t e : kExponents) p |= 1u << (31 - e);
    return p;
}
static_assert(reflectedPolynomial() == 0xEDB88320);

// Eight tables: table[k][b] is the CRC of byte b followed by k zero bytes, so eight bytes are folded in
// with eight independent lookups.
using Tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr Tables makeTables() {
    Tables t{};
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t c = b;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (c & 1 ? reflectedPolynomial() : 0);
        t[0][b] = c;
    }
    for (uint32_t b = 0; b < 256; ++b)
        for (int k = 1; k < 8; ++k) t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xff];
    return t;
}

constexpr Tables kTables = makeTables();

} // namespace

uint32_t crc32Byte(uint32_t running, uint8_t byte) { return (running >> 8) ^ kTables[0][(running ^ byte) & 0xff]; }

uint32_t crc32Update(uint32_t c, const uint8_t *p, size_t n) {
    for (; n >= 8; n -= 8, p += 8) {
        uint32_t lo, hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + 4, 4);
        lo ^= c;
        c = kTables[7][lo & 0xff] ^ kTables[6][(lo >> 8) & 0xff] ^ kTables[5][(lo >> 16) & 0xff] ^
            kTables[4][lo >> 24] ^ kTables[3][hi & 0xff] ^ kTables[2][(hi >> 8) & 0xff] ^
            kTables[1][(hi >> 16) & 0xff] ^ kTables[0][hi >> 24];
    }
    for (; n > 0; --n) c = crc32Byte(c, *p++);
    return c;
}

} // namespace tarrow
