#include "rendering/DefaultSkin.h"
#include "rendering/SkinFiles.h"
#include "rendering/SkinPreview.h"
#include "rendering/WinAMPGraphics.h"

#include "SkinFixtures.h"

#include <gtest/gtest.h>

using namespace veltrane;
using namespace veltrane::test;

namespace {

bool SameBitmap(const Dib& a, const Dib& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int32_t y = 0; y < a.Height(); ++y)
        for (int32_t x = 0; x < a.Width(); ++x)
            if (a.GetPixel(x, y) != b.GetPixel(x, y)) return false;
    return true;
}

}  // namespace

TEST(SkinLoading, MissingBalanceFallsBackToTheVolumeArtwork) {
    TempFolder skin;
    WriteSyntheticSkin(skin.path(), {kBalance, kNumsEx});
    MainWindow window;
    std::string folder = skin.str();
    window.LoadMainSkin(folder);
    // Balance 35: strip 8 of the volume bitmap, from x = 9; knob cell (15, 422) at x = 190.
    EXPECT_EQ(window.Image().GetPixel(177, 57), Tag(kVolume, 9, 120));
    EXPECT_EQ(window.Image().GetPixel(190, 58), Tag(kVolume, 15, 422));
}

TEST(SkinLoading, NumbersWinOverNumsExWhichStandsInWhenNumbersIsMissing) {
    TempFolder both, onlyEx;
    WriteSyntheticSkin(both.path(), {});
    WriteSyntheticSkin(onlyEx.path(), {kNumbers});
    MainWindow window;
    std::string folder = both.str();
    window.LoadMainSkin(folder);
    EXPECT_EQ(window.Image().GetPixel(48, 26), Tag(kNumbers, 0, 0));
    folder = onlyEx.str();
    window.LoadMainSkin(folder);
    EXPECT_EQ(window.Image().GetPixel(48, 26), Tag(kNumsEx, 0, 0));
}

TEST(SkinLoading, SlotsKeepTheLastImageTheyReceived) {
    TempFolder a, b;
    WriteSyntheticSkin(a.path());
    WriteTagged(b.path(), "MAIN.BMP", kOther, 275, 116);
    WriteTagged(b.path(), "CBUTTONS.BMP", kOther, 136, 36);
    WriteText(b.path() / "SHUFREP.BMP", "BM this is no bitmap");  // unreadable: the slot stays
    MainWindow window;
    std::string folder = a.str();
    window.LoadMainSkin(folder);
    folder = b.str();
    window.LoadMainSkin(folder);
    const Dib& image = window.Image();
    EXPECT_EQ(image.GetPixel(150, 20), Tag(kOther, 150, 20));
    EXPECT_EQ(image.GetPixel(16, 88), Tag(kOther, 0, 0));
    EXPECT_EQ(image.GetPixel(164, 89), Tag(kShufRep, 29, 0));  // skin A's shuffle button
    EXPECT_EQ(image.GetPixel(0, 0), Tag(kTitleBar, 27, 0));
}

TEST(SkinLoading, ABitmapTooLargeForASlotCountsAsUnreadable) {
    TempFolder a, big, edge;
    WriteSyntheticSkin(a.path());
    WriteTagged(big.path(), "MAIN.BMP", kOther, 1025, 1024);  // one column over the bound
    WriteTagged(edge.path(), "MAIN.BMP", kOther, 1024, 1024);
    ASSERT_EQ(int64_t(1024) * 1024, kSkinBitmapMaxPixels);
    MainWindow window;
    std::string folder = a.str();
    window.LoadMainSkin(folder);
    folder = big.str();
    window.LoadMainSkin(folder);
    EXPECT_EQ(window.Image().GetPixel(150, 20), Tag(kMain, 150, 20));  // skin A's background stays
    folder = edge.str();
    window.LoadMainSkin(folder);
    EXPECT_EQ(window.Image().GetPixel(150, 20), Tag(kOther, 150, 20));

    // Read from memory, the same bound holds, before the bytes are even asked for.
    const std::vector<uint8_t> file = EncodePicture(TaggedBitmap(kOther, 1025, 1024));
    bool read = false;
    const SkinMemberFiles members({{"main.bmp", false, file.size()}}, [&](std::size_t) {
        read = true;
        return std::optional<std::span<const uint8_t>>(file);
    });
    Dib slot = TaggedBitmap(kMain, 4, 4);
    EXPECT_FALSE(members.LoadBitmap("MAIN.BMP", slot));
    EXPECT_EQ(slot.Width(), 4);
    EXPECT_TRUE(read);  // the file's size is within bounds: its header is what refuses it
}

