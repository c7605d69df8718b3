// veltrane-preview on skin archives: every layout the viewer finds a skin in, damaged archives,
// names shared by a folder and an archive, thumbnails, interruption, and the temporary folder left
// as it was found.
#include "PreviewToolFixture.h"

#include "Thumbnail.h"
#include "PreviewOutput.h"
#include "rendering/SkinPreview.h"

#include <csignal>
#include <unistd.h>

using namespace veltrane;
using veltrane::preview::ScaleToFit;
using namespace veltrane::test;
using veltrane::preview::EncodePreviewPng;

namespace {

ziptest::Member File(const std::string& name, const std::string& data) {
    ziptest::Member m;
    m.name = name;
    m.data = data;
    return m;
}

}  // namespace

TEST_F(PreviewTool, ArchivesAreRenderedFromWhereverTheirMainBitmapLies) {
    const struct {
        const char* archive;
        std::vector<ziptest::Member> members;
    } layouts[] = {
        {"Top.wsz", {File("main.bmp", MainBitmap(kRed)), File("readme.txt", "hi")}},
        {"One.wsz", {File("One/", ""), File("One/main.bmp", MainBitmap(kRed)), File("One/pledit.txt", "")}},
        // Two subfolders, both holding files: the one with main.bmp is the skin.
        {"Two.wsz", {File("a/notes.txt", "x"), File("b/c/main.bmp", MainBitmap(kRed)), File("b/c/eqmain.bmp", "")}},
        {"Caps.WSZ", {File("SKIN/MAIN.BMP", MainBitmap(kRed)), File("SKIN/PLEDIT.TXT", "")}},
        // main.bmp at the top and deeper: the top one counts.
        {"Both.wsz", {File("main.bmp", MainBitmap(kRed)), File("old/main.bmp", MainBitmap(kBlue))}},
    };
    for (const auto& layout : layouts) MakeArchive(layout.archive, layout.members);
    ASSERT_EQ(Run("-f bmp -j 2 -o " + Quoted(out) + " " + Quoted(root / "skins")), 0) << Errors();
    for (const char* name : {"Top", "One", "Two", "Caps", "Both"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(BackgroundOf(out / (std::string(name) + ".bmp")), kRedRef);
    }
    EXPECT_NE(Errors().find("5 rendered, 0 skipped, 0 failed"), std::string::npos) << Errors();
    EXPECT_TRUE(TempContents().empty());
}

TEST_F(PreviewTool, ADamagedArchiveIsNamedWithItsReasonAndTheRunGoesOn) {
    ziptest::Member crcWrong = File("main.bmp", MainBitmap(kRed));
    crcWrong.crc = 0x12345678;
    MakeArchive("Broken.wsz", {crcWrong});
    MakeArchive("Empty.wsz", {File("readme.txt", "no skin here")});
    fs::create_directories(root / "skins");
    std::ofstream(root / "skins" / "Garbage.wsz") << "this is not a ZIP archive at all";
    MakeArchive("Fine.wsz", {File("main.bmp", MainBitmap(kBlue))});

    EXPECT_EQ(Run("-f bmp -j 2 -o " + Quoted(out) + " " + Quoted(root / "skins")), 1);
    const std::string errors = Errors();
    EXPECT_NE(
        errors.find("Broken.wsz: a member of the archive cannot be unpacked: CRC-32 or authentication code mismatch"),
        std::string::npos)
        << errors;
    EXPECT_NE(errors.find("Empty.wsz: no main.bmp in the skin"), std::string::npos) << errors;
    EXPECT_NE(errors.find("Garbage.wsz: cannot unpack the archive"), std::string::npos) << errors;
    EXPECT_NE(errors.find("1 rendered, 0 skipped, 3 failed"), std::string::npos) << errors;
    EXPECT_EQ(BackgroundOf(out / "Fine.bmp"), kBlueRef);
    EXPECT_FALSE(fs::exists(out / "Broken.bmp"));
    EXPECT_FALSE(fs::exists(out / "Garbage.bmp"));
    EXPECT_TRUE(TempContents().empty());
}

// An interrupted download: the archive ends inside its last member, with no central directory. What
// lies before the cut renders, read in memory and unpacked as the viewer does.
TEST_F(PreviewTool, ATruncatedArchiveShowsTheBitmapsBeforeTheCut) {
    const fs::path archive = MakeArchive("Cut.wsz", {File("main.bmp", MainBitmap(kRed)), File("pledit.txt", "[Text]"),
                                                     File("eqmain.bmp", std::string(20000, 'e'))});
    const std::string bytes = Read(archive);
    std::ofstream(archive, std::ios::binary | std::ios::trunc) << bytes.substr(0, bytes.size() - 10000);
    for (const char* reading : {"", "--via-files "}) {
        SCOPED_TRACE(reading);
        fs::remove_all(out);
        EXPECT_EQ(Run(std::string(reading) + "-f bmp -o " + Quoted(out) + " " + Quoted(archive)), 0) << Errors();
        EXPECT_EQ(BackgroundOf(out / "Cut.bmp"), kRedRef);
    }
    EXPECT_TRUE(TempContents().empty());
}

TEST_F(PreviewTool, AFolderAndAnArchiveOfOneNameWriteOnePreviewFromTheFolder) {
    MakeSkin("Twin", kRed);
    MakeArchive("Twin.wsz", {File("main.bmp", MainBitmap(kBlue))});
    EXPECT_EQ(Run("-f bmp -o " + Quoted(out) + " " + Quoted(root / "skins")), 0) << Errors();
    EXPECT_EQ(BackgroundOf(out / "Twin.bmp"), kRedRef);
    EXPECT_NE(Errors().find("Twin.wsz: skipped"), std::string::npos) << Errors();
    EXPECT_NE(Errors().find("1 rendered, 1 skipped, 0 failed"), std::string::npos) << Errors();
    // --force replaces files from earlier runs, never one the same run wrote.
    EXPECT_EQ(Run("--force -f bmp -o " + Quoted(out) + " " + Quoted(root / "skins")), 0) << Errors();
    EXPECT_EQ(BackgroundOf(out / "Twin.bmp"), kRedRef);
}

TEST_F(PreviewTool, OutputsAreNamedAfterTheArchiveWithoutItsExtension) {
    const fs::path wsz = MakeArchive("Blue Sky.WSZ", {File("main.bmp", MainBitmap(kBlue))});
    const fs::path zip = MakeArchive("packed.zip", {File("x/Main.Bmp", MainBitmap(kBlue))});
    EXPECT_EQ(Run("-o " + Quoted(out) + " " + Quoted(wsz) + " " + Quoted(zip)), 0) << Errors();
    EXPECT_TRUE(fs::exists(out / "Blue Sky.jpg"));
    EXPECT_TRUE(fs::exists(out / "packed.jpg"));
}

TEST_F(PreviewTool, WhatWasInTheTemporaryFolderStaysUntouched) {
    const fs::path archive = MakeArchive("Blue.wsz", {File("Blue/main.bmp", MainBitmap(kBlue))});
    // Names the viewer's pipeline once derived from the skin, and one a working folder might take.
    std::ofstream(tmp / "Blue.zip") << "someone's zip";
    fs::create_directories(tmp / "Blue" / "Blue");
    std::ofstream(tmp / "Blue" / "Blue" / "main.bmp") << "someone's bitmap";
    std::ofstream(tmp / "skin.zip") << "another";
    const std::set<std::string> before = TempContents();
    EXPECT_EQ(Run("-f bmp -o " + Quoted(out) + " " + Quoted(archive)), 0) << Errors();
    EXPECT_EQ(BackgroundOf(out / "Blue.bmp"), kBlueRef);
    EXPECT_EQ(TempContents(), before);
    EXPECT_EQ(Read(tmp / "Blue.zip"), "someone's zip");
    EXPECT_EQ(Read(tmp / "Blue" / "Blue" / "main.bmp"), "someone's bitmap");
}

TEST_F(PreviewTool, AnInterruptedRunLeavesNoWorkingFolderBehind) {
    const fs::path archive = MakeArchive("Blue.wsz", {File("main.bmp", MainBitmap(kBlue))});
    const fs::path many = root / "many";
    fs::create_directories(many);
    for (int i = 0; i < 3000; ++i) fs::create_symlink(archive, many / ("skin" + std::to_string(i) + ".wsz"));
    const std::string tool = (kBin / "veltrane-preview").string();
    const std::string tmpdir = "TMPDIR=" + tmp.string();
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        freopen("/dev/null", "w", stderr);
        const char* env[] = {tmpdir.c_str(), nullptr};
        execle(tool.c_str(), tool.c_str(), "-j", "2", "-o", out.c_str(), many.c_str(), nullptr, env);
        _exit(127);
    }
    // Wait until the run is under way: some previews written.
    for (int i = 0; i < 200 && !(fs::exists(out) && !fs::is_empty(out)); ++i) usleep(20000);
    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_TRUE(TempContents().empty());
}

