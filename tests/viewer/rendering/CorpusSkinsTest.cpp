// Every real skin of the shared corpus renders, and the preview shows the skin's own pixels where
// the compositions put them. Archives are unpacked with the 7z program for the test.
#include "platform/CaseLookup.h"
#include "rendering/SkinPreview.h"

#include "SkinFixtures.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <sstream>

using namespace veltrane;
using namespace veltrane::test;

namespace {

const fs::path kSkins = fs::path(VELTRANE_SHARED_DIR) / "corpus" / "skins";

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The folder that holds main.bmp, anywhere below root.
std::optional<fs::path> FindSkinFolder(const fs::path& root) {
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && Lower(entry.path().filename().string()) == "main.bmp")
            return entry.path().parent_path();
    return std::nullopt;
}

// The skin's NormalBG colour read without the code under test: "[Text]" section, key in any case,
// six hexadecimal digits with or without "#"; black when there is none.
ColorRef ExpectedListColour(const fs::path& folder) {
    std::ifstream file(ResolveCaseInsensitive(folder.string() + "/", "PLEDIT.TXT"));
    std::string line;
    bool inText = false;
    while (std::getline(file, line)) {
        const std::string l = Lower(line);
        if (!l.empty() && l[0] == '[') inText = l.rfind("[text]", 0) == 0;
        const std::size_t eq = l.find('=');
        if (!inText || eq == std::string::npos) continue;
        std::string key = l.substr(0, eq), value = l.substr(eq + 1);
        std::erase_if(key, [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
        std::erase_if(value, [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
        if (key != "normalbg") continue;
        if (!value.empty() && value[0] == '#') value.erase(0, 1);
        const unsigned long rgb = std::stoul(value.substr(0, 6), nullptr, 16);
        return MakeColorRef(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
    }
    return 0;
}

class SkinBitmaps {
public:
    explicit SkinBitmaps(const fs::path& folder) : m_folder(folder.string() + "/") {}
    // The first of the names that exists and loads.
    const Dib* Get(std::initializer_list<const char*> names) {
        for (const char* name : names) {
            const std::string path = ResolveCaseInsensitive(m_folder, name);
            if (!fs::is_regular_file(path)) continue;
            Dib& dib = m_loaded[name];
            if (dib.Empty() && !LoadPicture(path, dib)) continue;
            return &dib;
        }
        return nullptr;
    }

private:
    std::string m_folder;
    std::map<std::string, Dib> m_loaded;
};

// Canvas pixel (x, y) shows pixel (sx, sy) of the first existing bitmap of names.
void ExpectFrom(const Dib& canvas, int32_t x, int32_t y, SkinBitmaps& skin, std::initializer_list<const char*> names,
                int32_t sx, int32_t sy, const std::string& label) {
    const Dib* source = skin.Get(names);
    if (source == nullptr || !source->Contains(sx, sy)) return;
    EXPECT_EQ(canvas.GetPixel(x, y), source->GetPixel(sx, sy)) << label << " at " << x << ", " << y;
}

void CheckSkin(const fs::path& folder, const std::string& label) {
    const Dib canvas = RenderSkinPreview(folder.string());
    ASSERT_EQ(canvas.Width(), 275) << label;
    ASSERT_EQ(canvas.Height(), 350) << label;
    SkinBitmaps skin(folder);
    ExpectFrom(canvas, 150, 20, skin, {"MAIN.BMP"}, 150, 20, label);
    ExpectFrom(canvas, 30, 5, skin, {"TITLEBAR.BMP"}, 57, 5, label);
    ExpectFrom(canvas, 52, 32, skin, {"NUMBERS.BMP", "NUMS_EX.BMP"}, 4, 6, label);
    ExpectFrom(canvas, 109, 59, skin, {"VOLUME.BMP"}, 2, 377, label);
    ExpectFrom(canvas, 178, 59, skin, {"BALANCE.BMP", "VOLUME.BMP"}, 10, 122, label);
    ExpectFrom(canvas, 20, 92, skin, {"CBUTTONS.BMP"}, 4, 4, label);
    ExpectFrom(canvas, 100, 116 + 60, skin, {"EQMAIN.BMP"}, 17, 186, label);
    ExpectFrom(canvas, 5, 116 + 110, skin, {"EQMAIN.BMP"}, 5, 110, label);
    ExpectFrom(canvas, 5, 232 + 5, skin, {"PLEDIT.BMP"}, 5, 5, label);
    ExpectFrom(canvas, 130, 232 + 100, skin, {"PLEDIT.BMP"}, 131, 92, label);
    EXPECT_EQ(canvas.GetPixel(100, 232 + 50), ExpectedListColour(folder)) << label;
}

}  // namespace

TEST(CorpusSkins, TheSkinFolderRendersWithItsOwnPixels) {
    if (!fs::is_directory(kSkins / "base-2.91")) GTEST_SKIP() << "no shared corpus";
    CheckSkin(kSkins / "base-2.91", "base-2.91");
}

TEST(CorpusSkins, EverySkinArchiveRendersWithItsOwnPixels) {
    if (!fs::is_directory(kSkins)) GTEST_SKIP() << "no shared corpus";
    if (std::system("command -v 7z >/dev/null 2>&1") != 0) GTEST_SKIP() << "no 7z program";
    int rendered = 0;
    for (const auto& entry : fs::directory_iterator(kSkins)) {
        if (Lower(entry.path().extension().string()) != ".wsz") continue;
        const std::string label = entry.path().filename().string();
        TempFolder temp;
        ASSERT_FALSE(temp.path().empty());
        const std::string command = "7z x -y -o'" + temp.str() + "' '" + entry.path().string() + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << label;
        const auto folder = FindSkinFolder(temp.path());
        ASSERT_TRUE(folder.has_value()) << label;
        CheckSkin(*folder, label);
        ++rendered;
    }
    EXPECT_GE(rendered, 12);
}
