#include "imaging/JpegTransform.h"

#include <cstring>
#include <stdexcept>

// The 256-bit vector helpers below are inlined into their callers, so the ABI note about passing
// them without AVX does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace veltrane::jpeg {

namespace {

// Eight lanes at a time: the column pass transforms all eight columns at once, each lane one
// column. The products with the constants are formed in double precision, four lanes at a time.
// Where the processor has AVX2 the same code runs on 256-bit registers.
using F4 = float __attribute__((vector_size(16)));
using F8 = float __attribute__((vector_size(32)));
using D4 = double __attribute__((vector_size(32)));
using I8 = int32_t __attribute__((vector_size(32)));

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__)
#define VELTRANE_SIMD_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VELTRANE_SIMD_CLONES
#endif

constexpr double kC4 = 0.707106781186548;   // cos(4 pi / 16)
constexpr double kC6 = 0.382683432365091;   // cos(6 pi / 16)
constexpr double kC2mC6 = 0.541196100146196;  // cos(2 pi / 16) - cos(6 pi / 16)
constexpr double kC2pC6 = 1.30656296487638;   // cos(2 pi / 16) + cos(6 pi / 16)

inline F8 Load(const float* p) {
    F8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void Store(float* p, F8 v) { std::memcpy(p, &v, sizeof v); }

inline D4 Low(F8 x) { return __builtin_convertvector(__builtin_shufflevector(x, x, 0, 1, 2, 3), D4); }
inline D4 High(F8 x) { return __builtin_convertvector(__builtin_shufflevector(x, x, 4, 5, 6, 7), D4); }
inline F8 Join(D4 lo, D4 hi) {
    return __builtin_shufflevector(__builtin_convertvector(lo, F4), __builtin_convertvector(hi, F4), 0, 1, 2, 3, 4,
                                   5, 6, 7);
}
// x * c in double precision, stored as single.
inline F8 Mul(F8 x, double c) { return Join(Low(x) * c, High(x) * c); }
// c * x + y in double precision, stored as single.
inline F8 MulAdd(double c, F8 x, F8 y) { return Join(c * Low(x) + Low(y), c * High(x) + High(y)); }

// The 1-D flow on the eight rows of the block.
VELTRANE_SIMD_CLONES void ColumnPass(float* p) {
    const F8 d0 = Load(p), d1 = Load(p + 8), d2 = Load(p + 16), d3 = Load(p + 24);
    const F8 d4 = Load(p + 32), d5 = Load(p + 40), d6 = Load(p + 48), d7 = Load(p + 56);
    const F8 t0 = d0 + d7, t7 = d0 - d7, t1 = d1 + d6, t6 = d1 - d6;
    const F8 t2 = d2 + d5, t5 = d2 - d5, t3 = d3 + d4, t4 = d3 - d4;

    // Even part.
    const F8 e10 = t0 + t3, e13 = t0 - t3, e11 = t1 + t2, e12 = t1 - t2;
    Store(p, e10 + e11);
    Store(p + 32, e10 - e11);
    const F8 z1 = Mul(e12 + e13, kC4);
    Store(p + 16, e13 + z1);
    Store(p + 48, e13 - z1);

    // Odd part.
    const F8 p10 = t4 + t5, p11 = t5 + t6, p12 = t6 + t7;
    const F8 z5 = Mul(p10 - p12, kC6);
    const F8 z2 = MulAdd(kC2mC6, p10, z5);
    const F8 z4 = MulAdd(kC2pC6, p12, z5);
    const F8 z3 = Mul(p11, kC4);
    const F8 z11 = t7 + z3, z13 = t7 - z3;
    Store(p + 40, z13 + z2);
    Store(p + 24, z13 - z2);
    Store(p + 8, z11 + z4);
    Store(p + 56, z11 - z4);
}

void Transpose(float* b) {
    for (int r = 0; r < 8; ++r)
        for (int c = r + 1; c < 8; ++c) {
            const float t = b[r * 8 + c];
            b[r * 8 + c] = b[c * 8 + r];
            b[c * 8 + r] = t;
        }
}

}  // namespace

VELTRANE_SIMD_CLONES void ForwardDCTTransposed(Block& block) {
    ColumnPass(block.data());
    Transpose(block.data());
    ColumnPass(block.data());  // the rows, now standing as columns
}

void ForwardDCT(Block& block) {
    ForwardDCTTransposed(block);
    Transpose(block.data());
}

VELTRANE_SIMD_CLONES void QuantizeBlock(const Block& block, const BlockQuantizer& quantizer, int16_t* out) {
    // Adding and taking away 1.5 * 2^23 rounds a float below 2^22 in magnitude to an integer with
    // ties to even; anything larger fails the range check below anyway.
    constexpr float kMagic = 12582912.0f;
    const F8 magic = {kMagic, kMagic, kMagic, kMagic, kMagic, kMagic, kMagic, kMagic};
    const F8 top = F8{} + 32767.0f;
    const F8 bottom = F8{} - 32768.0f;
    alignas(32) int32_t rounded[64];
    I8 outside = {};
    for (int i = 0; i < 64; i += 8) {
        const F8 v = Load(block.data() + i) * Load(quantizer.multiplier.data() + i);
        const F8 r = (v + magic) - magic;
        const I8 high = r > top, low = r < bottom;
        outside |= high | low | (v != v);
        const I8 n = __builtin_convertvector(high ? top : (low ? bottom : r), I8);
        std::memcpy(rounded + i, &n, sizeof n);
    }
    int any = 0;
    for (int k = 0; k < 8; ++k) any |= outside[k];
    if (any) throw std::overflow_error("Overflow");
    for (int i = 0; i < 64; ++i) out[quantizer.zigzag[size_t(i)]] = int16_t(rounded[i]);
}

}  // namespace veltrane::jpeg
