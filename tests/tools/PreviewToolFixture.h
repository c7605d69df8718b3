// Runs veltrane-preview as a user does, inside a scratch folder of its own that also serves as the
// tool's temporary folder (TMPDIR), and makes small skins and skin archives with known colours.
#pragma once

#include "ZipWriter.h"

#include "platform/Dib.h"
#include "platform/Picture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <sys/wait.h>

namespace veltrane::test {

namespace fs = std::filesystem;

inline const fs::path kBin = VELTRANE_BIN_DIR;

// Two background colours, as bitmap entries and as the colours a preview shows.
inline constexpr RgbQuad kRed{0, 0, 200, 0};
inline constexpr RgbQuad kBlue{200, 0, 0, 0};
inline const ColorRef kRedRef = MakeColorRef(200, 0, 0);
inline const ColorRef kBlueRef = MakeColorRef(0, 0, 200);

// A skin's main.bmp: the main window's background in one colour.
inline std::string MainBitmap(RgbQuad colour) {
    Dib main(275, 116, 24);
    for (int32_t y = 0; y < 116; ++y)
        for (int32_t x = 0; x < 275; ++x) main.SetPixel(x, y, colour);
    return ziptest::toString(EncodePicture(main));
}

class PreviewTool : public testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kBin / "veltrane-preview")) GTEST_SKIP() << "veltrane-preview not built";
        std::string pattern = (fs::temp_directory_path() / "veltrane-preview-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        out = root / "out";
        tmp = root / "tmp";
        fs::create_directories(tmp);
    }
    void TearDown() override {
        std::error_code ec;
        if (!root.empty()) fs::remove_all(root, ec);
    }

    // Runs the tool with the arguments (already quoted where needed); returns its exit status.
    int Run(const std::string& arguments) {
        const std::string command = "TMPDIR=" + Quoted(tmp) + " " + Quoted(kBin / "veltrane-preview") + " " +
                                    arguments + " >" + Quoted(root / "stdout.txt") + " 2>" +
                                    Quoted(root / "stderr.txt");
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Read(const fs::path& file) const {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string Errors() const { return Read(root / "stderr.txt"); }
    std::string Output() const { return Read(root / "stdout.txt"); }

    fs::path MakeSkin(const std::string& name, RgbQuad colour) {
        const fs::path folder = root / "skins" / name;
        fs::create_directories(folder);
        std::ofstream(folder / "Main.bmp", std::ios::binary) << MainBitmap(colour);
        return folder;
    }
    // An archive of the given members in the skins folder.
    fs::path MakeArchive(const std::string& file, const std::vector<ziptest::Member>& members) {
        fs::create_directories(root / "skins");
        ziptest::Archive archive;
        archive.members = members;
        const fs::path path = root / "skins" / file;
        ziptest::writeFile(path.string(), ziptest::build(archive));
        return path;
    }
    // Everything below the temporary folder, relative to it.
    std::set<std::string> TempContents() const {
        std::set<std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(tmp))
            found.insert(fs::relative(entry.path(), tmp).string());
        return found;
    }
    // The colour of the main window's background in a written BMP preview, or -1.
    ColorRef BackgroundOf(const fs::path& preview) const {
        Dib written;
        if (!LoadPicture(preview.string(), written)) return -1;
        return written.GetPixel(150, 20);
    }
    static std::string Quoted(const fs::path& p) { return "'" + p.string() + "'"; }

    fs::path root, out, tmp;
};

}  // namespace veltrane::test
