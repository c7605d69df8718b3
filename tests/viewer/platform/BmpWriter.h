// Test helper: writes BMP files in every header version and layout the loader must accept, so the
// tests make their own data instead of shipping files.
#pragma once

#include "platform/Dib.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace veltrane::test {

struct BmpLayout {
    uint32_t headerSize = 40;  // 12, 40, 52, 56, 108 or 124
    bool topDown = false;
    uint32_t colorsUsed = 0;   // 0: the full table of the depth
    uint32_t sizeImage = 0;    // written as is
    uint32_t compression = 0;  // 0 plain; 1 and 2 take rleData; 3 takes masks
    uint16_t bitCount = 0;     // 0: the Dib's depth
    uint32_t masks[3] = {0, 0, 0};
    std::vector<uint8_t> pixelData;  // used instead of the Dib's pixels when not empty
};

inline void Put16(std::vector<uint8_t>& v, std::size_t at, uint32_t x) {
    v[at] = uint8_t(x);
    v[at + 1] = uint8_t(x >> 8);
}
inline void Put32(std::vector<uint8_t>& v, std::size_t at, uint32_t x) {
    Put16(v, at, x);
    Put16(v, at + 2, x >> 16);
}

// The Dib's own pixels (or layout.pixelData) wrapped into a BMP file.
inline std::vector<uint8_t> WriteBmp(const Dib& dib, const BmpLayout& layout = {}) {
    const bool core = layout.headerSize == 12;
    const uint16_t bitCount = layout.bitCount ? layout.bitCount : uint16_t(dib.BitCount());
    const uint32_t tableEntries = bitCount <= 8 ? (layout.colorsUsed ? layout.colorsUsed : 1u << bitCount) : 0;
    const uint32_t entrySize = core ? 3 : 4;
    const bool masksAfterHeader = layout.compression == 3 && layout.headerSize == 40;
    const std::size_t tableOffset = 14 + layout.headerSize + (masksAfterHeader ? 12 : 0);
    const std::size_t dataOffset = tableOffset + tableEntries * entrySize;

    std::vector<uint8_t> pixels = layout.pixelData;
    if (pixels.empty()) {
        for (int32_t r = 0; r < dib.Height(); ++r) {
            const int32_t y = layout.topDown ? r : dib.Height() - 1 - r;
            pixels.insert(pixels.end(), dib.Row(y), dib.Row(y) + dib.Stride());
        }
    }
    std::vector<uint8_t> file(dataOffset + pixels.size(), 0);
    file[0] = 'B';
    file[1] = 'M';
    Put32(file, 2, uint32_t(file.size()));
    Put32(file, 10, uint32_t(dataOffset));
    Put32(file, 14, layout.headerSize);
    if (core) {
        Put16(file, 18, uint32_t(dib.Width()));
        Put16(file, 20, uint32_t(dib.Height()));
        Put16(file, 22, 1);
        Put16(file, 24, bitCount);
    } else {
        Put32(file, 18, uint32_t(dib.Width()));
        Put32(file, 22, uint32_t(layout.topDown ? -dib.Height() : dib.Height()));
        Put16(file, 26, 1);
        Put16(file, 28, bitCount);
        Put32(file, 30, layout.compression);
        Put32(file, 34, layout.sizeImage);
        Put32(file, 46, layout.colorsUsed);
        // Masks follow the info header, or sit inside the longer headers at the same place.
        if (layout.compression == 3)
            for (int i = 0; i < 3; ++i) Put32(file, 54 + 4 * std::size_t(i), layout.masks[i]);
    }
    for (uint32_t i = 0; i < tableEntries && i < 256; ++i) {
        const RgbQuad c = dib.Colors()[i];
        uint8_t* e = &file[tableOffset + i * entrySize];
        e[0] = c.blue;
        e[1] = c.green;
        e[2] = c.red;
    }
    std::memcpy(file.data() + dataOffset, pixels.data(), pixels.size());
    return file;
}

// A bitmap of the given depth filled with a pattern that tells pixels apart, and a palette of
// distinct colours for paletted depths.
inline Dib PatternDib(int32_t width, int32_t height, int bitCount) {
    Dib d(width, height, bitCount);
    if (bitCount <= 8) {
        RgbQuad table[256];
        for (int i = 0; i < 256; ++i) table[i] = RgbQuad{uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 13 + 5), 0};
        d.SetColors(table, 256);
    }
    const int colors = bitCount <= 8 ? 1 << bitCount : 0;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            if (colors) d.SetPixelIndex(x, y, (x * 3 + y * 5) % colors);
            else d.SetPixel(x, y, RgbQuad{uint8_t(x * 9), uint8_t(y * 17), uint8_t(x ^ y), 0});
        }
    return d;
}

}  // namespace veltrane::test
