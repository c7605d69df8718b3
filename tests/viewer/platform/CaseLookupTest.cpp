#include "platform/CaseLookup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace veltrane;
namespace fs = std::filesystem;

TEST(CaseLookup, FindsTheEntryWhateverItsCaseAndPrefersTheExactOne) {
    const fs::path dir = fs::path(testing::TempDir()) / ("veltrane_case_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "Main.bmp") << "x";
    const std::string folder = dir.string() + "/";
    EXPECT_EQ(ResolveCaseInsensitive(folder, "MAIN.BMP"), folder + "Main.bmp");
    EXPECT_EQ(ResolveCaseInsensitive(folder, "main.bmp"), folder + "Main.bmp");
    std::ofstream(dir / "main.bmp") << "y";
    EXPECT_EQ(ResolveCaseInsensitive(folder, "main.bmp"), folder + "main.bmp");
    EXPECT_EQ(ResolveCaseInsensitive(folder, "PLEDIT.TXT"), folder + "PLEDIT.TXT");  // missing: as asked
    EXPECT_EQ(ResolveCaseInsensitive("/nonexistent/", "a.bmp"), "/nonexistent/a.bmp");
    fs::remove_all(dir);
}

TEST(CaseLookup, OneListingAnswersLikeSingleLookups) {
    const fs::path dir = fs::path(testing::TempDir()) / ("veltrane_case_listing_" + std::to_string(getpid()));
    fs::create_directories(dir);
    for (const char* name : {"main.BMP", "Main.bmp", "pledit.txt", "Sub"}) std::ofstream(dir / name) << "x";
    const std::string folder = dir.string() + "/";
    const CaseInsensitiveFolder listing(folder);
    for (const char* name : {"MAIN.BMP", "main.bmp", "main.BMP", "PLEDIT.TXT", "sub", "missing.bmp", ""})
        EXPECT_EQ(listing.Resolve(name), ResolveCaseInsensitive(folder, name)) << name;
    EXPECT_EQ(listing.Resolve("MAIN.BMP"), folder + "Main.bmp");  // of several spellings the smallest
    // A folder that cannot be listed answers every name as asked.
    EXPECT_EQ(CaseInsensitiveFolder("/nonexistent/").Resolve("MAIN.BMP"), "/nonexistent/MAIN.BMP");
    fs::remove_all(dir);
}

TEST(CaseLookup, PathsWrittenThroughOneResolverMeetAsOnACaseInsensitiveSystem) {
    const fs::path dir = fs::path(testing::TempDir()) / ("veltrane_case_paths_" + std::to_string(getpid()));
    fs::create_directories(dir / "Old");
    std::ofstream(dir / "Old" / "Main.bmp") << "x";
    std::ofstream(dir / "Old" / "main.bmp") << "y";
    const std::string root = dir.string();
    CaseInsensitivePaths paths;
    // What exists wins, the exact spelling first, else the smallest of several.
    EXPECT_EQ(paths.Resolve(root + "/OLD/main.bmp"), root + "/Old/main.bmp");
    EXPECT_EQ(paths.Resolve(root + "/old/MAIN.BMP"), root + "/Old/Main.bmp");
    // A new name counts as there once resolved, before anything is made of it.
    EXPECT_EQ(paths.Resolve(root + "/Skin/"), root + "/Skin/");
    EXPECT_EQ(paths.Resolve(root + "/SKIN/Pledit.txt"), root + "/Skin/Pledit.txt");
    fs::create_directories(dir / "Skin");
    std::ofstream(dir / "Skin" / "Pledit.txt") << "z";
    EXPECT_EQ(paths.Resolve(root + "/skin/PLEDIT.TXT"), root + "/Skin/Pledit.txt");
    EXPECT_EQ(paths.Resolve(root + "/skin//x/"), root + "/Skin//x/");
    // Another resolver knows only what is on disk.
    EXPECT_EQ(CaseInsensitivePaths().Resolve(root + "/SKIN/new.bmp"), root + "/Skin/new.bmp");
    EXPECT_EQ(CaseInsensitivePaths().Resolve("relative/a"), "relative/a");
    fs::remove_all(dir);
}
