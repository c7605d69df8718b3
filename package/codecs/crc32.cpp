#include "crc32.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TARROW_CRC_FOLDING 1
#include <immintrin.h>
#endif

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

#ifdef TARROW_CRC_FOLDING

// Folding works on 128-bit lanes of the message. A lane is moved forward over d bits of later data by
// multiplying it with x^d mod P; the product still has 128 bits and is added (XOR) into the lane there.
// Because the bits are reflected, the lane's first 64-bit half lies further back than its second by 64
// bits, and a carry-less product of two reflected operands comes out one bit low; both are built into
// the constants below. Once one lane is left it is folded down to 64 bits, then 32, and reduced modulo
// P by Barrett's method (multiply by floor(x^64 / P), multiply that by P, subtract).

// The polynomial with exponent e at bit e.
constexpr uint64_t kPolynomial33 = [] {
    uint64_t p = uint64_t(1) << 32;
    for (uint8_t e : kExponents) p |= uint64_t(1) << e;
    return p;
}();

constexpr uint64_t reflect(uint64_t v, int bits) {
    uint64_t r = 0;
    for (int i = 0; i < bits; ++i) r |= ((v >> i) & 1) << (bits - 1 - i);
    return r;
}

// x^n mod P, reflected and moved up one bit. Carrying a lane d bits on multiplies its first half by the
// constant for n = d + 32 and its second by the one for n = d - 32.
constexpr uint64_t foldConstant(unsigned n) {
    uint64_t r = 1;
    for (unsigned i = 0; i < n; ++i) {
        r <<= 1;
        if (r >> 32) r ^= kPolynomial33;
    }
    return reflect(r, 32) << 1;
}

// floor(x^64 / P) by long division, reflected over its 33 bits.
constexpr uint64_t barrettQuotient() {
    uint64_t remainder = 0, quotient = 0;
    for (int bit = 64; bit >= 0; --bit) {
        remainder = remainder << 1 | (bit == 64 ? 1 : 0);
        quotient <<= 1;
        if (remainder >> 32) {
            remainder ^= kPolynomial33;
            quotient |= 1;
        }
    }
    return reflect(quotient, 33);
}

constexpr uint64_t kFold1024Low = foldConstant(1024 + 32);  // eight lanes on (four 256-bit registers)
constexpr uint64_t kFold1024High = foldConstant(1024 - 32);
constexpr uint64_t kFold256Low = foldConstant(256 + 32);  // two lanes on (one 256-bit register)
constexpr uint64_t kFold256High = foldConstant(256 - 32);
constexpr uint64_t kFold512Low = foldConstant(512 + 32);   // four lanes on, first half
constexpr uint64_t kFold512High = foldConstant(512 - 32);  // four lanes on, second half
constexpr uint64_t kFold128Low = foldConstant(128 + 32);   // one lane on
constexpr uint64_t kFold128High = foldConstant(128 - 32);
constexpr uint64_t kFold64 = foldConstant(64);
constexpr uint64_t kBarrettQuotient = barrettQuotient();
constexpr uint64_t kReflectedPolynomial33 = reflect(kPolynomial33, 33);
static_assert(kFold512Low == 0x154442BD4 && kFold512High == 0x1C6E41596 && kFold128Low == 0x1751997D0 &&
              kFold128High == 0xCCAA009E && kFold64 == 0x163CD6124 && kBarrettQuotient == 0x1F7011641 &&
              kReflectedPolynomial33 == 0x1DB710641);

#define TARROW_CLMUL __attribute__((target("pclmul,sse4.1")))

TARROW_CLMUL inline __m128i load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// The lane x carried forward by the pair of constants k (first half in k's low 64 bits).
TARROW_CLMUL inline __m128i fold(__m128i x, __m128i k) {
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

// The lane x0, which holds everything up to p, carried over the n bytes at p (a multiple of 16) and
// reduced to the running CRC.
TARROW_CLMUL uint32_t finishLanes(__m128i x0, const uint8_t* p, size_t n) {
    const __m128i k128 = _mm_set_epi64x(int64_t(kFold128High), int64_t(kFold128Low));
    for (; n >= 16; n -= 16, p += 16) x0 = _mm_xor_si128(fold(x0, k128), load(p));

    // 128 to 64 bits: the first half times x^96 mod P added to the second, which also appends the 32
    // zero bits a CRC divides.
    __m128i x = _mm_xor_si128(_mm_clmulepi64_si128(x0, k128, 0x10), _mm_srli_si128(x0, 8));
    // 64 to 32 (plus 32 bits of remainder space): the first 32 bits times x^64 mod P.
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), _mm_set_epi64x(0, int64_t(kFold64)), 0x00),
                      _mm_srli_si128(x, 4));
    // Barrett reduction: the quotient estimate from the low 32 bits, times P, cancels all but the CRC.
    const __m128i barrett = _mm_set_epi64x(int64_t(kBarrettQuotient), int64_t(kReflectedPolynomial33));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), barrett, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
    return uint32_t(_mm_extract_epi32(_mm_xor_si128(x, t), 1));
}

