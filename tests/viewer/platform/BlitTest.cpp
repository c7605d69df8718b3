#include "platform/Blit.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

using namespace veltrane;

namespace {

constexpr RgbQuad kRed{0, 0, 255, 0}, kGreen{0, 255, 0, 0}, kBlue{255, 0, 0, 0}, kWhite{255, 255, 255, 0};

// A bitmap whose pixel (x, y) has red x and green y, so every copy shows where it read from.
Dib Coordinates(int32_t width, int32_t height, int bitCount = 24) {
    Dib d(width, height, bitCount);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) d.SetPixel(x, y, RgbQuad{0, uint8_t(y), uint8_t(x), 0});
    return d;
}

Dib Filled(int32_t width, int32_t height, RgbQuad color, int bitCount = 24) {
    Dib d(width, height, bitCount);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) d.SetPixel(x, y, color);
    return d;
}

// An 8-bit bitmap with a palette of four distinct colours and index (x + y) % 4.
Dib Paletted(int32_t width, int32_t height) {
    Dib d(width, height, 8);
    const RgbQuad table[4] = {kRed, kGreen, kBlue, kWhite};
    d.SetColors(table, 4);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) d.SetPixelIndex(x, y, (x + y) % 4);
    return d;
}

ColorRef Ref(RgbQuad c) { return MakeColorRef(c.red, c.green, c.blue); }

// Reads a bitmap back as rows of digits: the red channel scaled by the given step.
std::vector<std::string> Reds(const Dib& d, int step = 1) {
    std::vector<std::string> rows;
    for (int32_t y = 0; y < d.Height(); ++y) {
        std::string row;
        for (int32_t x = 0; x < d.Width(); ++x) row += char('0' + d.PixelColor(x, y).red / step);
        rows.push_back(row);
    }
    return rows;
}

}  // namespace

TEST(BitBlt, ClipsToTheDestinationAndLeavesPixelsWithoutSourceAlone) {
    const Dib src = Coordinates(4, 4);
    Dib dst = Filled(4, 4, kWhite);
    // Destination starts left of and above the bitmap; source runs off its right and bottom edge.
    ASSERT_TRUE(BitBlt(dst, -1, -1, 10, 10, src, 2, 2));
    EXPECT_EQ(dst.GetPixel(0, 0), MakeColorRef(3, 3, 0));  // source (3, 3)
    EXPECT_EQ(dst.GetPixel(1, 0), Ref(kWhite));            // source (4, 3): outside
    EXPECT_EQ(dst.GetPixel(0, 1), Ref(kWhite));

    Dib dst2 = Filled(4, 4, kWhite);
    ASSERT_TRUE(BitBlt(dst2, 0, 0, 4, 4, src, -2, -1));  // negative source origin
    EXPECT_EQ(dst2.GetPixel(1, 0), Ref(kWhite));
    EXPECT_EQ(dst2.GetPixel(1, 1), Ref(kWhite));
    EXPECT_EQ(dst2.GetPixel(2, 1), MakeColorRef(0, 0, 0));
    EXPECT_EQ(dst2.GetPixel(3, 3), MakeColorRef(1, 2, 0));

    // Far-away coordinates neither overflow nor touch anything.
    const Dib before = dst2;
    EXPECT_TRUE(BitBlt(dst2, 0, 0, 4, 4, src, 0x7FFFFFF0, -0x7FFFFFF0));
    EXPECT_TRUE(BitBlt(dst2, 0x7FFFFFF0, 0, 0x7FFFFFF0, 4, src, 0, 0));
    EXPECT_EQ(Reds(dst2), Reds(before));
    EXPECT_FALSE(BitBlt(dst2, 0, 0, 0, 4, src, 0, 0));
    EXPECT_FALSE(BitBlt(dst2, 0, 0, 4, 4, Dib(), 0, 0));
}

