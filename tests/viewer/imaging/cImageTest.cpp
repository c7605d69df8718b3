#include "imaging/cImage.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace veltrane;

namespace {

// Every pixel a different colour, so that any misplaced pixel shows.
Dib Numbered(int32_t w, int32_t h) {
    Dib d(w, h, 24);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) d.SetPixel(x, y, RgbQuad{uint8_t(x * 16), uint8_t(y * 16), uint8_t(x + y), 0});
    return d;
}

cImage ImageOf(const Dib& d) {
    cImage image;
    EXPECT_TRUE(image.CopyStdPicture(d, 0));
    return image;
}

bool SamePixels(const cImage& a, const cImage& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int32_t y = 0; y < a.Height(); ++y)
        for (int32_t x = 0; x < a.Width(); ++x)
            if (a.hDC()->GetPixel(x, y) != b.hDC()->GetPixel(x, y)) return false;
    return true;
}

}  // namespace

TEST(cImage, CreateSetsHeaderAndGreyRamp) {
    cImage image;
    ASSERT_TRUE(image.Create(33, 2, 1));
    EXPECT_EQ(image.BytesPerScanLine(), 8);
    EXPECT_EQ(image.BitmapInfo().sizeImage, 16);
    EXPECT_EQ(image.hDC()->Colors()[1], (RgbQuad{255, 255, 255, 0}));
    ASSERT_TRUE(image.Create(5, 3, 24));
    EXPECT_EQ(image.BytesPerScanLine(), 16);
    EXPECT_EQ(image.hDC()->ColorCount(), 0);
    ASSERT_TRUE(image.Create(3, 3, 4));
    EXPECT_EQ(image.hDC()->Colors()[3], (RgbQuad{51, 51, 51, 0}));
    EXPECT_NE(image.DIBitsPtr(), nullptr);
}

TEST(cImage, CreateRefusesOtherDepthsAndLeavesTheImageEmpty) {
    cImage image;
    ASSERT_TRUE(image.Create(4, 4, 8));
    EXPECT_FALSE(image.Create(4, 4, 16));
    EXPECT_EQ(image.hDC(), nullptr);
    EXPECT_EQ(image.Width(), 0);
    EXPECT_FALSE(image.Create(4, 4, 32));
    EXPECT_FALSE(image.Create(0, 4, 24));
    EXPECT_THROW(image.Create(0x7FFFFFF0, 1, 24), std::overflow_error);
}

TEST(cImage, CopyHdcDerivesTheDepthFromTheColourTable) {
    Dib source(6, 2, 4);
    std::array<RgbQuad, 16> colours{};
    for (size_t i = 0; i < 16; ++i) colours[i] = RgbQuad{uint8_t(i * 3), uint8_t(255 - i), uint8_t(i * 11), 0};
    source.SetColors(colours.data(), 16);
    for (int32_t x = 0; x < 6; ++x) source.SetPixelIndex(x, 1, 15 - x);
    cImage image;
    ASSERT_TRUE(image.CopyHDC(&source, 6, 2, 0, 0, 0));
    EXPECT_EQ(image.BitCount(), 4);
    for (size_t i = 0; i < 16; ++i) EXPECT_EQ(image.hDC()->Colors()[i], colours[i]);
    for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(image.hDC()->PixelIndex(x, 1), 15 - x);
    // A rectangle of a 24-bit bitmap, with its offset.
    const Dib numbered = Numbered(8, 8);
    ASSERT_TRUE(image.CopyHDC(&numbered, 3, 2, 0, 4, 5));
    EXPECT_EQ(image.BitCount(), 24);
    EXPECT_EQ(image.hDC()->GetPixel(1, 1), numbered.GetPixel(5, 6));
    EXPECT_FALSE(image.CopyHDC(nullptr, 3, 2, 0, 0, 0));
}

TEST(cImage, CopyStdPictureKeepsDepthAndIndices) {
    Dib picture(5, 3, 8);
    picture.Colors()[200] = RgbQuad{1, 2, 3, 0};
    picture.SetPixelIndex(4, 2, 200);
    const cImage paletted = ImageOf(picture);
    EXPECT_EQ(paletted.BitCount(), 8);
    EXPECT_EQ(paletted.hDC()->PixelIndex(4, 2), 200);
    EXPECT_EQ(paletted.hDC()->Colors()[200], (RgbQuad{1, 2, 3, 0}));
    // 32-bit pictures, which the loader keeps as they are, become 24-bit images.
    Dib wide(2, 2, 32);
    wide.SetPixel(1, 0, RgbQuad{9, 8, 7, 0});
    const cImage image = ImageOf(wide);
    EXPECT_EQ(image.BitCount(), 24);
    EXPECT_EQ(image.hDC()->GetPixel(1, 0), wide.GetPixel(1, 0));
    // An explicit depth converts: 24-bit colours to the nearest grey of an 8-bit ramp.
    cImage grey;
    ASSERT_TRUE(grey.CopyStdPicture(Numbered(4, 4), 8));
    EXPECT_EQ(grey.BitCount(), 8);
}

