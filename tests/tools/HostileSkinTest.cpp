// Hostile skin archives through the viewer's selection pipeline (the real library, bound at run
// time) and through veltrane-preview: each costs no more than the skin budget allows, is refused or
// rendered as a real skin would be, and leaves nothing in the temporary folder. Names that differ
// only in case end as on the case-insensitive file system the skins were made on.
#include "PreviewToolFixture.h"

#include "HostileSkins.h"
#include "app/Commands.h"
#include "archive/SkinBudget.h"
#include "archive/UnZIP.h"
#include "rendering/WinAMPGraphics.h"

#include <algorithm>

using namespace veltrane;
using namespace veltrane::test;

namespace {

Dib PreviewOf(const SkinWindows& windows) {
    Dib canvas(kPreviewWidth, kPreviewHeight, 24);
    ComposePreview(windows, canvas);
    return canvas;
}

bool SamePixels(const Dib& a, const Dib& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int32_t y = 0; y < a.Height(); ++y)
        if (!std::equal(a.Row(y), a.Row(y) + std::size_t(a.Width()) * 3, b.Row(y))) return false;
    return true;
}

}  // namespace

TEST_F(PreviewTool, HostileArchivesCostTheSelectionNoMoreThanTheBudget) {
    SkinWindows defaults;
    defaults.LoadDefault();
    for (const hostile::HostileSkin& skin : hostile::MakeHostileSkins()) {
        SCOPED_TRACE(skin.file);
        const fs::path archive = root / skin.file;
        ziptest::writeFile(archive.string(), skin.bytes);
        SkinWindows windows;
        windows.LoadDefault();
        SetPackageLibraryFolder(std::string(VELTRANE_BIN_DIR) + "/");
        const hostile::SelectionCost cost = hostile::SelectLikeTheViewer(archive.string(), tmp.string() + "/", windows);
        // The copy of the archive plus what the catalogue may declare, and one block of slack.
        EXPECT_LE(cost.peakBytes, skin.bytes.size() + kSkinUnpackedLimit + 32768);
        EXPECT_LT(cost.seconds, 5.0);  // half a second on an idle machine; generous for sanitizers
        EXPECT_TRUE(TempContents().empty());
        if (skin.refused || skin.file == "HugeBitmaps.wsz") {
            // Refused, or bitmaps too large for a slot: nothing of the skin reached the windows.
            EXPECT_TRUE(SamePixels(PreviewOf(windows), PreviewOf(defaults)));
            EXPECT_EQ(cost.folderHeldFiles, !skin.refused);
        } else {
            // As with any damaged member, the viewer shows what did arrive.
            EXPECT_EQ(windows.Main.Image().GetPixel(150, 20), kRedRef);
        }
    }
}

TEST_F(PreviewTool, HostileArchivesFailWithTheirReasonAndTheRunGoesOn) {
    const auto set = hostile::MakeHostileSkins();
    for (const hostile::HostileSkin& skin : set) {
        fs::create_directories(root / "skins");
        ziptest::writeFile((root / "skins" / skin.file).string(), skin.bytes);
    }
    // Read in memory (the default) only the members the skin loader asks for are decoded; unpacked,
    // every member is, and a damaged one fails the skin.
    for (const bool viaFiles : {false, true}) {
        SCOPED_TRACE(viaFiles ? "via files" : "in memory");
        fs::remove_all(out);
        EXPECT_EQ(Run(std::string(viaFiles ? "--via-files " : "") + "-f bmp -j 1 -o " + Quoted(out) + " " +
                      Quoted(root / "skins")),
                  1);
        const std::string errors = Errors();
        std::size_t renders = 0;
        for (const hostile::HostileSkin& skin : set) {
            SCOPED_TRACE(skin.file);
            const bool rendered = skin.renders || (!viaFiles && skin.onlyUnreadMemberDamaged);
            renders += rendered;
            const std::string name = skin.file.substr(0, skin.file.size() - 4);
            EXPECT_EQ(fs::exists(out / (name + ".bmp")), rendered);
            if (rendered) {
                EXPECT_EQ(BackgroundOf(out / (name + ".bmp")), kRedRef);
                continue;
            }
            const size_t line = errors.find(skin.file + ": ");
            ASSERT_NE(line, std::string::npos) << errors;
            const std::string said = errors.substr(line, errors.find('\n', line) - line);
            EXPECT_NE(said.find(skin.reason), std::string::npos) << said;
            EXPECT_EQ(said.find("refused: ") != std::string::npos, skin.refused) << said;
        }
        EXPECT_NE(errors.find(std::to_string(renders) + " rendered, 0 skipped, " +
                              std::to_string(set.size() - renders) + " failed"),
                  std::string::npos)
            << errors;
        EXPECT_TRUE(TempContents().empty());
    }
}

TEST_F(PreviewTool, OfNamesThatDifferOnlyInCaseTheLaterMemberWins) {
    // The same file twice, and the same folder under two spellings.
    MakeArchive("RedThenBlue.wsz",
                {ziptest::stored("Main.bmp", MainBitmap(kRed)), ziptest::stored("main.BMP", MainBitmap(kBlue))});
    MakeArchive("BlueThenRed.wsz",
                {ziptest::stored("main.bmp", MainBitmap(kBlue)), ziptest::stored("MAIN.BMP", MainBitmap(kRed))});
    MakeArchive("Folders.wsz",
                {ziptest::stored("Skin/MAIN.BMP", MainBitmap(kRed)), ziptest::stored("SKIN/pledit.txt", ""),
                 ziptest::stored("skin/Main.bmp", MainBitmap(kBlue))});
    ASSERT_EQ(Run("-f bmp -j 1 -o " + Quoted(out) + " " + Quoted(root / "skins")), 0) << Errors();
    EXPECT_EQ(BackgroundOf(out / "RedThenBlue.bmp"), kBlueRef);
    EXPECT_EQ(BackgroundOf(out / "BlueThenRed.bmp"), kRedRef);
    EXPECT_EQ(BackgroundOf(out / "Folders.bmp"), kBlueRef);

    // The viewer's selection unpacks them alike, into one file of the first member's name.
    SkinWindows windows;
    std::set<std::string> unpacked;
    SetPackageLibraryFolder(std::string(VELTRANE_BIN_DIR) + "/");
    NoEventPump pump;
    LoadSkinArchive((root / "skins" / "Folders.wsz").string(), tmp.string() + "/", pump, [&](std::string& folder) {
        for (const auto& e : fs::recursive_directory_iterator(fs::path(folder).parent_path().parent_path()))
            unpacked.insert(e.path().filename().string());
        windows.LoadSkin(folder);
    });
    EXPECT_EQ(windows.Main.Image().GetPixel(150, 20), kBlueRef);
    EXPECT_EQ(unpacked, (std::set<std::string>{"Skin", "MAIN.BMP", "pledit.txt"}));
    EXPECT_TRUE(TempContents().empty());
}
