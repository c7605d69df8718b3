// Every bitmap of the real skins in the shared corpus loads at the size its manifest records. The
// archives are unpacked with the 7z program into a private temporary folder.
#include "platform/Picture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

using namespace veltrane;
namespace fs = std::filesystem;

namespace {

const fs::path kSkins = fs::path(VELTRANE_SHARED_DIR) / "corpus" / "skins";

struct Expected {
    int width, height, bitCount;
};

// The value after `"key":` at pos: a string's text or a number's digits.
std::string ValueAt(const std::string& json, std::size_t pos) {
    pos = json.find_first_not_of(" \t\r\n:", pos);
    if (pos == std::string::npos) return {};
    if (json[pos] == '"') return json.substr(pos + 1, json.find('"', pos + 1) - pos - 1);
    return json.substr(pos, json.find_first_not_of("0123456789", pos) - pos);
}

// The manifest lists skins ("file") and their members ("name"); a member that is a bitmap has a
// "bmp" object with "w", "h" and "bpp". A scan of those keys in document order is enough for it.
std::map<std::string, std::map<std::string, Expected>> ReadManifest() {
    std::ifstream in(kSkins / "MANIFEST.json");
    std::stringstream text;
    text << in.rdbuf();
    const std::string json = text.str();
    std::map<std::string, std::map<std::string, Expected>> result;
    std::string skin, member;
    Expected bmp{};
    for (std::size_t pos = json.find('"'); pos != std::string::npos; pos = json.find('"', pos + 1)) {
        const std::size_t close = json.find('"', pos + 1);
        if (close == std::string::npos) break;
        const std::string key = json.substr(pos + 1, close - pos - 1);
        if (json.compare(close + 1, 1, ":") != 0) {  // a string value, not a key
            pos = close;
            continue;
        }
        const std::string value = ValueAt(json, close + 1);
        if (key == "file") skin = value;
        else if (key == "name") member = value;
        else if (key == "w") bmp.width = std::stoi(value);
        else if (key == "h") bmp.height = std::stoi(value);
        else if (key == "bpp") result[skin][member] = Expected{bmp.width, bmp.height, std::stoi(value)};
        pos = close;
    }
    return result;
}

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "veltrane-corpus-XXXXXX").string();
        if (mkdtemp(pattern.data())) m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!m_path.empty()) fs::remove_all(m_path, ec);
    }
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

void ExpectLoads(const fs::path& file, const Expected& expected, const std::string& label) {
    Dib dib;
    ASSERT_TRUE(LoadPicture(file.string(), dib)) << label;
    EXPECT_EQ(dib.Width(), expected.width) << label;
    EXPECT_EQ(dib.Height(), expected.height) << label;
    EXPECT_EQ(dib.BitCount(), expected.bitCount == 16 ? 24 : expected.bitCount) << label;
}

}  // namespace

TEST(PictureCorpus, EveryBitmapOfTheSkinFolderLoads) {
    if (!fs::exists(kSkins / "MANIFEST.json")) GTEST_SKIP() << "no shared corpus";
    const auto manifest = ReadManifest();
    const auto folder = manifest.find("base-2.91/");
    ASSERT_NE(folder, manifest.end());
    ASSERT_GT(folder->second.size(), 10u);
    for (const auto& [name, expected] : folder->second) ExpectLoads(kSkins / "base-2.91" / name, expected, name);
}

TEST(PictureCorpus, EveryBitmapOfEverySkinArchiveLoads) {
    if (!fs::exists(kSkins / "MANIFEST.json")) GTEST_SKIP() << "no shared corpus";
    if (std::system("command -v 7z >/dev/null 2>&1") != 0) GTEST_SKIP() << "no 7z program";
    int checked = 0;
    for (const auto& [skin, members] : ReadManifest()) {
        if (!skin.ends_with(".wsz")) continue;
        TempFolder temp;
        ASSERT_FALSE(temp.path().empty());
        const std::string command =
            "7z x -y -o'" + temp.path().string() + "' '" + (kSkins / skin).string() + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << skin;
        for (const auto& [name, expected] : members) {
            ExpectLoads(temp.path() / name, expected, skin + ": " + name);
            ++checked;
        }
    }
    EXPECT_GT(checked, 100);
}

// The run-length bitmap of the balance slider moves with delta escapes over the transparent
// background; the indices are compared with a decode checked by eye.
TEST(PictureCorpus, DeltaEscapesOfTheBalanceBitmapDecodeExactly) {
    const fs::path file = kSkins / "base-2.91" / "BALANCE.BMP";
    if (!fs::exists(file)) GTEST_SKIP() << "no shared corpus";
    Dib dib;
    ASSERT_TRUE(LoadPicture(file.string(), dib));
    uint32_t hash = 2166136261u;  // FNV-1a over the indices, top line first
    for (int32_t y = 0; y < dib.Height(); ++y)
        for (int32_t x = 0; x < dib.Width(); ++x) hash = (hash ^ uint32_t(dib.PixelIndex(x, y))) * 16777619u;
    EXPECT_EQ(hash, 0x88ce470eu);
    EXPECT_EQ(dib.PixelIndex(0, 432), 44);
    EXPECT_EQ(dib.PixelIndex(20, 5), 86);
}
