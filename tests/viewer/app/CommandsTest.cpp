// The selection pipeline and preview saving without a display: archives are unpacked by a test
// extractor that lays out files as an archive would, so the search for main.bmp and the clean-up
// are checked on every layout; the archive library itself is exercised by the widget tests.
#include "app/Commands.h"
#include "archive/UnZIP.h"
#include "platform/Picture.h"

#include "TempTree.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace veltrane;
using veltrane::test::TempTree;
using veltrane::test::WriteSolidBitmap;

namespace fs = std::filesystem;

namespace {

// An extractor that creates the given files (relative paths) below the extraction folder.
ArchiveExtractor Unpacks(std::vector<std::string> files) {
    return [files](const std::string&, const std::string& folder) {
        for (const std::string& f : files) {
            fs::create_directories(fs::path(folder + f).parent_path());
            std::ofstream(folder + f) << "x";
        }
    };
}

// The folder handed to load, relative to the extraction folder (the part after ".../skin/").
std::string LoadedBelowExtraction(TempTree& temp, const std::vector<std::string>& files) {
    NoEventPump pump;
    std::string loaded;
    const std::string archive = temp.Write("in/Blue.wsz");
    LoadSkinArchive(
        archive, temp.Root(), pump,
        [&](std::string& folder) {
            loaded = folder;
            EXPECT_TRUE(fs::is_directory(folder));
        },
        Unpacks(files));
    const size_t at = loaded.find("/skin/");
    return at == std::string::npos ? "?" + loaded : loaded.substr(at + 6);
}

}  // namespace

TEST(SkinArchive, SkinIsLoadedFromTheFolderThatHoldsMainBmp) {
    TempTree temp;
    EXPECT_EQ(LoadedBelowExtraction(temp, {"main.bmp", "eqmain.bmp"}), "");
    EXPECT_EQ(LoadedBelowExtraction(temp, {"Blue/MAIN.BMP", "Blue/pledit.txt"}), "Blue/");
    // Top level and subfolder: the top level wins without a search.
    EXPECT_EQ(LoadedBelowExtraction(temp, {"main.bmp", "old/main.bmp"}), "");
    // Two candidates below: the last one listed wins (subfolders are listed last to first).
    EXPECT_EQ(LoadedBelowExtraction(temp, {"a/main.bmp", "b/main.bmp"}), "a/");
    // Only a file named main.bmp counts, not one whose name merely ends like it.
    EXPECT_EQ(LoadedBelowExtraction(temp, {"x/domain.bmp"}), "");
    EXPECT_EQ(LoadedBelowExtraction(temp, {}), "");
}

TEST(SkinArchive, NothingOfTheRunIsLeftAndForeignFilesAreUntouched) {
    TempTree temp;
    // What a previous selection's fixed names would have clobbered belongs to someone else here.
    temp.Write("Blue.zip", "mine");
    temp.Write("Blue/notes.txt", "mine");
    const auto before = temp.Contents();
    for (const auto& layout : std::vector<std::vector<std::string>>{
             {"main.bmp"}, {"Blue/main.bmp", "Blue/x.bmp"}, {"a/main.bmp", "b/deep/er/c.bmp", "top.txt"}, {}}) {
        NoEventPump pump;
        LoadSkinArchive(
            temp.Write("in/Blue.wsz"), temp.Root(), pump, [](std::string&) {}, Unpacks(layout));
        auto after = temp.Contents();
        EXPECT_EQ(after, (std::set<std::string>{"Blue.zip", "Blue/", "Blue/notes.txt", "in/", "in/Blue.wsz"}));
    }
    EXPECT_EQ(before.count("Blue.zip"), 1u);
}

TEST(SkinArchive, ExtractorSeesACopyOfTheArchiveInsideTheWorkingFolder) {
    TempTree temp;
    NoEventPump pump;
    std::string copied;
    LoadSkinArchive(
        temp.Write("in/Blue.wsz", "PK"), temp.Root() + "tmp/", pump, [](std::string&) {},
        [&](const std::string& archive, const std::string& folder) {
            std::ifstream in(archive);
            std::getline(in, copied);
            EXPECT_EQ(archive.rfind(temp.Root() + "tmp/veltrane-", 0), 0u) << archive;
            EXPECT_EQ(folder.rfind(temp.Root() + "tmp/veltrane-", 0), 0u) << folder;
        });
    EXPECT_EQ(copied, "");  // no working folder can be made in a missing temporary folder
    fs::create_directories(temp.Root() + "tmp");
    LoadSkinArchive(
        temp.Write("in/Blue.wsz", "PK"), temp.Root() + "tmp/", pump, [](std::string&) {},
        [&](const std::string& archive, const std::string&) {
            std::ifstream in(archive);
            std::getline(in, copied);
        });
    EXPECT_EQ(copied, "PK");
    EXPECT_TRUE(fs::is_empty(temp.Root() + "tmp"));
}

