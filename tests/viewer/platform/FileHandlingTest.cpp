#include "platform/FileHandling.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace veltrane;
namespace fs = std::filesystem;

namespace {

// A private folder under the system's temporary folder, removed with everything in it.
class Scratch : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "veltrane-files-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern + "/";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    void Touch(const std::string& relative) {
        fs::create_directories(fs::path(root + relative).parent_path());
        std::ofstream(root + relative) << "x";
    }
    std::string root;
};

}  // namespace

TEST(FileHandling, PathPartsFollowTheTrailingSeparatorRules) {
    std::string empty, folder = "/a", slashed = "/a/";
    EXPECT_EQ(AddBackslash(empty), "/");
    EXPECT_EQ(&AddBackslash(folder), &folder);
    EXPECT_EQ(folder, "/a/");
    EXPECT_EQ(AddBackslash(slashed), "/a/");

    EXPECT_EQ(ParentFolder("/skins/blue/main.bmp"), "/skins/blue/");
    EXPECT_EQ(ParentFolder("/skins/blue/"), "/skins/");
    EXPECT_EQ(ParentFolder("/skins/blue"), "/skins/");
    EXPECT_EQ(ParentFolder("/skins"), "/");
    EXPECT_EQ(ParentFolder("/"), "/");
    EXPECT_EQ(ParentFolder("skins"), "skins/");

    EXPECT_EQ(LastPathPart("/skins/blue/"), "blue");
    EXPECT_EQ(LastPathPart("/skins/blue/main.bmp"), "main.bmp");
    EXPECT_EQ(LastPathPart("blue"), "blue");
    EXPECT_EQ(LastPathPart("/"), "");

    EXPECT_EQ(PathDepth("/skins/blue/"), 2);
    EXPECT_EQ(PathDepth("/skins/blue"), 2);
    EXPECT_EQ(PathDepth("skins"), 0);
    EXPECT_EQ(PathDepth("/"), 0);
}

TEST(FileHandling, LongFileNameRecasesOnlyMissingPaths) {
    EXPECT_EQ(LongFileName("/nonexistent/my skins/blue_sky-(old)"), "/Nonexistent/My Skins/Blue_Sky-(Old)");
    EXPECT_EQ(LongFileName("c:/MY SKINS/x"), "C:/My Skins/X");
    EXPECT_EQ(LongFileName(""), "");
    const std::string existing = fs::temp_directory_path().string();
    EXPECT_EQ(LongFileName(existing), existing);
}

TEST_F(Scratch, FileExistsOnlyForReadableFiles) {
    Touch("a.bmp");
    EXPECT_TRUE(FileExists(root + "a.bmp"));
    EXPECT_FALSE(FileExists(root + "A.BMP"));
    EXPECT_FALSE(FileExists(root));
    EXPECT_FALSE(FileExists(root + "missing"));
    EXPECT_FALSE(FileExists(""));
    EXPECT_TRUE(FolderExists(root));
    EXPECT_TRUE(FolderExists(root.substr(0, root.size() - 1)));
    EXPECT_FALSE(FolderExists(root + "a.bmp"));
    EXPECT_FALSE(FolderExists(root + "missing"));
}

TEST_F(Scratch, MakePathCreatesEveryMissingLevel) {
    EXPECT_TRUE(MakePath(root));
    EXPECT_TRUE(MakePath(root + "one/two/three"));
    EXPECT_TRUE(fs::is_directory(root + "one/two/three"));
    EXPECT_TRUE(MakePath(root + "one//two/four/"));
    EXPECT_TRUE(fs::is_directory(root + "one/two/four"));
    Touch("file");
    EXPECT_FALSE(MakePath(root + "file/below"));
}

TEST_F(Scratch, KillFileDeletesFilesButNeverFolders) {
    Touch("gone.bmp");
    fs::permissions(root + "gone.bmp", fs::perms::owner_read);
    KillFile(root + "gone.bmp");
    EXPECT_FALSE(fs::exists(root + "gone.bmp"));
    fs::create_directory(root + "folder");
    KillFile(root + "folder");
    KillFile(root + "missing");
    EXPECT_TRUE(fs::is_directory(root + "folder"));
}

