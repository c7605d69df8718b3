#include "platform/Dib.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace veltrane;

TEST(Dib, ScanLineSizesFollowTheFourByteRule) {
    EXPECT_EQ(BytesPerScanLine(33, 1), 8);
    EXPECT_EQ(BytesPerScanLine(5, 24), 16);
    EXPECT_EQ(BytesPerScanLine(3, 4), 4);
    EXPECT_EQ(BytesPerScanLine(9, 4), 8);
    EXPECT_EQ(BytesPerScanLine(5, 8), 8);
    EXPECT_THROW(BytesPerScanLine(0x7FFFFFF0, 24), std::overflow_error);
}

TEST(Dib, RowsAreStoredBottomUp) {
    Dib d(2, 3, 24);
    d.SetPixel(1, 0, RgbQuad{1, 2, 3, 0});
    const uint8_t* top = d.Bits() + 2 * d.Stride();  // the last stored line is the top one
    EXPECT_EQ(top[3], 1);
    EXPECT_EQ(top[5], 3);
    EXPECT_EQ(d.GetPixel(1, 0), MakeColorRef(3, 2, 1));
    EXPECT_EQ(d.GetPixel(2, 0), kInvalidColor);
}

TEST(Dib, PalettedPixelsPackFromTheHighBitAndMatchTheNearestColour) {
    Dib d(9, 1, 4);
    d.SetPixel(0, 0, RgbQuad{0x22, 0x22, 0x22, 0});  // grey ramp in steps of 17: index 2
    d.SetPixel(1, 0, RgbQuad{0xFF, 0xFF, 0xFF, 0});
    EXPECT_EQ(d.Bits()[0], 0x2F);
    EXPECT_EQ(d.PixelIndex(1, 0), 15);
}

TEST(Dib, RefusesBadDepthsAndHostileSizes) {
    Dib d;
    EXPECT_FALSE(d.Create(10, 10, 16));
    EXPECT_FALSE(d.Create(0, 10, 24));
    EXPECT_FALSE(d.Create(Dib::kMaxSide + 1, 1, 24));
    EXPECT_FALSE(d.Create(20000, 20000, 24));
    EXPECT_TRUE(d.Empty());
}

TEST(Dib, CopiesSharePixelsUntilOneIsWritten) {
    Dib original(4, 2, 24);
    original.SetPixel(0, 0, RgbQuad{1, 2, 3, 0});
    Dib copy = original;
    const Dib& readOnly = copy;
    EXPECT_EQ(readOnly.Bits(), static_cast<const Dib&>(original).Bits());  // nothing copied yet

    copy.SetPixel(0, 0, RgbQuad{9, 9, 9, 0});
    copy.Row(1)[0] = 7;
    EXPECT_EQ(original.GetPixel(0, 0), MakeColorRef(3, 2, 1));
    EXPECT_EQ(original.GetPixel(0, 1), 0);
    EXPECT_EQ(copy.GetPixel(0, 0), MakeColorRef(9, 9, 9));

    // The other way round: the original written after copying leaves the copy alone.
    Dib second = original;
    original.Bits()[0] = 0xEE;
    EXPECT_EQ(second.Bits()[0], 0);
    EXPECT_EQ(second.GetPixel(0, 0), MakeColorRef(3, 2, 1));
    EXPECT_EQ(second.SizeInBytes(), original.SizeInBytes());
}
