// Test helpers for the skin windows: temporary folders, synthetic skins whose every pixel tells
// where it came from, and an independent model of what a composition must produce.
#pragma once

#include "platform/Dib.h"
#include "platform/Picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace veltrane::test {

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "veltrane-rendering-XXXXXX").string();
        if (mkdtemp(pattern.data())) m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!m_path.empty()) fs::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& path() const { return m_path; }
    std::string str() const { return m_path.string(); }

private:
    fs::path m_path;
};

// The skin files, numbered: a synthetic pixel names its file and its own coordinates.
enum SkinFile {
    kMain = 1,
    kPlayPaus,
    kCButtons,
    kTitleBar,
    kMonoSter,
    kPosBar,
    kShufRep,
    kVolume,
    kText,
    kBalance,
    kNumbers,
    kNumsEx,
    kEqMain,
    kPlEdit,
    kOther
};

struct SkinFileInfo {
    SkinFile id;
    const char* name;
    int32_t width, height;
};

inline const std::vector<SkinFileInfo>& StandardFiles() {
    static const std::vector<SkinFileInfo> files = {
        {kMain, "MAIN.BMP", 275, 116},        {kPlayPaus, "PLAYPAUS.BMP", 42, 9},  {kCButtons, "CBUTTONS.BMP", 136, 36},
        {kTitleBar, "TITLEBAR.BMP", 344, 87}, {kMonoSter, "MONOSTER.BMP", 58, 24}, {kPosBar, "POSBAR.BMP", 307, 10},
        {kShufRep, "SHUFREP.BMP", 92, 85},    {kVolume, "VOLUME.BMP", 68, 433},    {kText, "TEXT.BMP", 155, 74},
        {kBalance, "BALANCE.BMP", 68, 433},   {kNumbers, "NUMBERS.BMP", 99, 13},   {kNumsEx, "NUMS_EX.BMP", 108, 13},
        {kEqMain, "EQMAIN.BMP", 275, 315},    {kPlEdit, "PLEDIT.BMP", 280, 186},
    };
    return files;
}

// red = x mod 256, green = y mod 256, blue = file x 16 + (x / 256) x 4 + y / 256.
inline ColorRef Tag(int file, int32_t x, int32_t y) {
    return MakeColorRef(uint8_t(x & 255), uint8_t(y & 255), uint8_t(file << 4 | (x >> 8) << 2 | (y >> 8)));
}

inline Dib TaggedBitmap(int file, int32_t width, int32_t height) {
    Dib dib(width, height, 24);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const ColorRef c = Tag(file, x, y);
            dib.SetPixel(x, y, RgbQuad{uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 0});
        }
    return dib;
}

inline void WriteTagged(const fs::path& folder, const std::string& name, int file, int32_t width, int32_t height) {
    fs::create_directories(folder);
    ASSERT_TRUE(SavePicture(TaggedBitmap(file, width, height), (folder / name).string())) << name;
}

inline void WriteText(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

// A complete synthetic skin: every standard file except those listed in omit.
inline void WriteSyntheticSkin(const fs::path& folder, std::vector<SkinFile> omit = {kNumsEx}) {
    for (const SkinFileInfo& f : StandardFiles())
        if (std::find(omit.begin(), omit.end(), f.id) == omit.end())
            WriteTagged(folder, f.name, f.id, f.width, f.height);
}

// One rectangle copy of a composition: source file and corner, size, destination corner.
struct Copy {
    int file;
    int32_t sx, sy, w, h, dx, dy;
};

// Replays copies over a window of the given size and compares every covered pixel; pixels no copy
// reaches must hold uncovered (when given). Source rectangles are clipped to the source size.
inline void ExpectComposition(const Dib& image, const std::vector<Copy>& copies,
                              std::optional<ColorRef> uncovered = std::nullopt) {
    const auto sizeOf = [](int file) {
        for (const SkinFileInfo& f : StandardFiles())
            if (f.id == file) return std::pair{f.width, f.height};
        return std::pair{0, 0};
    };
    std::vector<std::optional<ColorRef>> expected(std::size_t(image.Width() * image.Height()));
    for (const Copy& c : copies) {
        const auto [sw, sh] = sizeOf(c.file);
        for (int32_t y = 0; y < c.h; ++y)
            for (int32_t x = 0; x < c.w; ++x) {
                const int32_t dx = c.dx + x, dy = c.dy + y, sx = c.sx + x, sy = c.sy + y;
                if (dx < 0 || dy < 0 || dx >= image.Width() || dy >= image.Height()) continue;
                if (sx < 0 || sy < 0 || sx >= sw || sy >= sh) continue;
                expected[std::size_t(dy * image.Width() + dx)] = Tag(c.file, sx, sy);
            }
    }
    int mismatches = 0;
    for (int32_t y = 0; y < image.Height(); ++y)
        for (int32_t x = 0; x < image.Width(); ++x) {
            const auto& want = expected[std::size_t(y * image.Width() + x)];
            if (!want && !uncovered) continue;
            const ColorRef wanted = want ? *want : *uncovered;
            if (image.GetPixel(x, y) != wanted && ++mismatches <= 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << image.GetPixel(x, y)
                              << ", expected " << wanted;
        }
    EXPECT_EQ(mismatches, 0);
}

// The cells DrawBitmapText must copy for text drawn at (x, y): one 5 x 6 cell per character.
inline void AddTextCells(std::vector<Copy>& copies, int32_t x, int32_t y,
                         const std::vector<std::pair<int32_t, int32_t>>& cells) {
    for (const auto& [cx, cy] : cells) {
        if (cx >= 0) copies.push_back({kText, cx, cy, 5, 6, x, y});
        x += 5;
    }
}

}  // namespace veltrane::test