// The running CRC over n bytes, n at least 64 and a multiple of 16.
TARROW_CLMUL uint32_t foldLanes(uint32_t c, const uint8_t* p, size_t n) {
    // The running CRC enters as the first 32 bits of the message, added to them.
    __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(int(c)));
    __m128i x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
    p += 64;
    n -= 64;
    // Four independent lanes hide the multiplier's latency.
    const __m128i k512 = _mm_set_epi64x(int64_t(kFold512High), int64_t(kFold512Low));
    for (; n >= 64; n -= 64, p += 64) {
        x0 = _mm_xor_si128(fold(x0, k512), load(p));
        x1 = _mm_xor_si128(fold(x1, k512), load(p + 16));
        x2 = _mm_xor_si128(fold(x2, k512), load(p + 32));
        x3 = _mm_xor_si128(fold(x3, k512), load(p + 48));
    }
    const __m128i k128 = _mm_set_epi64x(int64_t(kFold128High), int64_t(kFold128Low));
    x0 = _mm_xor_si128(fold(x0, k128), x1);
    x0 = _mm_xor_si128(fold(x0, k128), x2);
    x0 = _mm_xor_si128(fold(x0, k128), x3);
    return finishLanes(x0, p, n);
}

// The same with VPCLMULQDQ: a 256-bit register holds two lanes and one instruction multiplies both,
// so four registers (eight lanes, 128 bytes) move on per step.
#define TARROW_CLMUL_WIDE __attribute__((target("vpclmulqdq,avx2,pclmul,sse4.1")))

TARROW_CLMUL_WIDE inline __m256i load256(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

TARROW_CLMUL_WIDE inline __m256i fold256(__m256i x, __m256i k) {
    return _mm256_xor_si256(_mm256_clmulepi64_epi128(x, k, 0x00), _mm256_clmulepi64_epi128(x, k, 0x11));
}

// The running CRC over n bytes, n at least 256 and a multiple of 16.
TARROW_CLMUL_WIDE uint32_t foldLanesWide(uint32_t c, const uint8_t* p, size_t n) {
    __m256i x0 = _mm256_xor_si256(load256(p), _mm256_zextsi128_si256(_mm_cvtsi32_si128(int(c))));
    __m256i x1 = load256(p + 32), x2 = load256(p + 64), x3 = load256(p + 96);
    p += 128;
    n -= 128;
    const __m256i k1024 =
        _mm256_set_epi64x(int64_t(kFold1024High), int64_t(kFold1024Low), int64_t(kFold1024High), int64_t(kFold1024Low));
    for (; n >= 128; n -= 128, p += 128) {
        x0 = _mm256_xor_si256(fold256(x0, k1024), load256(p));
        x1 = _mm256_xor_si256(fold256(x1, k1024), load256(p + 32));
        x2 = _mm256_xor_si256(fold256(x2, k1024), load256(p + 64));
        x3 = _mm256_xor_si256(fold256(x3, k1024), load256(p + 96));
    }
    // Each register's lanes carried onto the next register's, then the first lane onto the second.
    const __m256i k256 =
        _mm256_set_epi64x(int64_t(kFold256High), int64_t(kFold256Low), int64_t(kFold256High), int64_t(kFold256Low));
    x0 = _mm256_xor_si256(fold256(x0, k256), x1);
    x0 = _mm256_xor_si256(fold256(x0, k256), x2);
    x0 = _mm256_xor_si256(fold256(x0, k256), x3);
    const __m128i k128 = _mm_set_epi64x(int64_t(kFold128High), int64_t(kFold128Low));
    const __m128i lane = _mm_xor_si128(fold(_mm256_castsi256_si128(x0), k128), _mm256_extracti128_si256(x0, 1));
    return finishLanes(lane, p, n);
}

#endif  // TARROW_CRC_FOLDING

// Below this many bytes the tables are as fast as setting up the lanes.
constexpr size_t kFoldingMinimum = 64;
// Below this many the 128-bit lanes are as fast as the 256-bit ones.
constexpr size_t kWideMinimum = 256;

}  // namespace

uint32_t crc32Byte(uint32_t running, uint8_t byte) { return (running >> 8) ^ kTables[0][(running ^ byte) & 0xff]; }

uint32_t crc32UpdateTables(uint32_t c, const uint8_t* p, size_t n) {
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

bool crc32WayAvailable(CrcWay way) {
#ifdef TARROW_CRC_FOLDING
    static const bool clmul = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    static const bool wide = clmul && __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx2");
    return way == CrcWay::Tables || (way == CrcWay::Folding && clmul) || (way == CrcWay::WideFolding && wide);
#else
    return way == CrcWay::Tables;
#endif
}

bool crc32FoldingAvailable() { return crc32WayAvailable(CrcWay::Folding); }

uint32_t crc32UpdateWith(CrcWay way, uint32_t c, const uint8_t* p, size_t n) {
#ifdef TARROW_CRC_FOLDING
    if (way != CrcWay::Tables && n >= kFoldingMinimum) {
        // Whole lanes by folding, the last 0 to 15 bytes by the tables.
        const size_t lanes = n & ~size_t(15);
        c = way == CrcWay::WideFolding && n >= kWideMinimum ? foldLanesWide(c, p, lanes) : foldLanes(c, p, lanes);
        p += lanes;
        n -= lanes;
    }
#endif
    return crc32UpdateTables(c, p, n);
}

uint32_t crc32Update(uint32_t c, const uint8_t* p, size_t n) {
    static const CrcWay best = crc32WayAvailable(CrcWay::WideFolding) ? CrcWay::WideFolding
                               : crc32WayAvailable(CrcWay::Folding)   ? CrcWay::Folding
                                                                      : CrcWay::Tables;
    return crc32UpdateWith(best, c, p, n);
}

}  // namespace tarrow
