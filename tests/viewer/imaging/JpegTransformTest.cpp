#include "imaging/JpegTransform.h"
#include "imaging/cJpeg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <stdexcept>

using namespace veltrane::jpeg;

namespace {

// The DCT of T.81 A.3.3 evaluated directly, in double precision.
double ReferenceDct(const Block& samples, int v, int u) {
    const double pi = std::acos(-1.0);
    double sum = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            sum +=
                samples[size_t(y * 8 + x)] * std::cos((2 * x + 1) * u * pi / 16) * std::cos((2 * y + 1) * v * pi / 16);
    const double cu = u == 0 ? 1 / std::sqrt(2.0) : 1, cv = v == 0 ? 1 / std::sqrt(2.0) : 1;
    return 0.25 * cu * cv * sum;
}

double AanScale(int k) { return k == 0 ? 1.0 : std::sqrt(2.0) * std::cos(k * std::acos(-1.0) / 16); }

}  // namespace

TEST(JpegTransform, ForwardDctIsTheScaledT81Transform) {
    std::mt19937 rng(3);
    for (int round = 0; round < 20; ++round) {
        Block samples;
        for (float& s : samples) s = float(int(rng() % 256) - 128);
        Block out = samples;
        ForwardDCT(out);
        Block transposed = samples;
        ForwardDCTTransposed(transposed);
        for (int v = 0; v < 8; ++v)
            for (int u = 0; u < 8; ++u) {
                const double expected = ReferenceDct(samples, v, u) * 8 * AanScale(v) * AanScale(u);
                EXPECT_NEAR(out[size_t(v * 8 + u)], expected, 0.02 + std::fabs(expected) * 1e-5) << v << "," << u;
                EXPECT_EQ(transposed[size_t(u * 8 + v)], out[size_t(v * 8 + u)]);
            }
    }
}

TEST(JpegTransform, HorizontalRampLandsInRowZero) {
    Block b;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) b[size_t(y * 8 + x)] = float(x * 10);
    ForwardDCT(b);
    EXPECT_FLOAT_EQ(b[0], 64 * 35.0f);  // the sum of all samples
    EXPECT_LT(b[1], -100.0f);           // first horizontal frequency
    for (int v = 1; v < 8; ++v)
        for (int u = 0; u < 8; ++u) EXPECT_NEAR(b[size_t(v * 8 + u)], 0.0f, 1e-3f);
}

TEST(JpegTransform, QuantizeRoundsHalfToEvenIntoZigZagPlaces) {
    Block b{};
    BlockQuantizer q;
    for (size_t i = 0; i < 64; ++i) {
        q.multiplier[i] = 0.5f;
        q.zigzag[i] = uint8_t(63 - i);
    }
    b[0] = 5.0f;   // 2.5 -> 2
    b[1] = 7.0f;   // 3.5 -> 4
    b[2] = -5.0f;  // -2.5 -> -2
    b[3] = 5.2f;   // 2.6 -> 3
    b[4] = -7.0f;  // -3.5 -> -4
    int16_t out[64];
    QuantizeBlock(b, q, out);
    EXPECT_EQ(out[63], 2);
    EXPECT_EQ(out[62], 4);
    EXPECT_EQ(out[61], -2);
    EXPECT_EQ(out[60], 3);
    EXPECT_EQ(out[59], -4);
    EXPECT_EQ(out[0], 0);
}

TEST(JpegTransform, QuantizeRefusesValuesBeyond16Bits) {
    Block b{};
    BlockQuantizer q;
    for (size_t i = 0; i < 64; ++i) {
        q.multiplier[i] = 1.0f;
        q.zigzag[i] = uint8_t(i);
    }
    int16_t out[64];
    b[7] = -32768.0f;
    EXPECT_NO_THROW(QuantizeBlock(b, q, out));
    EXPECT_EQ(out[7], -32768);
    b[7] = 32767.5f;  // rounds to 32768
    EXPECT_THROW(QuantizeBlock(b, q, out), std::overflow_error);
    b[7] = 1e9f;
    EXPECT_THROW(QuantizeBlock(b, q, out), std::overflow_error);
}

TEST(JpegTransform, PixelBlockMatchesTheStepsOneByOne) {
    // The fused path (pixels to zig-zag coefficients in registers) must give exactly what
    // converting, transforming and quantizing one block at a time gives, in cJpeg's zig-zag order.
    const veltrane::cJpeg jpeg;
    std::mt19937 rng(11);
    const ColourWeights weights[3] = {
        {0.299f, 0.587f, 0.114f, -128.0f}, {-0.16874f, -0.33126f, 0.5f, 0.0f}, {0.5f, -0.41869f, -0.08131f, 0.0f}};
    BlockQuantizer quantizer;
    for (size_t i = 0; i < 8; ++i)
        for (size_t j = 0; j < 8; ++j) {
            quantizer.multiplier[j * 8 + i] = float(0.01 + (rng() % 1000) / 2000.0);
            quantizer.zigzag[j * 8 + i] = uint8_t(jpeg.ZigZag()[i][j]);
        }
    for (const int bpp : {3, 4}) {
        uint8_t pixels[8][32];
        for (auto& line : pixels)
            for (uint8_t& b : line) b = uint8_t(rng());
        const uint8_t* lines[8];
        for (int r = 0; r < 8; ++r) lines[r] = pixels[r];
        int16_t fused[3][64];
        const BlockTarget targets[3] = {{&weights[0], &quantizer, fused[0]},
                                        {&weights[1], &quantizer, fused[1]},
                                        {&weights[2], &quantizer, fused[2]}};
        TransformPixelBlock(lines, bpp, targets, 3);
        for (int c = 0; c < 3; ++c) {
            const ColourWeights& w = weights[c];
            Block samples;
            for (int r = 0; r < 8; ++r)
                for (int k = 0; k < 8; ++k) {
                    const uint8_t* p = pixels[r] + k * bpp;
                    samples[size_t(r * 8 + k)] = float(p[2]) * w.r + float(p[1]) * w.g + float(p[0]) * w.b + w.offset;
                }
            ForwardDCTTransposed(samples);
            int16_t expected[64];
            QuantizeBlock(samples, quantizer, expected);
            EXPECT_EQ(std::memcmp(fused[c], expected, sizeof expected), 0) << bpp << " bytes, component " << c;
        }
    }
}
