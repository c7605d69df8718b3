// The wildcard matcher and the pattern lists.
#include "NameMatch.h"
#include "ZipWriter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

using tarrow::matchName;

TEST(NameMatch, BaseNameMatchingFollowsTheRestoreStructureFlag) {
    EXPECT_TRUE(matchName("*.bmp", "skin/main.bmp", false));  // "*" also matches "/"
    EXPECT_FALSE(matchName("main.bmp", "skin/main.bmp", false));
    EXPECT_TRUE(matchName("main.bmp", "skin/main.bmp", true));
    EXPECT_FALSE(matchName("other/main.bmp", "skin/main.bmp", true));  // a pattern with "/" sees the whole name
    EXPECT_TRUE(matchName("skin/*", "skin/main.bmp", true));
}

TEST(NameMatch, DosExtensionRules) {
    EXPECT_TRUE(matchName("*.*", "README", false));
    EXPECT_TRUE(matchName("*.*", "a.b.c", false));
    EXPECT_TRUE(matchName("*.", "README", false));
    EXPECT_FALSE(matchName("*.", "main.bmp", false));
    EXPECT_TRUE(matchName("READ*.", "readme", false));
}

TEST(NameMatch, WildcardsSetsAndQuoting) {
    EXPECT_TRUE(matchName("[!a-m]*", "pledit.txt", false));
    EXPECT_FALSE(matchName("[!a-m]*", "main.bmp", false));
    EXPECT_TRUE(matchName("[^a-m]*", "Zed", false));
    EXPECT_TRUE(matchName("main.bmp", "MAIN.BMP", false));
    EXPECT_TRUE(matchName("[A-C]x", "bx", false));  // ranges without regard to case
    EXPECT_TRUE(matchName("?ain.bmp", "main.bmp", false));
    EXPECT_FALSE(matchName("?main.bmp", "main.bmp", false));
    EXPECT_TRUE(matchName("a\\*b", "a*b", false));
    EXPECT_FALSE(matchName("a\\*b", "axb", false));
    EXPECT_TRUE(matchName("[\\]]", "]", false));
    EXPECT_TRUE(matchName("[a\\-z]", "-", false));
    EXPECT_FALSE(matchName("[a\\-z]", "m", false));
    EXPECT_FALSE(matchName("[abc", "a", false));  // an unterminated set matches nothing
    EXPECT_TRUE(matchName("*", "", false));
    EXPECT_FALSE(matchName("a*", "", false));
}

TEST(NameMatch, ManyStarsFailQuickly) {
    std::string name(1023, 'a');
    std::string pattern;
    for (int i = 0; i < 40; ++i) pattern += "*a";
    pattern += "b";
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(matchName(pattern, name, false));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(NameMatch, PatternsAreCutAt1023Characters) {
    std::string name(1023, 'x');
    EXPECT_TRUE(matchName(name + "IGNORED", name, false));
    std::vector<std::string> list;
    tarrow::addPatterns(list, std::string(3000, 'p'));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].size(), 1023u);
}

TEST(PatternList, SplitsAtBarsDropsEmptyPiecesAndTurnsBackslashes) {
    std::vector<std::string> list;
    tarrow::addPatterns(list, "|*.bmp||skins\\a\\*.txt|");
    EXPECT_EQ(list, (std::vector<std::string>{"*.bmp", "skins/a/*.txt"}));
}

class ListFile : public ::testing::Test {
protected:
    std::vector<std::string> read(const std::string& content) {
        std::string file =
            (std::filesystem::temp_directory_path() / ("tarrow-list-" + std::to_string(::getpid()) + ".lst")).string();
        ziptest::writeFile(file, ziptest::Bytes(content.begin(), content.end()));
        std::vector<std::string> list;
        tarrow::addListFile(list, file);
        std::remove(file.c_str());
        return list;
    }
};

TEST_F(ListFile, CommentsEmptyLinesAndBlanks) {
    EXPECT_EQ(read("; skins\r\n*.bmp\r\n\r\n*.txt ; text\r\n"), (std::vector<std::string>{"*.bmp", "*.txt "}));
    EXPECT_EQ(read("a\nb"), (std::vector<std::string>{"a", "b"}));  // no line end after the last line
}

TEST_F(ListFile, LongLinesAreCut) {
    std::vector<std::string> list = read(std::string(2047, 'a') + "TAIL\nnext\n");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], std::string(1023, 'a'));  // the line keeps 2047 characters, the pattern 1023
    EXPECT_EQ(list[1], "next");
    EXPECT_EQ(read(std::string(1500, 'b') + ";c\n").front().size(), 1023u);
}

TEST_F(ListFile, MissingFileAddsNothing) {
    std::vector<std::string> list{"kept"};
    tarrow::addListFile(list, "/nonexistent/tarrow.lst");
    EXPECT_EQ(list, std::vector<std::string>{"kept"});
}

TEST(Selection, IncludedAndNotExcluded) {
    std::vector<std::string> include{"*.bmp", "*.txt"}, exclude{"eq*"};
    EXPECT_TRUE(tarrow::isSelected(include, exclude, "skin/main.bmp", true));
    EXPECT_FALSE(tarrow::isSelected(include, exclude, "skin/eqmain.bmp", true));
    EXPECT_FALSE(tarrow::isSelected(include, exclude, "skin/readme.doc", true));
}