TEST(BitBlt, OverlappingCopiesWithinOneBitmapReadTheOriginalPixels) {
    for (int bits : {8, 24, 4}) {
        for (auto [dx, dy] : {std::pair{1, 1}, std::pair{-1, -1}, std::pair{1, 0}, std::pair{0, -1}}) {
            Dib d = bits == 24 ? Coordinates(6, 6) : Paletted(6, 6);
            if (bits == 4) {
                Dib four(6, 6, 4);
                for (int32_t y = 0; y < 6; ++y)
                    for (int32_t x = 0; x < 6; ++x) four.SetPixelIndex(x, y, (x * 5 + y * 3) % 16);
                d = four;
            }
            const Dib original = d;
            ASSERT_TRUE(BitBlt(d, 1 + dx, 1 + dy, 4, 4, d, 1, 1));
            for (int32_t y = 0; y < 4; ++y)
                for (int32_t x = 0; x < 4; ++x)
                    ASSERT_EQ(d.GetPixel(1 + dx + x, 1 + dy + y), original.GetPixel(1 + x, 1 + y))
                        << bits << " bit, shift " << dx << "," << dy << " at " << x << "," << y;
        }
    }
}

TEST(BitBlt, RasterOperationsFollowTheirTernaryCodeWithAWhiteBrush) {
    const Dib src = Filled(1, 1, RgbQuad{0x0F, 0xF0, 0x3C, 0});
    const RgbQuad d0{0x55, 0x55, 0xFF, 0};
    struct Case {
        uint32_t rop;
        RgbQuad expected;
    };
    const Case cases[] = {
        {uint32_t(Rop::SrcCopy), {0x0F, 0xF0, 0x3C, 0}},
        {uint32_t(Rop::SrcAnd), {0x05, 0x50, 0x3C, 0}},
        {uint32_t(Rop::SrcPaint), {0x5F, 0xF5, 0xFF, 0}},
        {uint32_t(Rop::SrcInvert), {0x5A, 0xA5, 0xC3, 0}},
        {uint32_t(Rop::SrcErase), {0x0A, 0xA0, 0x00, 0}},  // S and not D
        {uint32_t(Rop::NotSrcCopy), {0xF0, 0x0F, 0xC3, 0}},
        {uint32_t(Rop::NotSrcErase), {0xA0, 0x0A, 0x00, 0}},  // not (S or D)
        {uint32_t(Rop::MergeCopy), {0x0F, 0xF0, 0x3C, 0}},    // P and S, P white
        {uint32_t(Rop::MergePaint), {0xF5, 0x5F, 0xFF, 0}},   // not S or D
        {uint32_t(Rop::PatCopy), {0xFF, 0xFF, 0xFF, 0}},
        {uint32_t(Rop::PatInvert), {0xAA, 0xAA, 0x00, 0}},
        {uint32_t(Rop::DstInvert), {0xAA, 0xAA, 0x00, 0}},
        {uint32_t(Rop::Blackness), {0, 0, 0, 0}},
        {uint32_t(Rop::Whiteness), {0xFF, 0xFF, 0xFF, 0}},
        {0x00B8074Au, {0xF5, 0x5F, 0xFF, 0}},  // PSDPxax, with P white: not S or D
    };
    for (const Case& c : cases) {
        Dib dst = Filled(1, 1, d0);
        ASSERT_TRUE(BitBlt(dst, 0, 0, 1, 1, src, 0, 0, c.rop)) << std::hex << c.rop;
        EXPECT_EQ(dst.GetPixel(0, 0), Ref(c.expected)) << std::hex << c.rop;
    }
}

TEST(BitBlt, SourcelessOperationsIgnoreTheSourceBounds) {
    Dib dst = Filled(3, 1, kRed);
    ASSERT_TRUE(BitBlt(dst, 0, 0, 3, 1, Dib(), 0, 0, Rop::Whiteness));
    EXPECT_EQ(dst.GetPixel(2, 0), Ref(kWhite));
}