TEST(cImage, CopyPalletHdcReportsWhetherTheWholeTableFitted) {
    Dib fourBit(2, 2, 4), eightBit(2, 2, 8), trueColour(2, 2, 24);
    fourBit.Colors()[7] = RgbQuad{7, 7, 70, 0};
    cImage image;
    ASSERT_TRUE(image.Create(2, 2, 4));
    EXPECT_TRUE(image.CopyPalletHDC(&fourBit));
    EXPECT_EQ(image.hDC()->Colors()[7], (RgbQuad{7, 7, 70, 0}));
    EXPECT_TRUE(image.CopyPalletHDC(&eightBit));  // the first 16 of 256 entries are read
    EXPECT_FALSE(image.CopyPalletHDC(&trueColour));
    ASSERT_TRUE(image.Create(2, 2, 24));
    EXPECT_FALSE(image.CopyPalletHDC(&fourBit));
}

TEST(cImage, PaintHdcDrawsTheWholeImageWithARasterOperation) {
    const cImage image = ImageOf(Numbered(3, 2));
    Dib canvas(6, 6, 24);
    image.PaintHDC(&canvas, 2, 3);
    EXPECT_EQ(canvas.GetPixel(4, 4), image.hDC()->GetPixel(2, 1));
    EXPECT_EQ(canvas.GetPixel(1, 3), 0);
    image.PaintHDC(nullptr, 0, 0);  // nothing to paint on: nothing happens
}

TEST(cImage, RotationsAndMirrorsMovePixelsExactly) {
    const cImage image = ImageOf(Numbered(5, 3));
    const auto at = [](const std::unique_ptr<cImage>& i, int32_t x, int32_t y) { return i->hDC()->GetPixel(x, y); };
    const auto source = [&](int32_t x, int32_t y) { return image.hDC()->GetPixel(x, y); };

    const auto quarter = image.Rotate(90);  // anticlockwise: the top right corner goes to the top left
    ASSERT_TRUE(quarter);
    EXPECT_EQ(quarter->Width(), 3);
    EXPECT_EQ(quarter->Height(), 5);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(at(quarter, y, 4 - x), source(x, y)) << x << "," << y;
    const auto half = image.Rotate(180);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(at(half, 4 - x, 2 - y), source(x, y));
    const auto clockwise = image.Rotate(270);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(at(clockwise, 2 - y, x), source(x, y));
    const auto mirrored = image.Mirror(false);
    const auto flipped = image.Mirror(true);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) {
            EXPECT_EQ(at(mirrored, 4 - x, y), source(x, y));
            EXPECT_EQ(at(flipped, x, 2 - y), source(x, y));
        }

    EXPECT_TRUE(SamePixels(*image.Rotate(-90), *clockwise));
    EXPECT_TRUE(SamePixels(*image.Rotate(450), *quarter));
    EXPECT_EQ(image.Rotate(45), nullptr);
    EXPECT_EQ(image.Rotate(0), nullptr);
    EXPECT_EQ(image.Rotate(-360), nullptr);
}

TEST(cImage, ResampleToTheSameSizeCopiesAndOtherSizesScale) {
    const cImage image = ImageOf(Numbered(7, 5));
    const auto copy = image.Resample(7, 5);
    ASSERT_TRUE(copy);
    EXPECT_TRUE(SamePixels(*copy, image));
    Dib flat(6, 4, 24);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 6; ++x) flat.SetPixel(x, y, RgbQuad{30, 60, 90, 0});
    const auto bigger = ImageOf(flat).Resample(15, 9);
    ASSERT_TRUE(bigger);
    EXPECT_EQ(bigger->Width(), 15);
    EXPECT_EQ(bigger->hDC()->GetPixel(14, 8), flat.GetPixel(0, 0));
    EXPECT_EQ(cImage().Resample(3, 3), nullptr);  // nothing to scale
}

TEST(cImage, GreyscaleTakesTheNearestGreyLevel) {
    Dib d(3, 1, 24);
    d.SetPixel(0, 0, RgbQuad{77, 77, 77, 0});
    d.SetPixel(1, 0, RgbQuad{0, 0, 255, 0});  // pure red: the nearest grey is 85
    d.SetPixel(2, 0, RgbQuad{255, 255, 255, 0});
    const auto grey = ImageOf(d).Greyscale();
    ASSERT_TRUE(grey);
    EXPECT_EQ(grey->BitCount(), 8);
    EXPECT_EQ(grey->hDC()->PixelIndex(0, 0), 77);
    EXPECT_EQ(grey->hDC()->PixelIndex(1, 0), 85);
    EXPECT_EQ(grey->hDC()->PixelIndex(2, 0), 255);
}
