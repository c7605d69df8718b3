#include "app/ProgramValues.h"

#include "TempTree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace veltrane;

TEST(ProgramValues, BuildFolderKeepsSkinsAndImagesBesideTheProgram) {
    test::TempTree tree;
    tree.Write("bin/Skins/Moss/main.bmp");
    ProgramValues v = MakeProgramValues(tree.Root() + "bin", "/tmp/");
    AdaptToInstallation(v, tree.Root() + "data/");
    EXPECT_EQ(v.SkinsFolder, tree.Root() + "bin/Skins/");
    EXPECT_EQ(v.ImagesFolder, tree.Root() + "bin/Images/");
}

TEST(ProgramValues, InstalledCopyReadsSharedSkinsAndWritesPreviewsIntoTheUsersDataFolder) {
    test::TempTree tree;
    tree.Write("usr/bin/veltrane");
    tree.Write("usr/share/veltrane/Skins/Moss/main.bmp");
    ProgramValues v = MakeProgramValues(tree.Root() + "usr/bin/", "/tmp/");
    AdaptToInstallation(v, tree.Root() + "home/.local/share/");
    EXPECT_EQ(v.SkinsFolder, tree.Root() + "usr/share/veltrane/Skins/");
    EXPECT_EQ(v.ImagesFolder, tree.Root() + "home/.local/share/veltrane/Images/");
}

TEST(ProgramValues, UnwritableProgramFolderSendsPreviewsToTheUsersDataFolder) {
    if (geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
    test::TempTree tree;
    tree.Write("bin/Skins/Moss/main.bmp");
    chmod((tree.Root() + "bin").c_str(), 0555);
    ProgramValues v = MakeProgramValues(tree.Root() + "bin/", "/tmp/");
    AdaptToInstallation(v, "/data/");
    chmod((tree.Root() + "bin").c_str(), 0755);
    EXPECT_EQ(v.SkinsFolder, tree.Root() + "bin/Skins/");
    EXPECT_EQ(v.ImagesFolder, "/data/veltrane/Images/");
}

TEST(ProgramValues, UserDataHomeFollowsTheBaseDirectoryRules) {
    const char* savedXdg = std::getenv("XDG_DATA_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string xdg = savedXdg ? savedXdg : "", home = savedHome ? savedHome : "";
    setenv("HOME", "/home/anna", 1);
    setenv("XDG_DATA_HOME", "/srv/data", 1);
    EXPECT_EQ(UserDataHome(), "/srv/data/");
    setenv("XDG_DATA_HOME", "relative/data", 1);  // ignored: not absolute
    EXPECT_EQ(UserDataHome(), "/home/anna/.local/share/");
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(UserDataHome(), "/home/anna/.local/share/");
    savedXdg ? setenv("XDG_DATA_HOME", xdg.c_str(), 1) : unsetenv("XDG_DATA_HOME");
    savedHome ? setenv("HOME", home.c_str(), 1) : unsetenv("HOME");
}