TEST(BitBlt, CopiesIntoPalettedBitmapsTakeTheNearestEntry) {
    Dib dst(3, 1, 8);
    const RgbQuad table[3] = {RgbQuad{0, 0, 0, 0}, RgbQuad{0, 0, 200, 0}, RgbQuad{200, 200, 200, 0}};
    dst.SetColors(table, 3);
    for (int i = 3; i < 256; ++i) dst.Colors()[i] = RgbQuad{0, 0, 0, 0};
    Dib src(3, 1, 24);
    src.SetPixel(0, 0, RgbQuad{10, 10, 250, 0});    // near red
    src.SetPixel(1, 0, RgbQuad{180, 190, 230, 0});  // near light grey
    src.SetPixel(2, 0, RgbQuad{20, 10, 30, 0});     // near black
    ASSERT_TRUE(BitBlt(dst, 0, 0, 3, 1, src, 0, 0));
    EXPECT_EQ(dst.PixelIndex(0, 0), 1);
    EXPECT_EQ(dst.PixelIndex(1, 0), 2);
    EXPECT_EQ(dst.PixelIndex(2, 0), 0);

    // Between paletted bitmaps the colours are matched, not the raw indices copied.
    Dib grey(4, 1, 4);  // the default grey ramp
    ASSERT_TRUE(BitBlt(grey, 0, 0, 4, 1, Paletted(4, 1), 0, 0));
    EXPECT_EQ(grey.PixelIndex(3, 0), 15);  // white
    EXPECT_EQ(grey.PixelIndex(0, 0), 5);   // pure red is nearest to grey 85
}

TEST(BitBlt, PalettedSourcesExpandIntoTrueColour) {
    const Dib src = Paletted(5, 3);
    for (int bits : {24, 32}) {
        Dib dst(5, 3, bits);
        ASSERT_TRUE(BitBlt(dst, 0, 0, 5, 3, src, 0, 0));
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 5; ++x) ASSERT_EQ(dst.GetPixel(x, y), src.GetPixel(x, y));
    }
    Dib one(9, 1, 1);
    one.SetPixelIndex(8, 0, 1);
    Dib dst(9, 1, 24);
    ASSERT_TRUE(BitBlt(dst, 0, 0, 9, 1, one, 0, 0));
    EXPECT_EQ(dst.GetPixel(8, 0), Ref(kWhite));
    EXPECT_EQ(dst.GetPixel(7, 0), 0);
}

// A skin's worth of copies: 8-bit slots into 24-bit window images and the preview canvas.
TEST(BitBlt, RendersASkinWorthOfCopiesQuickly) {
    const Dib slot = Paletted(275, 116);
    Dib window(275, 116, 24), preview(275, 350, 24);
    // Processor time of this thread, so a busy machine does not count against the blits.
    auto cpuMicroseconds = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
    };
    const double start = cpuMicroseconds();
    constexpr int kRounds = 50;
    for (int round = 0; round < kRounds; ++round) {
        for (int i = 0; i < 40; ++i) BitBlt(window, (i * 7) % 200, (i * 3) % 90, 68, 26, slot, i, i);
        BitBlt(window, 0, 0, 275, 116, slot, 0, 0);
        for (int i = 0; i < 3; ++i) BitBlt(preview, 0, 116 * i, 275, 116, window, 0, 0);
    }
    const double perSkin = (cpuMicroseconds() - start) / kRounds;
#if defined(__SANITIZE_ADDRESS__) || !defined(NDEBUG)
    (void)perSkin;  // timings mean nothing under the sanitizers or without optimisation
#else
    EXPECT_LT(perSkin, 500.0);
#endif
    EXPECT_EQ(preview.GetPixel(10, 116 * 2 + 5), slot.GetPixel(10, 5));
}

TEST(StretchBlt, HalftoneAveragesTheCoveredArea) {
    Dib src(3, 1, 24);
    src.SetPixel(0, 0, RgbQuad{0, 0, 0, 0});
    src.SetPixel(1, 0, RgbQuad{90, 90, 90, 0});
    src.SetPixel(2, 0, RgbQuad{180, 180, 180, 0});
    Dib dst(2, 1, 24);
    ASSERT_TRUE(StretchBlt(dst, 0, 0, 2, 1, src, 0, 0, 3, 1, StretchMode::Halftone));
    EXPECT_EQ(dst.GetPixel(0, 0), MakeColorRef(30, 30, 30));     // (0 + 90 / 2) / 1.5
    EXPECT_EQ(dst.GetPixel(1, 0), MakeColorRef(150, 150, 150));  // (90 / 2 + 180) / 1.5

    // A one-pixel checkerboard halves to its mean grey.
    Dib board(4, 4, 24);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x) board.SetPixel(x, y, ((x + y) & 1) ? kWhite : RgbQuad{});
    Dib half(2, 2, 24);
    ASSERT_TRUE(StretchBlt(half, 0, 0, 2, 2, board, 0, 0, 4, 4));
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 2; ++x) EXPECT_EQ(half.GetPixel(x, y), MakeColorRef(128, 128, 128));
}

