// The selection pipeline with the real archive library: unpacking a real skin leaves everything
// that was in the temporary folder as it was, whatever its name, and saving never replaces a
// preview that is already there.
#include "app/Commands.h"
#include "archive/UnZIP.h"

#include "TempTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

using namespace veltrane;
using veltrane::test::TempTree;

namespace fs = std::filesystem;

namespace {

// Every path below root with the contents of its files (folders map to "/").
std::map<std::string, std::string> Snapshot(const TempTree& tree) {
    std::map<std::string, std::string> out;
    for (const std::string& relative : tree.Contents()) {
        if (relative.ends_with("/")) {
            out[relative] = "/";
            continue;
        }
        std::ifstream in(tree.Root() + relative, std::ios::binary);
        out[relative] = std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return out;
}

class PipelineSafety : public ::testing::Test {
protected:
    void SetUp() override {
        skin = std::string(VELTRANE_SHARED_DIR) + "/corpus/skins/base-2.91.wsz";
        if (!fs::exists(skin)) GTEST_SKIP() << "shared skins missing";
        if (!fs::exists(std::string(VELTRANE_BIN_DIR) + "/libPackage.so")) GTEST_SKIP() << "library not built";
        SetPackageLibraryFolder(std::string(VELTRANE_BIN_DIR) + "/");
    }

    // Unpacks archive through the library with temp as the temporary folder; returns whether the
    // skin's folder held its main.bmp when it was loaded.
    bool Unpack(const std::string& archive) {
        NoEventPump pump;
        bool found = false;
        LoadSkinArchive(archive, temp.Root(), pump, [&](std::string& folder) {
            found = fs::exists(folder + "MAIN.BMP") || fs::exists(folder + "main.bmp");
        });
        return found;
    }

    std::string skin;
    TempTree temp;
};

}  // namespace

TEST_F(PipelineSafety, FilesNamedLikeTheSkinAndItsMembersAreUntouched) {
    // Names a pipeline working in the temporary folder itself would write over: the skin's name as
    // a file, the archive's name, and members of the archive.
    temp.Write("base-2.91", "mine");
    temp.Write("base-2.91.zip", "mine");
    temp.Write("MAIN.BMP", "mine");
    temp.Write("PLEDIT.BMP/inside", "mine");
    fs::copy_file(skin, temp.Root() + "base-2.91.wsz");
    const auto before = Snapshot(temp);

    EXPECT_TRUE(Unpack(skin));
    EXPECT_TRUE(PackageLibraryLoaded());
    EXPECT_EQ(Snapshot(temp), before);
    // The copy inside the temporary folder itself can be selected too.
    EXPECT_TRUE(Unpack(temp.Root() + "base-2.91.wsz"));
    EXPECT_EQ(Snapshot(temp), before);
}

TEST_F(PipelineSafety, AFolderNamedLikeTheSkinIsUntouched) {
    temp.Write("base-2.91/MAIN.BMP", "mine");
    temp.Write("base-2.91/sub/readme.txt", "mine");
    const auto before = Snapshot(temp);
    EXPECT_TRUE(Unpack(skin));
    EXPECT_EQ(Snapshot(temp), before);
}

TEST(PreviewSaving, AnExistingJpegPreviewIsNeverReplaced) {
    TempTree images;
    const std::string path = images.Write("Blue.jpg", "mine");
    Dib picture(16, 16, 24);
    NoEventPump pump;
    try {
        SaveAsJPG(picture, kPreviewJpegQuality, path, pump);
    } catch (const std::exception&) {
        // Refusing loudly is fine; replacing is not.
    }
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), "mine");
}
