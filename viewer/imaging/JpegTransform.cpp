#include "imaging/JpegTransform.h"

#include <cstring>
#include <stdexcept>

namespace veltrane::jpeg {

namespace {

// Four lanes at a time: the column pass transforms four columns at once, each lane one column.
using F2 = float __attribute__((vector_size(8)));
using F4 = float __attribute__((vector_size(16)));
using D2 = double __attribute__((vector_size(16)));
using I4 = int32_t __attribute__((vector_size(16)));

constexpr double kC4 = 0.707106781186548;   // cos(4 pi / 16)
constexpr double kC6 = 0.382683432365091;   // cos(6 pi / 16)
constexpr double kC2mC6 = 0.541196100146196;  // cos(2 pi / 16) - cos(6 pi / 16)
constexpr double kC2pC6 = 1.30656296487638;   // cos(2 pi / 16) + cos(6 pi / 16)

inline F4 Load(const float* p) {
    F4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void Store(float* p, F4 v) { std::memcpy(p, &v, sizeof v); }

inline D2 Low(F4 x) { return __builtin_convertvector(__builtin_shufflevector(x, x, 0, 1), D2); }
inline D2 High(F4 x) { return __builtin_convertvector(__builtin_shufflevector(x, x, 2, 3), D2); }
inline F4 Join(D2 lo, D2 hi) {
    return __builtin_shufflevector(__builtin_convertvector(lo, F2), __builtin_convertvector(hi, F2), 0, 1, 2, 3);
}
// x * c in double precision, stored as single.
inline F4 Mul(F4 x, double c) { return Join(Low(x) * c, High(x) * c); }
// c * x + y in double precision, stored as single.
inline F4 MulAdd(double c, F4 x, F4 y) { return Join(c * Low(x) + Low(y), c * High(x) + High(y)); }

// The 1-D flow on the eight rows of the block, four columns per pass through the loop.
void ColumnPass(float* b) {
    for (int half = 0; half < 2; ++half) {
        float* p = b + half * 4;
        const F4 d0 = Load(p), d1 = Load(p + 8), d2 = Load(p + 16), d3 = Load(p + 24);
        const F4 d4 = Load(p + 32), d5 = Load(p + 40), d6 = Load(p + 48), d7 = Load(p + 56);
        const F4 t0 = d0 + d7, t7 = d0 - d7, t1 = d1 + d6, t6 = d1 - d6;
        const F4 t2 = d2 + d5, t5 = d2 - d5, t3 = d3 + d4, t4 = d3 - d4;

        // Even part.
        const F4 e10 = t0 + t3, e13 = t0 - t3, e11 = t1 + t2, e12 = t1 - t2;
        Store(p, e10 + e11);
        Store(p + 32, e10 - e11);
        const F4 z1 = Mul(e12 + e13, kC4);
        Store(p + 16, e13 + z1);
        Store(p + 48, e13 - z1);

        // Odd part.
        const F4 p10 = t4 + t5, p11 = t5 + t6, p12 = t6 + t7;
        const F4 z5 = Mul(p10 - p12, kC6);
        const F4 z2 = MulAdd(kC2mC6, p10, z5);
        const F4 z4 = MulAdd(kC2pC6, p12, z5);
        const F4 z3 = Mul(p11, kC4);
        const F4 z11 = t7 + z3, z13 = t7 - z3;
        Store(p + 40, z13 + z2);
        Store(p + 24, z13 - z2);
        Store(p + 8, z11 + z4);
        Store(p + 56, z11 - z4);
    }
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

void ForwardDCTTransposed(Block& block) {
    ColumnPass(block.data());
    Transpose(block.data());
    ColumnPass(block.data());  // the rows, now standing as columns
}

void ForwardDCT(Block& block) {
    ForwardDCTTransposed(block);
    Transpose(block.data());
}

void QuantizeBlock(const Block& block, const BlockQuantizer& quantizer, int16_t* out) {
    // Adding and taking away 1.5 * 2^23 rounds a float below 2^22 in magnitude to an integer with
    // ties to even; anything larger fails the range check below anyway.
    const F4 magic = {12582912.0f, 12582912.0f, 12582912.0f, 12582912.0f};
    const F4 top = {32767.0f, 32767.0f, 32767.0f, 32767.0f};
    const F4 bottom = {-32768.0f, -32768.0f, -32768.0f, -32768.0f};
    alignas(16) int32_t rounded[64];
    I4 outside = {0, 0, 0, 0};
    for (int i = 0; i < 64; i += 4) {
        const F4 v = Load(block.data() + i) * Load(quantizer.multiplier.data() + i);
        const F4 r = (v + magic) - magic;
        const I4 high = r > top, low = r < bottom;
        outside |= high | low | (v != v);
        const I4 n = __builtin_convertvector(high ? top : (low ? bottom : r), I4);
        std::memcpy(rounded + i, &n, sizeof n);
    }
    if (outside[0] | outside[1] | outside[2] | outside[3]) throw std::overflow_error("Overflow");
    for (int i = 0; i < 64; ++i) out[quantizer.zigzag[size_t(i)]] = int16_t(rounded[i]);
}

}  // namespace veltrane::jpeg
