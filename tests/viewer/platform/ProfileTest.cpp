#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>

using namespace veltrane;

namespace {

std::string Read(const char* text, const std::string& section, const std::string& key,
                 const std::string& defaultValue = "") {
    return GetProfileStringFromText(text, section, key, defaultValue);
}

}  // namespace

TEST(Profile, SectionsAndKeysIgnoreCaseAndBlanksAroundThemAreDropped) {
    const char* text = "[text]\r\n  normalbg =  #000000  \r\nNormal=#00FF00\n";
    EXPECT_EQ(Read(text, "Text", "NormalBG"), "#000000");
    EXPECT_EQ(Read(text, "TEXT", "normal"), "#00FF00");
    EXPECT_EQ(Read("[ Text ]\nKey\t=\tv\n", "Text", "Key"), "v");
}

TEST(Profile, CommentsOtherSectionsAndMissingKeysFallBackToTheDefault) {
    const char* text = "[Other]\nNormalBG=#111111\n[Text]\n;NormalBG=#222222\nMbBG=#333333\n";
    EXPECT_EQ(Read(text, "Text", "NormalBG", "fallback "), "fallback");
    EXPECT_EQ(Read(text, "Missing", "MbBG"), "");
    EXPECT_EQ(Read("NormalBG=#1\n[Text]\n", "Text", "NormalBG"), "");  // keys before any section belong to none
}

TEST(Profile, FirstSectionAndFirstKeyWin) {
    const char* text = "[Text]\nA=1\nA=2\n[Text]\nA=3\nB=4\n";
    EXPECT_EQ(Read(text, "Text", "A"), "1");
    EXPECT_EQ(Read(text, "Text", "B"), "");
}

TEST(Profile, MatchingQuotesAreRemovedAndValuesAreCutTo2047Characters) {
    EXPECT_EQ(Read("[s]\nk=\"a b\"\n", "s", "k"), "a b");
    EXPECT_EQ(Read("[s]\nk=\"a b'\n", "s", "k"), "\"a b'");
    EXPECT_EQ(Read("[s]\nk=a=b ; not a comment\n", "s", "k"), "a=b ; not a comment");
    const std::string text = "[s]\nk=" + std::string(5000, 'x') + "\n";
    EXPECT_EQ(GetProfileStringFromText(text, "s", "k", "").size(), kProfileValueMax);
}

TEST(Profile, ReadsFilesAndGivesTheDefaultWithoutOne) {
    const std::string path = testing::TempDir() + "veltrane_profile_" + std::to_string(getpid()) + ".txt";
    std::ofstream(path) << "\xEF\xBB\xBF[Text]\nNormalBG=#8C8C78\n";
    EXPECT_EQ(GetPrivateProfileString("Text", "NormalBG", "", path), "#8C8C78");
    std::remove(path.c_str());
    EXPECT_EQ(GetPrivateProfileString("Text", "NormalBG", "none", path), "none");
}
