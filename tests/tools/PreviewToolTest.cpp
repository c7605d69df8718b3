// veltrane-preview as a user runs it: exit statuses, file names, skipping and --force, and output
// identical to the core's rendering of the same skin.
#include "imaging/JpegSave.h"
#include "platform/Picture.h"
#include "rendering/SkinPreview.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

namespace fs = std::filesystem;
using namespace veltrane;

namespace {

const fs::path kBin = VELTRANE_BIN_DIR;

class PreviewTool : public testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kBin / "veltrane-preview")) GTEST_SKIP() << "veltrane-preview not built";
        std::string pattern = (fs::temp_directory_path() / "veltrane-preview-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        out = root / "out";
    }
    void TearDown() override {
        std::error_code ec;
        if (!root.empty()) fs::remove_all(root, ec);
    }

    // Runs the tool with the arguments (already quoted where needed); returns its exit status.
    int Run(const std::string& arguments) {
        const std::string command = "'" + (kBin / "veltrane-preview").string() + "' " + arguments + " 2>'" +
                                    (root / "stderr.txt").string() + "'";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Errors() const {
        std::ifstream file(root / "stderr.txt");
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    // A small skin folder of our own: a background in one colour.
    fs::path MakeSkin(const std::string& name, RgbQuad colour) {
        const fs::path folder = root / "skins" / name;
        fs::create_directories(folder);
        Dib main(275, 116, 24);
        for (int32_t y = 0; y < 116; ++y)
            for (int32_t x = 0; x < 275; ++x) main.SetPixel(x, y, colour);
        EXPECT_TRUE(SavePicture(main, (folder / "Main.bmp").string()));
        return folder;
    }
    std::string Quoted(const fs::path& p) const { return "'" + p.string() + "'"; }

    fs::path root, out;
};

}  // namespace

TEST_F(PreviewTool, WritesTheSamePictureTheCoreRenders) {
    const fs::path skin = MakeSkin("Red Skin", RgbQuad{0, 0, 200, 0});
    ASSERT_EQ(Run("-f bmp -o " + Quoted(out) + " " + Quoted(skin)), 0) << Errors();
    Dib written;
    ASSERT_TRUE(LoadPicture((out / "Red Skin.bmp").string(), written));
    const Dib expected = RenderSkinPreview(skin.string());
    ASSERT_EQ(written.Width(), 275);
    ASSERT_EQ(written.Height(), 350);
    for (int32_t y = 0; y < 350; ++y)
        for (int32_t x = 0; x < 275; ++x)
            ASSERT_EQ(written.GetPixel(x, y), expected.GetPixel(x, y)) << x << ", " << y;
    EXPECT_EQ(written.GetPixel(150, 20), MakeColorRef(200, 0, 0));
}

TEST_F(PreviewTool, ExistingPreviewsAreSkippedUnlessForced) {
    const fs::path skin = MakeSkin("Blue", RgbQuad{200, 0, 0, 0});
    fs::create_directories(out);
    std::ofstream(out / "Blue.bmp") << "mine";
    EXPECT_EQ(Run("-f bmp -o " + Quoted(out) + " " + Quoted(skin)), 0) << Errors();
    EXPECT_EQ(fs::file_size(out / "Blue.bmp"), 4u);
    EXPECT_EQ(Run("--force -f bmp -o " + Quoted(out) + " " + Quoted(skin)), 0) << Errors();
    EXPECT_GT(fs::file_size(out / "Blue.bmp"), 275u * 350u * 3u);
}

TEST_F(PreviewTool, WritesJpegAsTheViewerSavesIt) {
    const fs::path skin = MakeSkin("Green", RgbQuad{0, 160, 0, 0});
    ASSERT_EQ(Run("-f jpg -o " + Quoted(out) + " " + Quoted(skin)), 0) << Errors();
    const auto read = [&] {
        std::ifstream file(out / "Green.jpg", std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
    };
    const Dib preview = RenderSkinPreview(skin.string());
    EXPECT_EQ(read(), EncodeDibAsJpeg(preview, 90));
    ASSERT_EQ(Run("--force -f jpg -q 40 -o " + Quoted(out) + " " + Quoted(skin)), 0) << Errors();
    EXPECT_EQ(read(), EncodeDibAsJpeg(preview, 40));
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
}

TEST_F(PreviewTool, UsageErrorsExitWithTwo) {
    EXPECT_EQ(Run(""), 2);
    EXPECT_EQ(Run("-f gif x"), 2);
    EXPECT_EQ(Run("-q 0 x"), 2);
    EXPECT_EQ(Run("-j many x"), 2);
    EXPECT_EQ(Run("--frobnicate x"), 2);
    EXPECT_EQ(Run("-o"), 2);
    EXPECT_NE(Errors().find("usage:"), std::string::npos);
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
