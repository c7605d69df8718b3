#include "rendering/DefaultSkin.h"
#include "rendering/WinAMPGraphics.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace veltrane;

namespace {

struct Rect {
    int32_t x, y, w, h;
};

// Number of pixels in which two equally sized rectangles of a bitmap differ.
int Differences(const Dib& dib, Rect a, Rect b) {
    int count = 0;
    for (int32_t y = 0; y < a.h; ++y)
        for (int32_t x = 0; x < a.w; ++x) count += dib.GetPixel(a.x + x, a.y + y) != dib.GetPixel(b.x + x, b.y + y);
    return count;
}

std::string CellPixels(const Dib& dib, int32_t x, int32_t y, int32_t w, int32_t h) {
    std::string s;
    for (int32_t yy = 0; yy < h; ++yy)
        for (int32_t xx = 0; xx < w; ++xx) s += std::to_string(dib.GetPixel(x + xx, y + yy)) + ",";
    return s;
}

}  // namespace

TEST(DefaultSkin, EverySlotHasItsStandardSizeAtEightBits) {
    const SkinArt& art = DefaultSkinArt();
    const std::pair<const Dib*, std::pair<int, int>> slots[] = {
        {&art.main, {275, 116}},        {&art.playPause, {42, 9}},   {&art.buttons, {136, 36}},
        {&art.titleBar, {344, 87}},     {&art.monoStereo, {58, 24}}, {&art.positionBar, {307, 10}},
        {&art.shuffleRepeat, {92, 85}}, {&art.volume, {68, 433}},    {&art.text, {155, 74}},
        {&art.balance, {68, 433}},      {&art.numbers, {99, 13}},    {&art.equalizer, {275, 315}},
        {&art.playlist, {280, 186}},
    };
    for (const auto& [dib, size] : slots) {
        EXPECT_EQ(dib->Width(), size.first);
        EXPECT_EQ(dib->Height(), size.second);
        EXPECT_EQ(dib->BitCount(), 8);
    }
}

TEST(DefaultSkin, PressedAndSwitchedStatesLookDifferent) {
    const SkinArt& art = DefaultSkinArt();
    const int enough = 10;
    // Transport buttons: released row against pressed row.
    for (int32_t x : {0, 23, 46, 69}) EXPECT_GT(Differences(art.buttons, {x, 0, 23, 18}, {x, 18, 23, 18}), enough);
    EXPECT_GT(Differences(art.buttons, {92, 0, 22, 18}, {92, 18, 22, 18}), enough);
    EXPECT_GT(Differences(art.buttons, {114, 0, 22, 16}, {114, 16, 22, 16}), enough);
    // Title-bar buttons, title bar active against inactive, clutterbar entries.
    for (int32_t x : {0, 9, 18}) EXPECT_GT(Differences(art.titleBar, {x, 0, 9, 9}, {x, 9, 9, 9}), enough);
    EXPECT_GT(Differences(art.titleBar, {0, 18, 9, 9}, {9, 18, 9, 9}), enough);
    EXPECT_GT(Differences(art.titleBar, {27, 0, 275, 14}, {27, 15, 275, 14}), enough);
    for (int32_t k = 0; k < 5; ++k) EXPECT_GT(Differences(art.titleBar, {304, 0, 8, 43}, {304 + 8 * k, 44, 8, 43}), 5);
    // Toggles: the four rows of repeat and shuffle, EQ and PL off/on and pressed.
    for (int32_t row : {15, 30, 45}) {
        EXPECT_GT(Differences(art.shuffleRepeat, {0, 0, 29, 15}, {0, row, 29, 15}), 5);
        EXPECT_GT(Differences(art.shuffleRepeat, {29, 0, 46, 15}, {29, row, 46, 15}), 5);
    }
    for (Rect other : {Rect{46, 61, 23, 12}, Rect{0, 73, 23, 12}, Rect{46, 73, 23, 12}})
        EXPECT_GT(Differences(art.shuffleRepeat, {0, 61, 23, 12}, other), 5);
    // Lamps, knobs, the two indicator colours.
    EXPECT_GT(Differences(art.monoStereo, {0, 0, 29, 12}, {0, 12, 29, 12}), 5);
    EXPECT_GT(Differences(art.monoStereo, {29, 0, 27, 12}, {29, 12, 27, 12}), 5);
    EXPECT_GT(Differences(art.positionBar, {248, 0, 29, 10}, {278, 0, 29, 10}), enough);
    EXPECT_GT(Differences(art.volume, {15, 422, 14, 11}, {0, 422, 14, 11}), enough);
    EXPECT_GT(Differences(art.playPause, {36, 0, 3, 3}, {39, 0, 3, 3}), 5);
    // Volume steps differ from each other; balance steps too.
    for (int32_t step = 1; step <= 27; ++step) {
        EXPECT_GT(Differences(art.volume, {0, 0, 68, 13}, {0, 15 * step, 68, 13}), 0) << step;
        EXPECT_GT(Differences(art.balance, {9, 15 * (step - 1), 38, 13}, {9, 15 * step, 38, 13}), 0) << step;
    }
}

TEST(DefaultSkin, FontAndDigitsHaveADistinctGlyphForEveryCharacter) {
    const SkinArt& art = DefaultSkinArt();
    const std::string blank = CellPixels(art.text, 145, 0, 5, 6);  // an unused cell
    std::set<std::string> glyphs;
    const std::string characters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ\"@0123456789=()-'!_+\\/[]^&%,$#*";
    for (char c : characters) {
        const FontCell cell = FontCellOf(char32_t(c));
        const std::string pixels = CellPixels(art.text, cell.x, cell.y, 5, 6);
        EXPECT_NE(pixels, blank) << c;
        EXPECT_TRUE(glyphs.insert(pixels).second) << c << " looks like another character";
    }
    std::set<std::string> digits;
    for (int32_t d = 0; d < 10; ++d) EXPECT_TRUE(digits.insert(CellPixels(art.numbers, 9 * d, 0, 9, 13)).second) << d;
}