TEST_F(Scratch, ListAllFilesWalksSubfoldersLastToFirstAndTopFilesLast) {
    Touch("b.bmp");
    Touch("A.txt");
    Touch(".hidden");
    Touch("alpha/main.bmp");
    Touch("alpha/deep/x.bmp");
    Touch("Beta/main.bmp");
    Touch("gamma/1.bmp");
    fs::create_directory(root + "empty");
    int pumped = 0;
    const auto files = ListAllFiles(root.substr(0, root.size() - 1), "", [&] { ++pumped; });
    const std::vector<std::string> expected = {
        root + "gamma/1.bmp",    root + "Beta/main.bmp", root + "alpha/deep/x.bmp",
        root + "alpha/main.bmp", root + ".hidden",       root + "A.txt",
        root + "b.bmp",
    };
    EXPECT_EQ(files, expected);
    EXPECT_EQ(pumped, 6);  // the top folder, alpha, deep, Beta, empty, gamma

    EXPECT_EQ(ListAllFiles(root, "*.BMP;*.txt").size(), 6u);
    EXPECT_TRUE(ListAllFiles(root + "empty").empty());
    EXPECT_TRUE(ListAllFiles(root + "missing").empty());
}

TEST_F(Scratch, ListAllFilesDoesNotFollowLinkedFoldersButListsLinkedFiles) {
    Touch("skin/main.bmp");
    fs::create_directory_symlink(root, root + "skin/loop");
    fs::create_symlink(root + "skin/main.bmp", root + "skin/text.bmp");
    fs::create_symlink(root + "skin/gone.bmp", root + "skin/dangling.bmp");
    ASSERT_EQ(mkfifo((root + "skin/pipe.bmp").c_str(), 0600), 0);
    EXPECT_EQ(ListAllFiles(root), (std::vector<std::string>{root + "skin/main.bmp", root + "skin/text.bmp"}));
}

TEST_F(Scratch, RemoveFolderStepClimbsUntilTheTemporaryFolder) {
    const std::string temp = root + "Temp/";
    fs::create_directories(root + "Temp/work/skin/inner");
    std::string path = root + "Temp/work/skin/inner/";
    EXPECT_TRUE(RemoveFolderStep(path, temp));
    EXPECT_EQ(path, root + "Temp/work/skin/");
    EXPECT_TRUE(RemoveFolderStep(path, temp));
    EXPECT_TRUE(RemoveFolderStep(path, temp));
    EXPECT_EQ(path, root + "Temp/");
    // The temporary folder itself stays, however either path is written.
    EXPECT_FALSE(RemoveFolderStep(path, temp));
    std::string upper = root + "TEMP";
    EXPECT_FALSE(RemoveFolderStep(upper, root + "temp/"));
    std::string dotted = root + "Temp/./";
    EXPECT_FALSE(RemoveFolderStep(dotted, temp));
    fs::create_directory_symlink(root + "Temp", root + "link");
    std::string real = root + "Temp";
    EXPECT_FALSE(RemoveFolderStep(real, root + "link/"));
    EXPECT_TRUE(fs::is_directory(temp));

    // A folder that still holds something stops the climb.
    fs::create_directories(root + "Temp/a/b");
    Touch("Temp/a/keep");
    path = root + "Temp/a/b";
    EXPECT_TRUE(RemoveFolderStep(path, temp));
    EXPECT_FALSE(RemoveFolderStep(path, temp));
    EXPECT_EQ(path, root + "Temp/a/");
    EXPECT_TRUE(fs::exists(root + "Temp/a/keep"));
}

TEST(FileHandling, TempFolderComesFromTheEnvironmentWhenItExists) {
    const char* saved = std::getenv("TMPDIR");
    const std::string keep = saved ? saved : "";
    setenv("TMPDIR", "/nonexistent-veltrane", 1);
    EXPECT_EQ(GetTempFolder(), "/tmp/");
    setenv("TMPDIR", "/", 1);
    EXPECT_EQ(GetTempFolder(), "/");
    if (saved) setenv("TMPDIR", keep.c_str(), 1);
    else unsetenv("TMPDIR");
}
