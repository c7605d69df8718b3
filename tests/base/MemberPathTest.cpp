// The path extraction writes a member to, and veltrane-preview lays a skin archive out by.
#include "base/MemberPath.h"

#include <gtest/gtest.h>

using namespace veltrane;

namespace {

std::string PathOf(const std::string& stored, bool expectFolder) {
    bool folder = !expectFolder;
    const std::string path = SafeRelativePath(stored, folder);
    EXPECT_EQ(folder, expectFolder) << stored;
    return path;
}

}  // namespace

TEST(MemberPath, NothingLeadsOutsideTheFolderAndUnfitCharactersAreReplaced) {
    EXPECT_EQ(PathOf("Skin/Main.bmp", false), "Skin/Main.bmp");
    EXPECT_EQ(PathOf("../evil\\a*b.txt", false), "evil/a_b.txt");
    EXPECT_EQ(PathOf("/abs//./x/../y", false), "abs/x/y");  // ".." is dropped, not followed
    EXPECT_EQ(PathOf("a<b>c?d|e\"f\x01g\x7f", false), "a_b_c_d_e_f_g_");
    EXPECT_EQ(PathOf("C:/x:y", false), "C:/x_y");  // a colon before a separator stays
    EXPECT_EQ(PathOf("trailing:", false), "trailing_");
    EXPECT_EQ(PathOf("Skin\\Sub\\", true), "Skin/Sub/");
    EXPECT_EQ(PathOf("../..", true), "");  // keeps no part: a folder, the extraction folder itself
    EXPECT_EQ(PathOf("", true), "");
}