TEST(StretchBlt, ColorOnColorTakesTheNearestPixelAndMirrorsOnNegativeExtents) {
    const Dib src = Coordinates(4, 1);
    Dib dst(8, 1, 24);
    ASSERT_TRUE(StretchBlt(dst, 0, 0, 8, 1, src, 0, 0, 4, 1, StretchMode::ColorOnColor));
    EXPECT_EQ(Reds(dst), (std::vector<std::string>{"00112233"}));
    ASSERT_TRUE(StretchBlt(dst, 0, 0, 4, 1, src, 4, 0, -4, 1, StretchMode::ColorOnColor));
    EXPECT_EQ(Reds(dst).front().substr(0, 4), "3210");

    Dib small(2, 1, 24);
    ASSERT_TRUE(StretchBlt(small, 0, 0, 2, 1, src, 2, 0, 4, 1, StretchMode::ColorOnColor));
    EXPECT_EQ(small.GetPixel(0, 0), MakeColorRef(3, 0, 0));
    EXPECT_EQ(small.GetPixel(1, 0), 0);  // its source pixel lies outside: untouched
}

TEST(PlgBlt, MirrorsAndQuarterTurnsAreExact) {
    const int32_t W = 5, H = 3;
    const Dib src = Coordinates(W, H);
    struct Case {
        const char* name;
        Point points[3];
        int32_t width, height;
        // Where source pixel (x, y) lands.
        int32_t (*toX)(int32_t x, int32_t y);
        int32_t (*toY)(int32_t x, int32_t y);
    };
    const Case cases[] = {
        {"mirror",
         {{W, 0}, {0, 0}, {W, H}},
         W,
         H,
         [](int32_t x, int32_t) { return W - 1 - x; },
         [](int32_t, int32_t y) { return y; }},
        {"upside down",
         {{0, H}, {W, H}, {0, 0}},
         W,
         H,
         [](int32_t x, int32_t) { return x; },
         [](int32_t, int32_t y) { return H - 1 - y; }},
        {"quarter anticlockwise",
         {{0, W}, {0, 0}, {H, W}},
         H,
         W,
         [](int32_t, int32_t y) { return y; },
         [](int32_t x, int32_t) { return W - 1 - x; }},
        {"half turn",
         {{W, H}, {0, H}, {W, 0}},
         W,
         H,
         [](int32_t x, int32_t) { return W - 1 - x; },
         [](int32_t, int32_t y) { return H - 1 - y; }},
        {"quarter clockwise",
         {{H, 0}, {H, W}, {0, 0}},
         H,
         W,
         [](int32_t, int32_t y) { return H - 1 - y; },
         [](int32_t x, int32_t) { return x; }},
    };
    for (const Case& c : cases) {
        Dib dst = Filled(c.width, c.height, kWhite);
        ASSERT_TRUE(PlgBlt(dst, c.points, src, 0, 0, W, H)) << c.name;
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x)
                ASSERT_EQ(dst.GetPixel(c.toX(x, y), c.toY(x, y)), src.GetPixel(x, y)) << c.name << " " << x << "," << y;
    }
}

TEST(PlgBlt, KeepsPaletteIndicesAndRefusesDegenerateShapes) {
    const Dib src = Paletted(4, 2);
    Dib dst(4, 2, 8);
    dst.SetColors(src.Colors(), 256);
    const Point mirror[3] = {{4, 0}, {0, 0}, {4, 2}};
    ASSERT_TRUE(PlgBlt(dst, mirror, src, 0, 0, 4, 2));
    EXPECT_EQ(dst.PixelIndex(0, 0), src.PixelIndex(3, 0));
    EXPECT_EQ(dst.PixelIndex(3, 1), src.PixelIndex(0, 1));
    const Point line[3] = {{0, 0}, {4, 0}, {8, 0}};
    EXPECT_FALSE(PlgBlt(dst, line, src, 0, 0, 4, 2));
}