TEST(SkinLoading, FileNamesMatchWithoutRegardToCase) {
    TempFolder skin;
    WriteTagged(skin.path(), "main.bmp", kMain, 275, 116);
    WriteTagged(skin.path(), "Balance.Bmp", kBalance, 68, 433);
    WriteTagged(skin.path(), "nums_ex.bmp", kNumsEx, 108, 13);
    WriteTagged(skin.path(), "eqMain.BMP", kEqMain, 275, 315);
    WriteTagged(skin.path(), "PlEdit.bmp", kPlEdit, 280, 186);
    WriteText(skin.path() / "pledit.txt", "[text]\nNormalBG=#010203\n");
    SkinWindows windows;
    windows.LoadDefault();
    windows.LoadSkin(skin.str());
    EXPECT_EQ(windows.Main.Image().GetPixel(150, 20), Tag(kMain, 150, 20));
    EXPECT_EQ(windows.Main.Image().GetPixel(177, 57), Tag(kBalance, 9, 120));
    EXPECT_EQ(windows.Main.Image().GetPixel(48, 26), Tag(kNumsEx, 0, 0));
    EXPECT_EQ(windows.Equalizer.Image().GetPixel(5, 110), Tag(kEqMain, 5, 110));
    EXPECT_EQ(windows.Playlist.Image().GetPixel(5, 5), Tag(kPlEdit, 5, 5));
    EXPECT_EQ(windows.Playlist.BackColor(), MakeColorRef(1, 2, 3));
}

TEST(SkinLoading, EmptyOrVanishedFolderShowsTheDefaultSkin) {
    SkinWindows fresh;
    fresh.LoadDefault();
    SkinWindows vanished;
    vanished.LoadDefault();
    vanished.LoadSkin("/nonexistent/veltrane/skin");
    EXPECT_TRUE(SameBitmap(fresh.Main.Image(), vanished.Main.Image()));
    EXPECT_TRUE(SameBitmap(fresh.Equalizer.Image(), vanished.Equalizer.Image()));
    EXPECT_TRUE(SameBitmap(fresh.Playlist.Image(), vanished.Playlist.Image()));
    EXPECT_TRUE(SameBitmap(fresh.Main.picBack, DefaultSkinArt().main));
    EXPECT_EQ(fresh.Playlist.BackColor(), 0);
}

TEST(SkinPreview, StacksTheThreeWindowsIntoTheCanvas) {
    TempFolder skin;
    WriteSyntheticSkin(skin.path());
    WriteText(skin.path() / "PLEDIT.TXT", "[Text]\nNormalBG=#405060\n");
    const Dib preview = RenderSkinPreview(skin.str());
    ASSERT_EQ(preview.Width(), 275);
    ASSERT_EQ(preview.Height(), 350);
    EXPECT_EQ(preview.GetPixel(150, 20), Tag(kMain, 150, 20));
    EXPECT_EQ(preview.GetPixel(274, 115), Tag(kMain, 274, 115));
    EXPECT_EQ(preview.GetPixel(5, 116 + 110), Tag(kEqMain, 5, 110));
    EXPECT_EQ(preview.GetPixel(0, 232), Tag(kPlEdit, 0, 0));
    EXPECT_EQ(preview.GetPixel(100, 232 + 50), MakeColorRef(0x40, 0x50, 0x60));
    EXPECT_EQ(preview.GetPixel(274, 349), Tag(kPlEdit, 275, 109));

    // Each preview starts from the built-in default: the skin before leaves no trace.
    TempFolder partial;
    WriteTagged(partial.path(), "MAIN.BMP", kOther, 275, 116);
    const Dib alone = RenderSkinPreview(partial.str());
    EXPECT_EQ(alone.GetPixel(150, 20), Tag(kOther, 150, 20));
    SkinWindows expected;
    expected.LoadDefault();
    EXPECT_EQ(alone.GetPixel(20, 95), expected.Main.Image().GetPixel(20, 95));
}

TEST(SkinPreview, ComposingPaintsOnlyWhatTheWindowsCover) {
    SkinWindows windows;
    windows.LoadDefault();
    Dib canvas(300, 400, 24);
    canvas.SetPixel(280, 10, RgbQuad{1, 2, 3, 0});
    canvas.SetPixel(10, 360, RgbQuad{1, 2, 3, 0});
    ComposePreview(windows, canvas);
    EXPECT_EQ(canvas.GetPixel(280, 10), MakeColorRef(3, 2, 1));
    EXPECT_EQ(canvas.GetPixel(10, 360), MakeColorRef(3, 2, 1));
    EXPECT_EQ(canvas.GetPixel(10, 300), windows.Playlist.Image().GetPixel(10, 68));
}