TEST(SkinArchive, MissingLibrarySkipsTheCallsAndLoadsFromTheEmptyFolder) {
    TempTree temp;
    NoEventPump pump;
    std::string loaded = "unset";
    LoadSkinArchive(temp.Write("in/Blue.wsz", "not an archive"), temp.Root(), pump, [&](std::string& folder) {
        loaded = folder;
        EXPECT_TRUE(fs::is_empty(folder));
    });
    EXPECT_NE(loaded, "unset");
    EXPECT_EQ(temp.Contents(), (std::set<std::string>{"in/", "in/Blue.wsz"}));
}

TEST(SkinArchive, ALibraryFolderSetAfterAFailedBindIsTried) {
    TempTree temp;
    NoEventPump pump;
    const std::string archive = temp.Write("in/Blue.wsz", "not an archive");
    SetPackageLibraryFolder(temp.Root());
    LoadSkinArchive(archive, temp.Root(), pump, [](std::string&) {});
    if (PackageLibraryLoaded()) GTEST_SKIP() << "the library is on the search path";
    SetPackageLibraryFolder(std::string(VELTRANE_BIN_DIR) + "/");
    LoadSkinArchive(archive, temp.Root(), pump, [](std::string&) {});
    EXPECT_TRUE(PackageLibraryLoaded());
}

class ViewerCommandsTest : public ::testing::Test {
protected:
    ViewerCommandsTest() : values(MakeProgramValues(app.Root(), temp.Root())), commands(values, windows, pump) {
        windows.LoadDefault();
        WriteSolidBitmap(values.SkinsFolder + "Red/MAIN.BMP", 275, 116, RgbQuad{0, 0, 255, 0});
        WriteSolidBitmap(values.SkinsFolder + "Green/main.bmp", 275, 116, RgbQuad{0, 255, 0, 0});
        commands.Checks.mnuBMP_Click();
    }

    ColorRef MainPixel() const { return windows.Main.Image().GetPixel(2, 60); }

    TempTree app, temp;
    ProgramValues values;
    SkinWindows windows;
    NoEventPump pump;
    ViewerCommands commands;
};

TEST_F(ViewerCommandsTest, SelectingAFolderShowsItAndNamesThePreviewWithoutTouchingTemp) {
    ASSERT_TRUE(commands.List1_Click(values.SkinsFolder, "Red"));
    EXPECT_EQ(values.SkinName, "Red");
    EXPECT_EQ(MainPixel(), MakeColorRef(255, 0, 0));
    EXPECT_TRUE(temp.Contents().empty());
    EXPECT_FALSE(fs::exists(values.ImagesFolder));  // automatic saving is off
}

TEST_F(ViewerCommandsTest, AutomaticSavingWritesOnceAndNeverReplaces) {
    commands.Checks.mnuAuto_Click();
    values.ImagesFolder = app.Root() + "deep/er/Images/";  // made with all missing parents
    commands.List1_Click(values.SkinsFolder, "Red");
    const std::string red = values.ImagesFolder + "Red.bmp";
    Dib saved;
    ASSERT_TRUE(LoadPicture(red, saved));
    EXPECT_EQ(saved.Width(), 275);
    EXPECT_EQ(saved.Height(), 350);
    EXPECT_EQ(saved.GetPixel(2, 60), MakeColorRef(255, 0, 0));
    // A skin of the same name from elsewhere does not replace the preview.
    WriteSolidBitmap(app.Root() + "other/Red/main.bmp", 275, 116, RgbQuad{255, 0, 0, 0});
    commands.List1_Click(app.Root() + "other/", "Red");
    ASSERT_TRUE(LoadPicture(red, saved));
    EXPECT_EQ(saved.GetPixel(2, 60), MakeColorRef(255, 0, 0));
}

