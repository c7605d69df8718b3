// veltrane-demo-skins SKINS_FOLDER: writes the demo skins the build ships for trying the viewer:
// colour themes of the built-in artwork, one with mixed-case file names, one with NUMS_EX.BMP and
// no BALANCE.BMP, and one packed as a .wsz archive.
#include "StoredZip.h"

#include "platform/Picture.h"
#include "rendering/DefaultSkin.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace veltrane;

namespace {

constexpr RgbQuad Rgb(uint8_t r, uint8_t g, uint8_t b) { return RgbQuad{b, g, r, 0}; }

struct DemoSkin {
    const char* name;
    SkinTheme theme;
    enum { Folder, MixedCase, NumsEx, Archive } layout;
};

const DemoSkin kSkins[] = {
    {"Ember",
     {Rgb(72, 48, 44), Rgb(156, 112, 98), Rgb(26, 16, 14), Rgb(18, 8, 6), Rgb(255, 178, 82), Rgb(66, 34, 20),
      Rgb(255, 214, 90), Rgb(255, 90, 40), Rgb(152, 54, 36), Rgb(216, 182, 162)},
     DemoSkin::Folder},
    {"Moss",
     {Rgb(52, 66, 50), Rgb(120, 142, 112), Rgb(16, 22, 16), Rgb(10, 18, 10), Rgb(172, 240, 112), Rgb(34, 56, 30),
      Rgb(250, 220, 90), Rgb(240, 120, 60), Rgb(66, 106, 62), Rgb(178, 198, 170)},
     DemoSkin::MixedCase},
    {"Violet Night",
     {Rgb(60, 50, 84), Rgb(132, 118, 170), Rgb(20, 16, 30), Rgb(14, 8, 22), Rgb(236, 152, 255), Rgb(54, 30, 70),
      Rgb(120, 220, 255), Rgb(255, 120, 200), Rgb(98, 62, 152), Rgb(192, 178, 222)},
     DemoSkin::NumsEx},
    {"Glacier",
     {Rgb(150, 168, 190), Rgb(222, 232, 244), Rgb(58, 70, 90), Rgb(20, 32, 50), Rgb(150, 222, 255), Rgb(40, 62, 88),
      Rgb(255, 196, 60), Rgb(236, 70, 90), Rgb(54, 112, 176), Rgb(36, 46, 66)},
     DemoSkin::Archive},
};

// File names as skins carry them; the mixed-case skin spells them the way hand-made skins often do.
struct SkinFiles {
    const char *main, *playPause, *buttons, *titleBar, *monoStereo, *positionBar, *shuffleRepeat, *volume, *text,
        *balance, *numbers, *equalizer, *playlist, *playlistText;
};
constexpr SkinFiles kUpperNames = {"MAIN.BMP",    "PLAYPAUS.BMP", "CBUTTONS.BMP", "TITLEBAR.BMP", "MONOSTER.BMP",
                                   "POSBAR.BMP",  "SHUFREP.BMP",  "VOLUME.BMP",   "TEXT.BMP",     "BALANCE.BMP",
                                   "NUMBERS.BMP", "EQMAIN.BMP",   "PLEDIT.BMP",   "PLEDIT.TXT"};
constexpr SkinFiles kMixedNames = {"Main.bmp",    "PlayPaus.bmp", "cbuttons.BMP", "TitleBar.Bmp", "monoster.bmp",
                                   "PosBar.BMP",  "ShufRep.bmp",  "Volume.BMP",   "text.bmp",     "Balance.bmp",
                                   "Numbers.Bmp", "EqMain.bmp",   "PlEdit.bmp",   "pledit.TXT"};

std::string PleditText(const SkinArt& art, bool lowerCase) {
    std::string colour = art.playlistBackground;
    if (lowerCase)
        for (char& ch : colour) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    return "[Text]\r\nNormal=#00FF00\r\nCurrent=#FFFFFF\r\nNormalBG=" + colour +
           "\r\nSelectedBG=#0000FF\r\nFont=Arial\r\n";
}

bool WriteText(const fs::path& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    return bool(file);
}

// Writes the skin's files into folder; the returned list names what was written.
bool WriteSkin(const DemoSkin& skin, const fs::path& folder, std::vector<std::string>& written) {
    const SkinArt art = PaintSkin(skin.theme);
    const SkinFiles& n = skin.layout == DemoSkin::MixedCase ? kMixedNames : kUpperNames;
    std::vector<std::pair<const char*, const Dib*>> files = {{n.main, &art.main},
                                                             {n.playPause, &art.playPause},
                                                             {n.buttons, &art.buttons},
                                                             {n.titleBar, &art.titleBar},
                                                             {n.monoStereo, &art.monoStereo},
                                                             {n.positionBar, &art.positionBar},
                                                             {n.shuffleRepeat, &art.shuffleRepeat},
                                                             {n.volume, &art.volume},
                                                             {n.text, &art.text},
                                                             {n.equalizer, &art.equalizer},
                                                             {n.playlist, &art.playlist}};
    if (skin.layout == DemoSkin::NumsEx) {
        files.emplace_back("NUMS_EX.BMP", &art.numbers);
    } else {
        files.emplace_back(n.balance, &art.balance);
        files.emplace_back(n.numbers, &art.numbers);
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    for (const auto& [name, bitmap] : files) {
        if (!SavePicture(*bitmap, (folder / name).string())) return false;
        written.push_back(name);
    }
    if (!WriteText(folder / n.playlistText, PleditText(art, skin.layout == DemoSkin::MixedCase))) return false;
    written.push_back(n.playlistText);
    return true;
}

std::vector<uint8_t> ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

// Builds the archive from a staging folder that is removed afterwards.
bool WriteArchive(const DemoSkin& skin, const fs::path& skinsFolder) {
    const fs::path staging = skinsFolder / (std::string(".staging-") + skin.name);
    std::vector<std::string> written;
    bool ok = WriteSkin(skin, staging, written);
    demo::StoredZip zip;
    for (const std::string& name : written) zip.Add(name, ReadFile(staging / name));
    ok = ok && zip.Write((skinsFolder / (std::string(skin.name) + ".wsz")).string());
    std::error_code ec;
    fs::remove_all(staging, ec);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: veltrane-demo-skins SKINS_FOLDER\n");
        return 2;
    }
    const fs::path skinsFolder = argv[1];
    std::error_code ec;
    fs::create_directories(skinsFolder, ec);
    for (const DemoSkin& skin : kSkins) {
        std::vector<std::string> written;
        const bool ok = skin.layout == DemoSkin::Archive ? WriteArchive(skin, skinsFolder)
                                                         : WriteSkin(skin, skinsFolder / skin.name, written);
        if (!ok) {
            std::fprintf(stderr, "veltrane-demo-skins: cannot write the skin %s into %s\n", skin.name,
                         skinsFolder.c_str());
            return 1;
        }
    }
    return 0;
}
