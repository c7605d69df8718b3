// veltrane-preview on skin folders: exit statuses, file names, skipping and --force, and output
// identical to the core's rendering of the same skin.
#include "PreviewToolFixture.h"

#include "imaging/JpegSave.h"
#include "rendering/SkinPreview.h"

#include <unistd.h>

using namespace veltrane;
using namespace veltrane::test;

TEST_F(PreviewTool, WritesTheSamePictureTheCoreRenders) {
    const fs::path skin = MakeSkin("Red Skin", RgbQuad{0, 0, 200, 0});
    ASSERT_EQ(Run("-f bmp -o " + Quoted(out) + " " + Quoted(skin)), 0) << Errors();
    Dib written;
    ASSERT_TRUE(LoadPicture((out / "Red Skin.bmp").string(), written));
    const Dib expected = RenderSkinPreview(skin.string());
    ASSERT_EQ(written.Width(), 275);
    ASSERT_EQ(written.Height(), 350);
    for (int32_t y = 0; y < 350; ++y)
        for (int32_t x = 0; x < 275; ++x) ASSERT_EQ(written.GetPixel(x, y), expected.GetPixel(x, y)) << x << ", " << y;
    EXPECT_EQ(written.GetPixel(150, 20), MakeColorRef(200, 0, 0));
    EXPECT_NE(Errors().find("1 rendered, 0 skipped, 0 failed"), std::string::npos) << Errors();
}

TEST_F(PreviewTool, ExistingPreviewsAreSkippedUnlessForced) {
    const fs::path skin = MakeSkin("Blue", RgbQuad{200, 0, 0, 0});
    fs::create_directories(out);
    std::ofstream(out / "Blue.bmp") << "mine";
    EXPECT_EQ(Run("-f bmp -o " + Quoted(out) + " " + Quoted(skin)), 0) << Errors();
    EXPECT_EQ(Read(out / "Blue.bmp"), "mine");
    EXPECT_NE(Errors().find("0 rendered, 1 skipped, 0 failed"), std::string::npos) << Errors();
    EXPECT_EQ(Run("--force -f bmp -o " + Quoted(out) + " " + Quoted(skin)), 0) << Errors();
    EXPECT_EQ(BackgroundOf(out / "Blue.bmp"), MakeColorRef(0, 0, 200));
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);  // no temporary left
}

TEST_F(PreviewTool, WhatStandsAtThePreviewsNameIsNeverReplacedWithoutForce) {
    const fs::path skin = MakeSkin("Blue", RgbQuad{200, 0, 0, 0});
    fs::create_directories(out / "Blue.jpg");
    std::ofstream(out / "Blue.jpg" / "keep") << "mine";
    EXPECT_EQ(Run("-o " + Quoted(out) + " " + Quoted(skin)), 0) << Errors();
    // Replacing a folder fails; the folder and its file stay.
    EXPECT_EQ(Run("--force -o " + Quoted(out) + " " + Quoted(skin)), 1);
    EXPECT_NE(Errors().find("Blue"), std::string::npos);
    EXPECT_EQ(Read(out / "Blue.jpg" / "keep"), "mine");
    // A link that points nowhere is something the user put there, too.
    ASSERT_EQ(symlink("nowhere", (out / "Blue.bmp").c_str()), 0);
    EXPECT_EQ(Run("-f bmp -o " + Quoted(out) + " " + Quoted(skin)), 0) << Errors();
    EXPECT_TRUE(fs::is_symlink(out / "Blue.bmp"));
    EXPECT_FALSE(fs::exists(out / "nowhere"));
}