TEST_F(ViewerCommandsTest, PreviewBeforeAnySelectionIsTheBuiltInSkinAsBaseSkin) {
    ASSERT_TRUE(commands.Command1_Click());
    EXPECT_TRUE(fs::exists(values.ImagesFolder + "BaseSkin.bmp"));
    commands.Checks.mnuJPG_Click();
    EXPECT_EQ(commands.PreviewPath(), values.ImagesFolder + "BaseSkin.jpg");
}

TEST_F(ViewerCommandsTest, AnExistingUnreadablePreviewIsNotReplaced) {
    fs::create_directories(values.ImagesFolder);
    fs::create_symlink("nowhere", values.ImagesFolder + "BaseSkin.bmp");  // dangling: cannot be read
    commands.Command1_Click();
    EXPECT_TRUE(fs::is_symlink(values.ImagesFolder + "BaseSkin.bmp"));
    EXPECT_FALSE(fs::exists(app.Root() + "Images/nowhere"));
}

TEST_F(ViewerCommandsTest, SaveAllAnsweredNoDoesNothingAndYesSavesEveryEntry) {
    const std::vector<std::string> entries{"Green", "Red"};
    std::vector<size_t> shown;
    EXPECT_FALSE(commands.cmdAlle_Click(
        values.SkinsFolder, entries, [] { return false; }, [&](size_t i) { shown.push_back(i); }));
    EXPECT_TRUE(shown.empty());
    EXPECT_FALSE(fs::exists(values.ImagesFolder));

    commands.Checks.mnuAuto_Click();  // the run's own save then finds the file and skips
    EXPECT_TRUE(commands.cmdAlle_Click(
        values.SkinsFolder, entries, [] { return true; }, [&](size_t i) { shown.push_back(i); }));
    EXPECT_EQ(shown, (std::vector<size_t>{0, 1}));
    Dib green, red;
    ASSERT_TRUE(LoadPicture(values.ImagesFolder + "Green.bmp", green));
    ASSERT_TRUE(LoadPicture(values.ImagesFolder + "Red.bmp", red));
    EXPECT_EQ(green.GetPixel(2, 60), MakeColorRef(0, 255, 0));
    EXPECT_EQ(red.GetPixel(2, 60), MakeColorRef(255, 0, 0));
    EXPECT_EQ(values.SkinName, "Red");
}

TEST_F(ViewerCommandsTest, SelectionsAndSavesAreRefusedWhileARunIsUnderWay) {
    bool nestedSelect = true, nestedSave = true;
    commands.cmdAlle_Click(values.SkinsFolder, {"Green"},
                           [&] {
                               // What a click handled at one of the run's event points would do.
                               nestedSelect = commands.List1_Click(values.SkinsFolder, "Red");
                               nestedSave = commands.Command1_Click();
                               return true;
                           },
                           {});
    EXPECT_FALSE(nestedSelect);
    EXPECT_FALSE(nestedSave);
    EXPECT_FALSE(commands.Busy());
    EXPECT_EQ(values.SkinName, "Green");
}

TEST_F(ViewerCommandsTest, ASaveRunStopsAfterTheCurrentSkinWhenAskedTo) {
    std::vector<size_t> shown;
    commands.cmdAlle_Click(
        values.SkinsFolder, {"Green", "Red"}, [] { return true; },
        [&](size_t i) {
            shown.push_back(i);
            commands.RequestStop();  // the browser is closed while entry i is shown
        });
    EXPECT_EQ(shown, std::vector<size_t>{0});
    EXPECT_TRUE(fs::exists(values.ImagesFolder + "Green.bmp"));
    EXPECT_FALSE(fs::exists(values.ImagesFolder + "Red.bmp"));
}

TEST(PopupChecks, ExactlyOneFormatAndAutoToggles) {
    PopupChecks c;
    EXPECT_FALSE(c.Auto);
    EXPECT_TRUE(c.JPG);
    EXPECT_FALSE(c.BMP);
    c.mnuJPG_Click();
    EXPECT_TRUE(c.JPG && !c.BMP);
    c.mnuBMP_Click();
    EXPECT_TRUE(c.BMP && !c.JPG);
    c.mnuAuto_Click();
    c.mnuAuto_Click();
    EXPECT_FALSE(c.Auto);
}