TEST_F(PreviewTool, ThumbnailsArePngPreviewsScaledToFitOrNothingAtAll) {
    const fs::path folder = MakeSkin("Blue", kBlue);
    const fs::path archive = MakeArchive("Blue.wsz", {File("Blue/MAIN.BMP", MainBitmap(kBlue))});
    ASSERT_EQ(Run("--thumbnail 128 " + Quoted(archive) + " " + Quoted(root / "thumb.png")), 0) << Errors();
    const std::string png = Read(root / "thumb.png");
    EXPECT_EQ(png, ziptest::toString(EncodePreviewPng(ScaleToFit(RenderSkinPreview(folder.string()), 128))));
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(png.substr(16, 8), std::string("\0\0\0\x65\0\0\0\x80", 8));  // 101 x 128
    EXPECT_TRUE(TempContents().empty());

    std::ofstream(root / "skins" / "Garbage.wsz") << "not an archive";
    for (const fs::path& input : {root / "skins" / "Garbage.wsz", root / "missing.wsz", root / "skins"}) {
        SCOPED_TRACE(input.string());
        EXPECT_EQ(Run("--thumbnail 128 " + Quoted(input) + " " + Quoted(root / "bad.png")), 1);
        EXPECT_FALSE(fs::exists(root / "bad.png"));
        EXPECT_NE(Errors().find(input.filename().string()), std::string::npos) << Errors();
    }
    EXPECT_TRUE(TempContents().empty());
}
