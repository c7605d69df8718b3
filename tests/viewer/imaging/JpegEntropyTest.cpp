#include "JpegOracle.h"
#include "imaging/JpegBitWriter.h"
#include "imaging/cJpeg.h"

#include <gtest/gtest.h>

using namespace veltrane;
using namespace veltrane::testing;
using Scan = cJpeg::ScanGroup;

namespace {

std::vector<uint8_t> Bits(const std::vector<std::pair<uint32_t, int>>& codes) {
    std::vector<uint8_t> buffer(4);
    jpeg::JpegBitWriter w(buffer, 0);
    for (const auto& [bits, length] : codes) {
        w.Reserve(jpeg::JpegBitWriter::kMaxPutBytes);
        w.Put(bits, length);
    }
    w.Flush();
    buffer.resize(w.Position());
    return buffer;
}

// Two colours that differ in Y, Cb and Cr, in a checkerboard: every block carries a strong
// highest frequency, so no real block ends in zeros.
Dib Checkerboard(int32_t w, int32_t h) {
    Dib d(w, h, 24);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) d.SetPixel(x, y, (x + y) % 2 ? RgbQuad{0, 0, 255, 0} : RgbQuad{255, 255, 0, 0});
    return d;
}

}  // namespace

TEST(JpegBitWriter, PacksFromTheHighBitAndPadsWithOnes) {
    EXPECT_EQ(Bits({{0b101, 3}}), (std::vector<uint8_t>{0b10111111}));
    EXPECT_EQ(Bits({{0x12345, 20}, {0x6, 4}, {0x789A, 16}}), (std::vector<uint8_t>{0x12, 0x34, 0x56, 0x78, 0x9A}));
    EXPECT_EQ(Bits({}), (std::vector<uint8_t>{}));
}

TEST(JpegBitWriter, StuffsAZeroAfterEveryFF) {
    EXPECT_EQ(Bits({{0xFF, 8}, {0x01, 8}}), (std::vector<uint8_t>{0xFF, 0x00, 0x01}));
    EXPECT_EQ(Bits({{0xA5FFFF5A, 32}}), (std::vector<uint8_t>{0xA5, 0xFF, 0x00, 0xFF, 0x00, 0x5A}));
    // A last byte that the 1-bit padding turns into 0xFF is stuffed as well.
    EXPECT_EQ(Bits({{0x0, 8}, {0x7F, 7}}), (std::vector<uint8_t>{0x00, 0xFF, 0x00}));
}

TEST(JpegScanPlan, GroupsComponentsUpToTenBlocksPerMcu) {
    cJpeg j;
    EXPECT_EQ(j.ScanPlan(0, 2), (std::vector<Scan>{{0, 2}}));
    j.SetSamplingFrequencies(4, 4, 1, 1, 1, 1);  // Y alone has 16 blocks per MCU
    EXPECT_EQ(j.ScanPlan(0, 2), (std::vector<Scan>{{0, 0}, {1, 2}}));
    j.SetSamplingFrequencies(2, 2, 2, 2, 2, 2);  // Cr would bring the MCU to 12 blocks
    EXPECT_EQ(j.ScanPlan(0, 2), (std::vector<Scan>{{0, 1}, {2, 2}}));
    j.SetSamplingFrequencies(3, 3, 1, 1, 1, 1);  // 9 + 1 fits, the third would make 11
    EXPECT_EQ(j.ScanPlan(0, 2), (std::vector<Scan>{{0, 1}, {2, 2}}));
    j.SetSamplingFrequencies(1, 1, 0, 0, 0, 0);
    EXPECT_EQ(j.ScanPlan(0, 0), (std::vector<Scan>{{0, 0}}));
}

TEST(JpegScans, SeventeenPixelsWideWithFactorsTwoByTwo) {
    cJpeg j;
    j.SetSamplingFrequencies(2, 2, 1, 1, 1, 1);
    const Dib d = MakePreviewLike(17, 9, 7);
    ASSERT_EQ(j.SampleHDC(&d, 17, 9, 0, 0), 0);
    // Y: 17 x 9 padded to 24 x 16; Cb and Cr: 9 x 5 padded to 16 x 8.
    EXPECT_EQ(j.Components()[0].BlockColumns, 3);
    EXPECT_EQ(j.Components()[0].BlockRows, 2);
    EXPECT_EQ(j.Components()[1].BlockColumns, 2);
    EXPECT_EQ(j.Components()[2].BlockRows, 1);
    EXPECT_EQ(j.Components()[2].Data.size(), 128u);
    // Two MCU columns; in the second, the Y blocks of the fourth block column are dummies. A
    // decoder that walks the MCUs reads the picture back only when every block sits in its place.
    const DecodedJpeg decoded = DecodeJpeg(j.Encode());
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.width, 17);
    EXPECT_EQ(decoded.height, 9);
    EXPECT_GT(Psnr(d, decoded), 17.0);  // a misplaced block falls to about 10 dB
}

