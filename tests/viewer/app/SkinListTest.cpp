#include "app/ProgramValues.h"
#include "app/SkinList.h"

#include "TempTree.h"

#include <gtest/gtest.h>

using namespace veltrane;
using veltrane::test::TempTree;

TEST(SkinList, FoldersWithMainBmpComeFirstThenArchivesEachInNameOrder) {
    TempTree t;
    t.Write("zeta/main.bmp");
    t.Write("Alpha/MAIN.BMP");  // capitals count
    t.Write("beta/Main.Bmp");
    t.Write("deeper/inner/main.bmp");  // the skin lies one level down: not listed
    t.Write("empty/readme.txt");
    t.Write("Blue.wsz");
    t.Write("alpha.WSZ");
    t.Write("other.zip");  // only .wsz archives are listed
    t.Write("zeta.wsz");
    t.Write(".hidden/main.bmp");
    const auto list = BuildSkinList(t.Root());
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(*list, (std::vector<std::string>{"Alpha", "beta", "zeta", "alpha.WSZ", "Blue.wsz", "zeta.wsz"}));
}

TEST(SkinList, EmptyFolderGivesEmptyListAndMissingFolderGivesNothing) {
    TempTree t;
    const auto empty = BuildSkinList(t.Root());
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->empty());
    EXPECT_FALSE(BuildSkinList(t.Root() + "missing").has_value());
    EXPECT_FALSE(ListSubfolders(t.Root() + "missing").has_value());
}

TEST(SkinList, ArchiveNamesEndInWszInAnyCase) {
    EXPECT_TRUE(IsSkinArchiveName("BLUE.WSZ"));
    EXPECT_TRUE(IsSkinArchiveName("a.wSz"));
    EXPECT_FALSE(IsSkinArchiveName("blue.wsz.bak"));
    EXPECT_FALSE(IsSkinArchiveName("wsz"));
}

TEST(SkinList, NamesSortWithoutRegardToCaseThenByBytes) {
    EXPECT_TRUE(NameLess("apple", "Banana"));
    EXPECT_TRUE(NameLess("Blue", "blue"));
    EXPECT_FALSE(NameLess("blue", "Blue"));
    EXPECT_TRUE(NameLess("ab", "abc"));
}

TEST(Drives, MountTableGivesRealVolumesRootFirst) {
    const std::string table =
        "proc /proc proc rw 0 0\n"
        "/dev/sdb1 /media/my\\040stick vfat rw 0 0\n"
        "/dev/sda1 / ext4 rw 0 0\n"
        "tmpfs /dev/shm tmpfs rw 0 0\n"
        "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
        "/dev/sda2 /home ext4 rw 0 0\n";
    const auto drives = ParseMountTable(table);
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].mountPoint, "/");
    EXPECT_EQ(drives[1].mountPoint, "/home/");
    EXPECT_EQ(drives[2].mountPoint, "/media/my stick/");
    EXPECT_EQ(DriveOf(drives, "/home/anna/skins"), 1);
    EXPECT_EQ(DriveOf(drives, "/homework/"), 0);  // a prefix of the name is not the mount point
    EXPECT_EQ(DriveOf(drives, "/media/my stick"), 2);
}

TEST(ProgramValues, FoldersHangOffTheProgramFolderWithOneSlash) {
    const ProgramValues root = MakeProgramValues("/", "/tmp/");
    EXPECT_EQ(root.AppFolder, "/");
    EXPECT_EQ(root.SkinsFolder, "/Skins/");
    EXPECT_EQ(root.ImagesFolder, "/Images/");
    const ProgramValues v = MakeProgramValues("/opt/veltrane", "/tmp/");
    EXPECT_EQ(v.AppFolder, "/opt/veltrane/");
    EXPECT_EQ(v.SkinsFolder, "/opt/veltrane/Skins/");
    EXPECT_EQ(v.SkinName, "BaseSkin");
    EXPECT_EQ(v.TitleText, "Harrowby Veltrane  ***  ");
    EXPECT_EQ(ProgramFolder().back(), '/');
}

TEST(SkinList, ArchivesToOpenEndInWszOrZip) {
    EXPECT_TRUE(IsArchiveFileName("a.WSZ"));
    EXPECT_TRUE(IsArchiveFileName("a.Zip"));
    EXPECT_FALSE(IsArchiveFileName("a.zip.txt"));
    EXPECT_FALSE(IsArchiveFileName("zip"));
}
