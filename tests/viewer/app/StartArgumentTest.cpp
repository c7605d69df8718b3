#include "app/StartArgument.h"

#include "TempTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace veltrane;
using veltrane::test::TempTree;

namespace {

bool Refused(const StartPlace& p) { return p.folder.empty() && p.entry.empty() && !p.warning.empty(); }

}  // namespace

TEST(StartArgument, WithoutArgumentsNothingChangesAndNothingIsSaid) {
    const StartPlace p = ResolveStartArgument({}, "/");
    EXPECT_TRUE(p.folder.empty());
    EXPECT_TRUE(p.entry.empty());
    EXPECT_TRUE(p.warning.empty());
}

TEST(StartArgument, ASkinOpensItsParentFolderWithTheSkinAsEntry) {
    TempTree t;
    t.Write("Skins/Moss/MAIN.BMP");  // any letter case, as in the skin list
    t.Write("Skins/Blue.wsz");
    t.Write("Skins/Plain.ZIP");  // not listed, but opened when named
    struct Case {
        std::string argument, folder, entry;
    };
    const std::string skins = t.Root() + "Skins/";
    for (const Case& c : {Case{skins + "Moss", skins, "Moss"}, Case{skins + "Moss/", skins, "Moss"},
                          Case{skins + "Blue.wsz", skins, "Blue.wsz"}, Case{skins + "Plain.ZIP", skins, "Plain.ZIP"},
                          Case{skins + "../Skins/./Blue.wsz", skins, "Blue.wsz"},
                          // Relative paths start from the working folder.
                          Case{"Skins/Moss", skins, "Moss"}, Case{"./Skins//Blue.wsz", skins, "Blue.wsz"}}) {
        SCOPED_TRACE(c.argument);
        const StartPlace p = ResolveStartArgument({c.argument}, t.Root());
        EXPECT_EQ(p.folder, c.folder);
        EXPECT_EQ(p.entry, c.entry);
        EXPECT_TRUE(p.warning.empty()) << p.warning;
    }
}

TEST(StartArgument, AFolderOfSkinsOpensOnItselfWithNothingSelected) {
    TempTree t;
    t.Write("Skins/Moss/main.bmp");
    t.Write("Archives/One.wsz");
    for (const std::string& folder : {t.Root() + "Skins", t.Root() + "Archives/"}) {
        const StartPlace p = ResolveStartArgument({folder}, "/");
        EXPECT_EQ(p.folder, (std::filesystem::path(folder) / "").string());
        EXPECT_TRUE(p.entry.empty());
        EXPECT_TRUE(p.warning.empty());
    }
}

TEST(StartArgument, MissingPathsAndNonSkinsAreRefusedWithAReason) {
    TempTree t;
    t.Write("notes.txt");
    t.Write("Empty/readme.txt");
    t.Write("Deep/inner/skin/main.bmp");  // skins two levels down: not a folder of skins
    for (const std::string& arg :
         {t.Root() + "missing.wsz", t.Root() + "notes.txt", t.Root() + "Empty", t.Root() + "Deep", std::string()}) {
        SCOPED_TRACE(arg);
        const StartPlace p = ResolveStartArgument({arg}, t.Root());
        EXPECT_TRUE(Refused(p));
    }
    EXPECT_NE(ResolveStartArgument({t.Root() + "missing.wsz"}, "/").warning.find("no such file"), std::string::npos);
    EXPECT_NE(ResolveStartArgument({"/dev/null"}, "/").warning.find("neither"), std::string::npos);
    // A path through a file is no folder either.
    EXPECT_TRUE(Refused(ResolveStartArgument({t.Root() + "notes.txt/x.wsz"}, "/")));
}

TEST(StartArgument, AnUnreadableFolderIsRefused) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every folder";
    TempTree t;
    t.Write("Locked/x.wsz");
    chmod((t.Root() + "Locked").c_str(), 0);
    const StartPlace p = ResolveStartArgument({t.Root() + "Locked"}, "/");
    chmod((t.Root() + "Locked").c_str(), 0755);
    EXPECT_TRUE(Refused(p));
}

TEST(StartArgument, FurtherArgumentsAreIgnoredWithAWarning) {
    TempTree t;
    t.Write("Skins/Blue.wsz");
    const StartPlace p = ResolveStartArgument({t.Root() + "Skins/Blue.wsz", t.Root() + "other"}, "/");
    EXPECT_EQ(p.folder, t.Root() + "Skins/");
    EXPECT_EQ(p.entry, "Blue.wsz");
    EXPECT_NE(p.warning.find("only one"), std::string::npos);
}

TEST(StartArgument, TheRootFolderIsNeverASkinOfAParent) {
    // "/" itself never counts as a skin folder: it has no parent to list it in.
    const StartPlace p = ResolveStartArgument({"/"}, "/");
    EXPECT_TRUE(p.entry.empty());
}