TEST(JpegScans, DummyBlocksHaveAnEobEvenWhenNoRealBlockEndsInZeros) {
    cJpeg j;
    j.SetQuality(100);
    j.SetSamplingFrequencies(2, 2, 1, 1, 1, 1);
    // 24 x 16: Y has 3 x 2 whole blocks, the MCUs are 16 x 16, so the second MCU column holds
    // two dummy Y blocks and every real Y block ends in a non-zero coefficient.
    const Dib d = Checkerboard(24, 16);
    ASSERT_EQ(j.SampleHDC(&d, 24, 16, 0, 0), 0);
    for (size_t b = 0; b < 6; ++b) ASSERT_NE(j.Components()[0].Data[b * 64 + 63], 0);
    const std::vector<uint8_t> file = j.Encode();
    EXPECT_NE(j.ACTables()[0].CodeSize[0], 0u);
    const DecodedJpeg decoded = DecodeJpeg(file);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_GT(PsnrGrey(d, decoded), 35.0);  // the chrominance of a checkerboard averages away
}

TEST(JpegScans, CoefficientsOfSinglePixelAndFlatPictures) {
    cJpeg j;
    j.SetQuality(100);
    Dib one(1, 1, 24);
    one.SetPixel(0, 0, RgbQuad{10, 200, 60, 0});
    ASSERT_EQ(j.SampleHDC(&one, 1, 1, 0, 0), 0);
    // Each component is one block of 64 equal samples: only the DC term is left, 8 x the sample.
    const double y = 60 * 0.299 + 200 * 0.587 + 10 * 0.114 - 128;
    const double cb = 60 * -0.16874 + 200 * -0.33126 + 10 * 0.5;
    const double cr = 60 * 0.5 + 200 * -0.41869 + 10 * -0.08131;
    const double expected[3] = {y, cb, cr};
    for (size_t c = 0; c < 3; ++c) {
        const auto& data = j.Components()[c].Data;
        ASSERT_EQ(data.size(), 64u);
        EXPECT_NEAR(data[0], 8 * expected[c], 0.5) << "component " << c;
        for (size_t k = 1; k < 64; ++k) EXPECT_EQ(data[k], 0);
    }
}

TEST(JpegScans, RectangleOfAnyBitmapGivesTheSameCoefficients) {
    const Dib big = MakePreviewLike(60, 50, 8);
    Dib crop(33, 21, 24), paletted(33, 21, 8), wide(33, 21, 32);
    for (int32_t y = 0; y < 21; ++y)
        for (int32_t x = 0; x < 33; ++x) {
            crop.SetPixel(x, y, big.PixelColor(x + 11, y + 17));
            wide.SetPixel(x, y, big.PixelColor(x + 11, y + 17));
            paletted.SetPixel(x, y, big.PixelColor(x + 11, y + 17));  // nearest grey
        }
    cJpeg a, b;
    ASSERT_EQ(a.SampleHDC(&big, 33, 21, 11, 17), 0);
    ASSERT_EQ(b.SampleHDC(&crop, 33, 21, 0, 0), 0);
    EXPECT_EQ(a.Encode(), b.Encode());
    ASSERT_EQ(b.SampleHDC(&wide, 33, 21, 0, 0), 0);
    EXPECT_EQ(a.Encode(), b.Encode());
    // A paletted source goes through the working bitmap; its grey pixels match the 24-bit copy.
    Dib greyCopy(33, 21, 24);
    for (int32_t y = 0; y < 21; ++y)
        for (int32_t x = 0; x < 33; ++x) greyCopy.SetPixel(x, y, paletted.PixelColor(x, y));
    ASSERT_EQ(a.SampleHDC(&paletted, 33, 21, 0, 0), 0);
    ASSERT_EQ(b.SampleHDC(&greyCopy, 33, 21, 0, 0), 0);
    EXPECT_EQ(a.Encode(), b.Encode());
}
