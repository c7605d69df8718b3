// Reading the library's listing and progress messages: names holding "|" never make a size read
// smaller than it is, cut messages are not read at all, and big sizes saturate instead of wrapping.
#include "archive/PackageMessages.h"

#include <gtest/gtest.h>

using namespace veltrane;

namespace {

// The fields after the two names, as the library writes them for a member of the given size.
std::string Fixed(const std::string& size) {
    return size + "|400|90|1999-02-03|10:20:30|32|80|0|0a1b2c3d|1|2.0|2.0|0|0||";
}

}  // namespace

TEST(PackageMessages, ListingGivesNameAndSize) {
    const auto m = ParseListingMessage("/t/a.zip|skins|main.bmp|" + Fixed("4000"), "/t/a.zip");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->name, "skins/main.bmp");
    EXPECT_EQ(m->size, 4000u);
    EXPECT_EQ(ParseListingMessage("/t/a.zip||main.bmp|" + Fixed("1"), "/t/a.zip")->name, "main.bmp");
    EXPECT_EQ(ParseListingMessage("/t/a.zip|skins||" + Fixed("0"), "/t/a.zip")->name, "skins/");
    EXPECT_EQ(ParseListingMessage("/t/a.zip||x|" + Fixed("99999999999999999999999"), "/t/a.zip")->size, UINT64_MAX);
}

TEST(PackageMessages, ANameThatLooksLikeFieldsCannotUnderstateTheSize) {
    // The file name itself holds a whole set of fixed fields declaring one byte.
    const std::string text = "/t/a.zip||x|" + Fixed("1") + "y|" + Fixed("3000000000");
    const auto m = ParseListingMessage(text, "/t/a.zip");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->size, 3000000000u);
    // Fields that were cut off, another archive's listing, garbage: nothing is read.
    EXPECT_FALSE(ParseListingMessage("/t/a.zip||main.bmp|4000|400|90|1999-02-03|", "/t/a.zip"));
    EXPECT_FALSE(ParseListingMessage("/t/b.zip||main.bmp|" + Fixed("4000"), "/t/a.zip"));
    EXPECT_FALSE(ParseListingMessage("/t/a.zip||main.bmp|x4000|" + Fixed("4000").substr(5), "/t/a.zip"));
    EXPECT_FALSE(ParseListingMessage("", "/t/a.zip"));
}

TEST(PackageMessages, ProgressIsReadFromTheEndWhereNoNameReaches) {
    const auto p = ParseProgressMessage("/t/a.zip|/out/odd|name|5|7|100000|32768|33|3|1|9000|4000|");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->memberSize, 100000u);
    EXPECT_EQ(p->bytesDone, 32768u);
    EXPECT_EQ(p->memberIndex, 1u);
    EXPECT_FALSE(ParseProgressMessage("/t/a.zip|m|100000|32768|33|3|1|9000|4000"));  // no final "|"
    EXPECT_FALSE(ParseProgressMessage("|1|2|3|4|5|"));
    EXPECT_FALSE(ParseProgressMessage("a|m|big|32768|33|3|1|9000|4000|"));
}
