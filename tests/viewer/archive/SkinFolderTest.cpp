// The one rule for where a skin lies inside an unpacked archive, over listings in listing order.
#include "archive/SkinFolder.h"

#include <gtest/gtest.h>

using namespace veltrane;

TEST(SkinFolder, TheLastMainBitmapListedWins) {
    // The top folder's own files come last, so its main.bmp wins over any in a subfolder.
    EXPECT_EQ(SkinFolderOf({"b/main.bmp", "a/main.bmp", "MAIN.BMP", "pledit.txt"}), "");
    // Without one at the top: subfolders are listed last to first, so the first in name order wins.
    EXPECT_EQ(SkinFolderOf({"b/main.bmp", "a/x/Main.Bmp", "a/readme.txt"}), "a/x/");
    EXPECT_EQ(SkinFolderOf({"/tmp/w/e/Skin/main.bmp", "/tmp/w/e/notes.txt"}), "/tmp/w/e/Skin/");
}

TEST(SkinFolder, OnlyAFileNamedMainBmpCounts) {
    EXPECT_FALSE(SkinFolderOf({}));
    EXPECT_FALSE(SkinFolderOf({"main.bmp.txt", "xmain.bmp", "main.bmp/readme", "mainbmp"}));
    EXPECT_TRUE(IsMainBitmap("Skin/MAIN.bmp"));
    EXPECT_FALSE(IsMainBitmap("Skin/main.bm"));
    EXPECT_FALSE(IsMainBitmap("main.bmp/"));
}
