#include "imaging/JpegTransform.h"

#include "imaging/JpegSimd.h"

#include <cstring>
#include <stdexcept>
#include <utility>

namespace veltrane::jpeg {

namespace {

// Eight lanes at a time: a block is eight vectors, one per row, and the column pass transforms
// all eight columns at once. The products with the constants are formed in double precision, all
// eight lanes converted at once (two 256-bit halves in the AVX2 clone, four in the baseline).
using F8 = float __attribute__((vector_size(32)));
using D8 = double __attribute__((vector_size(64)));
using I8 = int32_t __attribute__((vector_size(32)));

constexpr double kC4 = 0.707106781186548;     // cos(4 pi / 16)
constexpr double kC6 = 0.382683432365091;     // cos(6 pi / 16)
constexpr double kC2mC6 = 0.541196100146196;  // cos(2 pi / 16) - cos(6 pi / 16)
constexpr double kC2pC6 = 1.30656296487638;   // cos(2 pi / 16) + cos(6 pi / 16)

using U8x16 = uint8_t __attribute__((vector_size(16)));
using I16x8 = int16_t __attribute__((vector_size(16)));

// Eight rows of a block, each in one vector.
using Rows = F8[8];

inline F8 Load(const float* p) {
    F8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void Store(float* p, F8 v) { std::memcpy(p, &v, sizeof v); }
inline F8 Splat(float x) { return F8{x, x, x, x, x, x, x, x}; }

inline D8 Wide(F8 x) { return __builtin_convertvector(x, D8); }
inline F8 Narrow(D8 x) { return __builtin_convertvector(x, F8); }
// x * c in double precision, stored as single.
inline F8 Mul(F8 x, double c) { return Narrow(Wide(x) * c); }
// c * x + y in double precision, stored as single.
inline F8 MulAdd(double c, F8 x, F8 y) { return Narrow(c * Wide(x) + Wide(y)); }

// The 1-D flow down the eight rows, all eight columns at once (each lane one column).
[[gnu::always_inline]] inline void ColumnPass(Rows& d) {
    const F8 t0 = d[0] + d[7], t7 = d[0] - d[7], t1 = d[1] + d[6], t6 = d[1] - d[6];
    const F8 t2 = d[2] + d[5], t5 = d[2] - d[5], t3 = d[3] + d[4], t4 = d[3] - d[4];

    // Even part.
    const F8 e10 = t0 + t3, e13 = t0 - t3, e11 = t1 + t2, e12 = t1 - t2;
    d[0] = e10 + e11;
    d[4] = e10 - e11;
    const F8 z1 = Mul(e12 + e13, kC4);
    d[2] = e13 + z1;
    d[6] = e13 - z1;

    // Odd part.
    const F8 p10 = t4 + t5, p11 = t5 + t6, p12 = t6 + t7;
    const F8 z5 = Mul(p10 - p12, kC6);
    const F8 z2 = MulAdd(kC2mC6, p10, z5);
    const F8 z4 = MulAdd(kC2pC6, p12, z5);
    const F8 z3 = Mul(p11, kC4);
    const F8 z11 = t7 + z3, z13 = t7 - z3;
    d[5] = z13 + z2;
    d[3] = z13 - z2;
    d[1] = z11 + z4;
    d[7] = z11 - z4;
}

// Rows become columns: interleave pairs of rows, then pairs of pairs, then the two halves.
[[gnu::always_inline]] inline void Transpose(Rows& d) {
    F8 t[8], u[8];
    for (int i = 0; i < 8; i += 2) {
        t[i] = __builtin_shufflevector(d[i], d[i + 1], 0, 8, 1, 9, 4, 12, 5, 13);
        t[i + 1] = __builtin_shufflevector(d[i], d[i + 1], 2, 10, 3, 11, 6, 14, 7, 15);
    }
    for (int i = 0; i < 8; i += 4)
        for (int k = 0; k < 2; ++k) {
            u[i + 2 * k] = __builtin_shufflevector(t[i + k], t[i + k + 2], 0, 1, 8, 9, 4, 5, 12, 13);
            u[i + 2 * k + 1] = __builtin_shufflevector(t[i + k], t[i + k + 2], 2, 3, 10, 11, 6, 7, 14, 15);
        }
    for (int k = 0; k < 4; ++k) {
        d[k] = __builtin_shufflevector(u[k], u[k + 4], 0, 1, 2, 3, 8, 9, 10, 11);
        d[k + 4] = __builtin_shufflevector(u[k], u[k + 4], 4, 5, 6, 7, 12, 13, 14, 15);
    }
}

// Both passes; the output is left transposed, coefficient (v, u) in lane v of row u.
[[gnu::always_inline]] inline void Transform(Rows& d) {
    ColumnPass(d);
    Transpose(d);
    ColumnPass(d);  // the rows, now standing as columns
}

[[gnu::always_inline]] inline void LoadRows(const float* p, Rows& d) {
    for (int i = 0; i < 8; ++i) d[i] = Load(p + 8 * i);
}
[[gnu::always_inline]] inline void StoreRows(const Rows& d, float* p) {
    for (int i = 0; i < 8; ++i) Store(p + 8 * i, d[i]);
}

// Multiplies by the quantizer and rounds to the nearest integer with ties to even; throws
// std::overflow_error when a result does not fit 16 bits.
[[gnu::always_inline]] inline void Quantize(const Rows& d, const BlockQuantizer& quantizer, I8 (&rounded)[8]) {
    // Adding and taking away 1.5 * 2^23 rounds a float below 2^22 in magnitude to an integer with
    // ties to even; anything larger fails the range check below anyway.
    constexpr float kMagic = 12582912.0f;
    const F8 magic = Splat(kMagic);
    const F8 top = Splat(32767.0f);
    const F8 bottom = Splat(-32768.0f);
    // A lane stays all ones while every result in it is in range; NaN compares false.
    I8 inside = ~I8{};
    for (int i = 0; i < 8; ++i) {
        const F8 v = d[i] * Load(quantizer.multiplier.data() + 8 * i);
        const F8 r = (v + magic) - magic;
        inside &= (r >= bottom) & (r <= top);
        rounded[i] = __builtin_convertvector(r, I8);  // exact in range; thrown away otherwise
    }
    int all = -1;
    for (int k = 0; k < 8; ++k) all &= inside[k];
    if (all != -1) throw std::overflow_error("Overflow");
}

// T.81 Figure A.6: the block position (row * 8 + column) of each zig-zag position.
constexpr uint8_t kZigZagToNatural[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,   //
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,  //
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,  //
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

// Zig-zag positions 8K to 8K + 7 take their lanes from the rows of the transposed block that hold
// them: row U gives lane v of each position whose coefficient (v, u) has u = U.
template <int K, int U>
[[gnu::always_inline]] inline I8 Pick(I8 row, I8 group) {
    constexpr auto natural = [](int j) { return int32_t(kZigZagToNatural[8 * K + j]); };
    constexpr int kTaken = [natural] {
        int taken = 0;
        for (int j = 0; j < 8; ++j)
            if (natural(j) % 8 == U) taken |= 1 << j;
        return taken;
    }();
    if constexpr (kTaken == 0) {
        return group;
    } else {
        // Lane j comes from the row where it is taken, else stays as the group has it.
        constexpr auto from = [natural](int j) { return (kTaken >> j) & 1 ? natural(j) / 8 : 8 + j; };
        return __builtin_shufflevector(row, group, from(0), from(1), from(2), from(3), from(4), from(5), from(6),
                                       from(7));
    }
}

template <int K, int... U>
[[gnu::always_inline]] inline void StoreZigZagGroup(const I8 (&rows)[8], int16_t* out,
                                                    std::integer_sequence<int, U...>) {
    I8 group = {};
    ((group = Pick<K, U>(rows[U], group)), ...);
    const I16x8 narrow = __builtin_convertvector(group, I16x8);
    std::memcpy(out + 8 * K, &narrow, sizeof narrow);
}

// Stores the rounded coefficients of a transposed block in zig-zag order, eight at a time.
template <int... K>
[[gnu::always_inline]] inline void StoreZigZag(const I8 (&rows)[8], int16_t* out, std::integer_sequence<int, K...>) {
    (StoreZigZagGroup<K>(rows, out, std::make_integer_sequence<int, 8>{}), ...);
}

// The blue, green and red bytes of a line of eight pixels as floats. The pixels are first spread
// to one 32-bit lane each (blue in the low byte), without reading past the line's 8 pixels.
template <int kBytesPerPixel>
[[gnu::always_inline]] inline void LoadPixels(const uint8_t* p, F8& b, F8& g, F8& r) {
    I8 lanes;
    if constexpr (kBytesPerPixel == 4) {
        std::memcpy(&lanes, p, sizeof lanes);
    } else {
        // Pixels 0 to 3 are bytes 0 to 11 of the first 16, pixels 4 to 7 bytes 4 to 15 of the
        // 16 from byte 8 on.
        U8x16 first, second;
        std::memcpy(&first, p, sizeof first);
        std::memcpy(&second, p + 8, sizeof second);
        const U8x16 zero = {};
        const U8x16 low = __builtin_shufflevector(first, zero, 0, 1, 2, 16, 3, 4, 5, 16, 6, 7, 8, 16, 9, 10, 11, 16);
        const U8x16 high =
            __builtin_shufflevector(second, zero, 4, 5, 6, 16, 7, 8, 9, 16, 10, 11, 12, 16, 13, 14, 15, 16);
        std::memcpy(&lanes, &low, sizeof low);
        std::memcpy(reinterpret_cast<uint8_t*>(&lanes) + sizeof low, &high, sizeof high);
    }
    const I8 byte = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    b = __builtin_convertvector(lanes & byte, F8);
    g = __builtin_convertvector((lanes >> 8) & byte, F8);
    r = __builtin_convertvector((lanes >> 16) & byte, F8);
}

template <int kBytesPerPixel>
[[gnu::always_inline]] inline void TransformPixels(const uint8_t* const lines[8], const BlockTarget* targets,
                                                   int count) {
    Rows b, g, r;
    for (int y = 0; y < 8; ++y) LoadPixels<kBytesPerPixel>(lines[y], b[y], g[y], r[y]);
    for (int c = 0; c < count; ++c) {
        const ColourWeights& w = *targets[c].weights;
        const F8 wr = Splat(w.r), wg = Splat(w.g), wb = Splat(w.b), offset = Splat(w.offset);
        Rows d;
        for (int y = 0; y < 8; ++y) d[y] = r[y] * wr + g[y] * wg + b[y] * wb + offset;
        Transform(d);
        I8 rounded[8];
        Quantize(d, *targets[c].quantizer, rounded);
        StoreZigZag(rounded, targets[c].out, std::make_integer_sequence<int, 8>{});
    }
}

}  // namespace

VELTRANE_SIMD_CLONES void ForwardDCTTransposed(Block& block) {
    Rows d;
    LoadRows(block.data(), d);
    Transform(d);
    StoreRows(d, block.data());
}

VELTRANE_SIMD_CLONES void ForwardDCT(Block& block) {
    Rows d;
    LoadRows(block.data(), d);
    Transform(d);
    Transpose(d);
    StoreRows(d, block.data());
}

VELTRANE_SIMD_CLONES void QuantizeBlock(const Block& block, const BlockQuantizer& quantizer, int16_t* out) {
    Rows d;
    LoadRows(block.data(), d);
    I8 rounded[8];
    Quantize(d, quantizer, rounded);
    for (int i = 0; i < 64; ++i) out[quantizer.zigzag[size_t(i)]] = int16_t(rounded[i / 8][i % 8]);
}

VELTRANE_SIMD_CLONES void TransformPixelBlock(const uint8_t* const lines[8], int bytesPerPixel,
                                              const BlockTarget* targets, int count) {
    if (bytesPerPixel == 4) TransformPixels<4>(lines, targets, count);
    else TransformPixels<3>(lines, targets, count);
}

}  // namespace veltrane::jpeg
