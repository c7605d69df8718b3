#include "rendering/WinAMPGraphics.h"

#include "SkinFixtures.h"

#include <gtest/gtest.h>

using namespace veltrane;
using namespace veltrane::test;

namespace {

std::vector<Copy> EqualizerCopies() {
    std::vector<Copy> c = {
        {kEqMain, 0, 0, 275, 116, 0, 0},    {kEqMain, 0, 134, 275, 14, 0, 0},     {kEqMain, 10, 119, 25, 12, 14, 18},
        {kEqMain, 35, 119, 33, 12, 39, 18}, {kEqMain, 224, 164, 44, 12, 217, 18}, {kEqMain, 0, 294, 113, 19, 86, 17},
        {kEqMain, 0, 314, 113, 1, 86, 26},  {kEqMain, 13, 164, 14, 63, 21, 38},
    };
    for (int32_t x : {78, 96, 114, 132, 150, 168, 186, 204, 222, 240}) c.push_back({kEqMain, 13, 164, 14, 63, x, 38});
    c.push_back({kEqMain, 0, 164, 11, 11, 22, 63});
    for (int32_t x : {79, 97, 115, 133, 151, 169, 187, 205, 223, 241}) c.push_back({kEqMain, 0, 164, 11, 11, x, 63});
    return c;
}

// The playlist frame at 275 x 118, with the positions written out.
std::vector<Copy> PlaylistCopies() {
    std::vector<Copy> c;
    for (int32_t x : {25, 50, 75, 225, 200, 185}) c.push_back({kPlEdit, 127, 0, 25, 20, x, 0});
    c.push_back({kPlEdit, 0, 0, 25, 20, 0, 0});
    c.push_back({kPlEdit, 153, 0, 25, 20, 250, 0});
    c.push_back({kPlEdit, 26, 0, 100, 20, 88, 0});
    for (int32_t y : {20, 49, 78}) c.push_back({kPlEdit, 31, 42, 20, 29, 255, y});
    for (int32_t y : {20, 49, 78}) c.push_back({kPlEdit, 0, 42, 12, 29, 0, y});
    c.push_back({kPlEdit, 0, 72, 125, 38, 0, 80});
    c.push_back({kPlEdit, 126, 72, 150, 38, 125, 80});
    c.push_back({kPlEdit, 52, 53, 8, 18, 260, 20});
    return c;
}

}  // namespace

TEST(EqualizerWindow, ComposesEveryCopyAndShowsNothingElseOfTheBitmap) {
    TempFolder skin;
    WriteSyntheticSkin(skin.path());
    EqualizerWindow window;
    std::string folder = skin.str();
    window.LoadEqualizerSkin(folder);
    EXPECT_EQ(folder, skin.str() + "/");
    ASSERT_EQ(window.Width(), 275);
    ASSERT_EQ(window.Height(), 116);
    ExpectComposition(window.Image(), EqualizerCopies());

    const Dib first = window.Image();
    window.DrawEqualizerWindow();
    window.DrawEqualizerWindow();
    EXPECT_EQ(std::vector<uint8_t>(first.Bits(), first.Bits() + first.SizeInBytes()),
              std::vector<uint8_t>(window.Image().Bits(), window.Image().Bits() + window.Image().SizeInBytes()));
}

TEST(PlaylistWindow, FrameOverTheBackgroundColourOfPleditTxt) {
    TempFolder skin;
    WriteSyntheticSkin(skin.path());
    WriteText(skin.path() / "PLEDIT.TXT", "[Text]\r\nNormal=#00FF00\r\nNormalBG=#0A1B2C\r\n");
    PlaylistWindow window;
    std::string folder = skin.str();
    window.LoadPlaylistSkin(folder);
    ASSERT_EQ(window.Width(), 275);
    ASSERT_EQ(window.Height(), 118);
    EXPECT_EQ(window.BackColor(), 2890506);
    ExpectComposition(window.Image(), PlaylistCopies(), 2890506);
    // The title covers 88 to 187, over the fillers at 75 and 185.
    EXPECT_EQ(window.Image().GetPixel(88, 5), Tag(kPlEdit, 26, 5));
    EXPECT_EQ(window.Image().GetPixel(187, 5), Tag(kPlEdit, 125, 5));
    EXPECT_EQ(window.Image().GetPixel(188, 5), Tag(kPlEdit, 130, 5));
}