TEST_F(PreviewTool, WritesJpegByDefaultAsTheViewerSavesIt) {
    const fs::path skin = MakeSkin("Green", RgbQuad{0, 160, 0, 0});
    ASSERT_EQ(Run("-o " + Quoted(out) + " " + Quoted(skin)), 0) << Errors();
    const Dib preview = RenderSkinPreview(skin.string());
    EXPECT_EQ(ziptest::toString(EncodeDibAsJpeg(preview, 90)), Read(out / "Green.jpg"));
    ASSERT_EQ(Run("--force -f jpg -q 40 -o " + Quoted(out) + " " + Quoted(skin)), 0) << Errors();
    EXPECT_EQ(ziptest::toString(EncodeDibAsJpeg(preview, 40)), Read(out / "Green.jpg"));
}

TEST_F(PreviewTool, AFolderOfSkinsStandsForItsSkinList) {
    MakeSkin("one", RgbQuad{});
    MakeSkin("Two", RgbQuad{});
    fs::create_directories(root / "skins" / "not a skin");
    EXPECT_EQ(Run("-f bmp -j 2 -o " + Quoted(out) + " " + Quoted(root / "skins")), 0) << Errors();
    EXPECT_TRUE(fs::exists(out / "one.bmp"));
    EXPECT_TRUE(fs::exists(out / "Two.bmp"));
    EXPECT_FALSE(fs::exists(out / "not a skin.bmp"));
}

TEST_F(PreviewTool, FailuresAreNamedAndTheRestIsStillRendered) {
    const fs::path skin = MakeSkin("Good", RgbQuad{});
    EXPECT_EQ(Run("-f bmp -o " + Quoted(out) + " " + Quoted(root / "missing") + " " + Quoted(skin)), 1);
    EXPECT_NE(Errors().find("missing"), std::string::npos);
    EXPECT_TRUE(fs::exists(out / "Good.bmp"));
    // A skin whose main.bmp does not decode is a failure, not the default skin under its name.
    const fs::path bad = MakeSkin("Bad", RgbQuad{});
    std::ofstream(bad / "Main.bmp", std::ios::trunc) << "BM not really";
    EXPECT_EQ(Run("-j 2 -f bmp -o " + Quoted(out) + " " + Quoted(root / "skins")), 1);
    EXPECT_NE(Errors().find("Bad: main.bmp is not a readable bitmap"), std::string::npos) << Errors();
    EXPECT_NE(Errors().find("0 rendered, 1 skipped, 1 failed"), std::string::npos) << Errors();
    EXPECT_FALSE(fs::exists(out / "Bad.bmp"));
}

TEST_F(PreviewTool, UsageErrorsExitWithTwo) {
    EXPECT_EQ(Run(""), 2);
    EXPECT_EQ(Run("-f gif x"), 2);
    EXPECT_EQ(Run("-q 0 x"), 2);
    EXPECT_EQ(Run("-j many x"), 2);
    EXPECT_EQ(Run("--frobnicate x"), 2);
    EXPECT_EQ(Run("-o"), 2);
    EXPECT_EQ(Run("--thumbnail 0 a b"), 2);
    EXPECT_EQ(Run("--thumbnail 128 a"), 2);
    EXPECT_EQ(Run("x --help"), 2);
    EXPECT_NE(Errors().find("usage:"), std::string::npos);
}

TEST_F(PreviewTool, HelpAndVersionGoToStandardOutput) {
    EXPECT_EQ(Run("--help"), 0);
    EXPECT_NE(Output().find("--thumbnail SIZE INPUT OUTPUT"), std::string::npos);
    EXPECT_EQ(Run("--version"), 0);
    EXPECT_EQ(Output().rfind("veltrane-preview ", 0), 0u) << Output();
    EXPECT_EQ(Errors(), "");
}

TEST(DemoSkins, TheBuildWritesThemAndTheArchiveIsSound) {
    const fs::path skins = fs::path(VELTRANE_BIN_DIR) / "Skins";
    if (!fs::is_directory(skins)) GTEST_SKIP() << "demo skins not built";
    EXPECT_TRUE(fs::exists(skins / "Moss" / "Main.bmp"));
    EXPECT_TRUE(fs::exists(skins / "Violet Night" / "NUMS_EX.BMP"));
    EXPECT_FALSE(fs::exists(skins / "Violet Night" / "BALANCE.BMP"));
    ASSERT_TRUE(fs::exists(skins / "Glacier.wsz"));
    if (std::system("command -v 7z >/dev/null 2>&1") != 0) GTEST_SKIP() << "no 7z program";
    const std::string command = "7z t '" + (skins / "Glacier.wsz").string() + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

// Skins of one name would write one preview file: the first in the order given writes it, each
// later one is skipped with the name of the first; names differing only in case are not the same.
TEST_F(PreviewTool, OfSkinsOfOneNameTheFirstWritesThePreview) {
    MakeSkin("Blue", kBlue);
    MakeSkin("blue", kRed);
    fs::create_directories(root / "other" / "Blue");
    std::ofstream(root / "other" / "Blue" / "main.bmp", std::ios::binary) << MainBitmap(kRed);
    EXPECT_EQ(Run("-f bmp -o " + Quoted(out) + " " + Quoted(root / "skins") + " " + Quoted(root / "other") + " " +
                  Quoted(root / "skins" / "Blue")),
              0)
        << Errors();
    EXPECT_EQ(BackgroundOf(out / "Blue.bmp"), kBlueRef);
    EXPECT_EQ(BackgroundOf(out / "blue.bmp"), kRedRef);
    const std::string first = (root / "skins" / "Blue").string();
    EXPECT_NE(Errors().find((root / "other" / "Blue").string() + ": skipped, " + first + " has the same name"),
              std::string::npos)
        << Errors();
    EXPECT_NE(Errors().find(first + ": skipped, " + first + " has the same name"), std::string::npos) << Errors();
    EXPECT_NE(Errors().find("2 rendered, 2 skipped, 0 failed"), std::string::npos) << Errors();
}

TEST_F(PreviewTool, NamesReachTheTerminalEscaped) {
    // Skins that fail, one skipped for its name and a missing argument, all with names that would
    // drive a terminal or break a line if printed raw.
    const std::vector<std::string> names{"Esc\x1B[31mRed", "New\nLine",
                                         "Bad\xFF"
                                         "Byte",
                                         "Gr\xC3\xBCn"};
    for (const std::string& name : names) {
        const fs::path skin = MakeSkin(name, RgbQuad{});
        std::ofstream(skin / "Main.bmp", std::ios::trunc) << "BM not really";
    }
    fs::create_directories(root / "other" / names[0]);
    std::ofstream(root / "other" / names[0] / "main.bmp", std::ios::binary) << MainBitmap(kRed);
    EXPECT_EQ(Run("-f bmp -o " + Quoted(out) + " " + Quoted(root / "skins") + " " + Quoted(root / "other") + " " +
                  Quoted(root / "gone\x1B]0;title\x07")),
              1);
    const std::string errors = Errors();
    for (unsigned char c : errors) {
        EXPECT_TRUE(c == '\n' || (c >= 0x20 && c != 0x7F && c != 0xFF)) << "raw byte " << int(c) << " in " << errors;
    }
    EXPECT_NE(errors.find("Esc\\x1B[31mRed: main.bmp is not a readable bitmap"), std::string::npos) << errors;
    EXPECT_NE(errors.find("New\\x0ALine: main.bmp"), std::string::npos) << errors;
    EXPECT_NE(errors.find("Bad\\xFFByte: main.bmp"), std::string::npos) << errors;
    EXPECT_NE(errors.find("Gr\xC3\xBCn: main.bmp"), std::string::npos) << errors;  // valid UTF-8 as it is
    EXPECT_NE(errors.find("other/Esc\\x1B[31mRed: skipped, "), std::string::npos) << errors;
    EXPECT_NE(errors.find("gone\\x1B]0;title\\x07"), std::string::npos) << errors;
    // The preview files keep the names as they are.
    EXPECT_FALSE(fs::exists(out / (names[0] + ".bmp")));
}