TEST(PlaylistWindow, UnreadableColourKeepsThePreviousOneAndNoFileMeansBlack) {
    TempFolder first, second, third;
    WriteSyntheticSkin(first.path());
    WriteText(first.path() / "pledit.txt", "[text]\nnormalbg = 8c8c78\n");
    WriteSyntheticSkin(second.path());
    WriteText(second.path() / "PLEDIT.TXT", "[Text]\nNormalBG=#GG0000\n");
    WriteSyntheticSkin(third.path());

    PlaylistWindow window;
    std::string folder = first.str();
    window.LoadPlaylistSkin(folder);
    EXPECT_EQ(window.BackColor(), 0x788C8C);
    folder = second.str();
    window.LoadPlaylistSkin(folder);
    EXPECT_EQ(window.BackColor(), 0x788C8C);
    EXPECT_EQ(window.Image().GetPixel(100, 50), 0x788C8C);
    folder = third.str();
    window.LoadPlaylistSkin(folder);
    EXPECT_EQ(window.BackColor(), 0);
    EXPECT_EQ(window.Image().GetPixel(100, 50), 0);
}

TEST(SkinColour, ParsesWithAndWithoutHashAndShortTexts) {
    EXPECT_EQ(ParseSkinColor("#0A1B2C"), 2890506);
    EXPECT_EQ(ParseSkinColor("0A1B2C"), 2890506);
    EXPECT_EQ(ParseSkinColor("#FF"), 255);
    EXPECT_EQ(ParseSkinColor(""), 0);
    EXPECT_EQ(ParseSkinColor("#112233trailing"), MakeColorRef(0x11, 0x22, 0x33));
}

// Lower-case digits are as valid as upper-case ones; rejecting them would lose the colour of many
// real skins.
TEST(SkinColour, AcceptsLowerCaseHexDigits) {
    EXPECT_EQ(ParseSkinColor("#0a1b2c"), 2890506);
    EXPECT_EQ(ParseSkinColor("#20fff4"), MakeColorRef(0x20, 0xFF, 0xF4));
    EXPECT_EQ(HexPairValue("ff"), "255");
    EXPECT_EQ(HexPairValue("Ab"), "171");
}

TEST(SkinColour, RejectsPiecesThatAreNotTwoHexDigits) {
    EXPECT_EQ(ParseSkinColor("#GG0000"), std::nullopt);
    EXPECT_EQ(ParseSkinColor("#12345"), std::nullopt);  // blue piece of one digit
    EXPECT_EQ(ParseSkinColor("# 12345"), std::nullopt);
    EXPECT_EQ(HexPairValue(""), "0");
    EXPECT_EQ(HexPairValue("0"), "");
    EXPECT_EQ(HexPairValue("0F"), "15");
    EXPECT_EQ(PadLeft("7", 2, "0"), "07");
    EXPECT_EQ(PadLeft("123", 2, "0"), "123");
}

TEST(SkinColour, IniValuesIgnoreCaseAndFallBackToTheDefault) {
    TempFolder folder;
    const std::string file = (folder.path() / "PLEDIT.TXT").string();
    WriteText(file, "[TEXT]\r\n  NormalBG  =  #102030  \r\nEmpty=\r\n");
    EXPECT_EQ(ReadIniValue("text", "normalbg", file), "#102030");
    EXPECT_EQ(ReadIniValue("Text", "Empty", file, "dflt"), "dflt");
    EXPECT_EQ(ReadIniValue("Text", "Missing", file), "");
    EXPECT_EQ(ReadIniValue("Text", "NormalBG", (folder.path() / "none.txt").string(), "x"), "x");
}
