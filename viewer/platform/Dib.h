// Dib: a device-independent bitmap in GDI's memory layout, the pixel store behind every slot,
// window image, preview canvas and cImage. Scan lines are stored bottom-up, each padded to a
// multiple of four bytes; 1-, 4- and 8-bit pixels index a colour table of up to 256 entries,
// 24-bit pixels are blue, green, red; 32-bit pixels are blue, green, red, unused.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace veltrane {

// One colour table entry, in the byte order GDI stores it.
struct RgbQuad {
    uint8_t blue = 0;
    uint8_t green = 0;
    uint8_t red = 0;
    uint8_t reserved = 0;
    bool operator==(const RgbQuad&) const = default;
};

// A colour as GDI passes it around: red + 256 x green + 65536 x blue.
using ColorRef = int32_t;
constexpr ColorRef kInvalidColor = -1;
constexpr ColorRef MakeColorRef(uint8_t red, uint8_t green, uint8_t blue) { return red | (green << 8) | (blue << 16); }

// Bytes one scan line occupies: 4-byte aligned. Throws std::overflow_error when the size does not
// fit a signed 32-bit value (the run-time overflow of the original).
int32_t BytesPerScanLine(int32_t width, int bitCount);

class Dib {
public:
    // Largest bitmap any Dib will hold: keeps hostile sizes from allocating without limit.
    static constexpr int32_t kMaxSide = 32768;
    static constexpr int64_t kMaxPixels = int64_t(1) << 26;  // 64 Mi pixels

    Dib() = default;
    Dib(int32_t width, int32_t height, int bitCount) { Create(width, height, bitCount); }

    // Allocates a zeroed bitmap (black, or colour index 0). Bit counts 1, 4, 8, 24, 32. Paletted
    // bitmaps get the grey ramp of their depth. Returns false, leaving the Dib empty, for a bad
    // bit count, a side <= 0 or beyond the bounds above.
    bool Create(int32_t width, int32_t height, int bitCount);
    // The same with the pixel bytes, padding included, left as the memory holds them: for a
    // caller that writes every byte of every scan line next.
    bool CreateForOverwrite(int32_t width, int32_t height, int bitCount);
    void Clear();

    bool Empty() const { return m_width == 0; }
    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    int BitCount() const { return m_bitCount; }
    int32_t Stride() const { return m_stride; }

    // Pixel bytes, bottom scan line first (GDI's DIBits pointer). Copies of a Dib share their
    // pixels until one of them asks for them to write: the writing accessors (Bits, Row and the
    // setters of this Dib) first give it pixels of its own. A pointer from a writing accessor
    // is for this Dib alone; copy the Dib before taking it, not after.
    uint8_t* Bits() {
        Own();
        return m_bits.get();
    }
    const uint8_t* Bits() const { return m_bits.get(); }
    std::size_t SizeInBytes() const { return m_size; }

    // Scan line y counted from the top, as drawing code addresses it.
    uint8_t* Row(int32_t y) { return Bits() + std::size_t(m_height - 1 - y) * std::size_t(m_stride); }
    const uint8_t* Row(int32_t y) const { return m_bits.get() + std::size_t(m_height - 1 - y) * std::size_t(m_stride); }

    // Colour table: ColorCount() entries are in use (0 for 24 and 32 bits).
    int ColorCount() const { return m_colorCount; }
    const RgbQuad* Colors() const { return m_colors.data(); }
    RgbQuad* Colors() { return m_colors.data(); }
    void SetColors(const RgbQuad* colors, int count);  // count is clamped to the depth's maximum

    bool Contains(int32_t x, int32_t y) const { return x >= 0 && y >= 0 && x < m_width && y < m_height; }

    // The colour at (x, y) from the top, or kInvalidColor outside the bitmap.
    ColorRef GetPixel(int32_t x, int32_t y) const;
    RgbQuad PixelColor(int32_t x, int32_t y) const;  // precondition: Contains(x, y)
    // Paletted: the raw index; otherwise 0.
    int PixelIndex(int32_t x, int32_t y) const;
    // Writes a colour; paletted bitmaps take the nearest entry of their table.
    void SetPixel(int32_t x, int32_t y, RgbQuad color);
    void SetPixelIndex(int32_t x, int32_t y, int index);

    // Index of the table entry nearest to the colour (squared RGB distance, lowest index on ties).
    int NearestColorIndex(RgbQuad color) const;

private:
    bool Allocate(int32_t width, int32_t height, int bitCount);
    // Copies shared pixels before a write.
    void Own() {
        if (m_bits.use_count() > 1) Unshare();
    }
    void Unshare();

    int32_t m_width = 0;
    int32_t m_height = 0;
    int m_bitCount = 0;
    int32_t m_stride = 0;
    int m_colorCount = 0;
    std::array<RgbQuad, 256> m_colors{};
    // A window set is copied for every preview and most of its bitmaps are then replaced or only
    // read: sharing saves copying them.
    std::shared_ptr<uint8_t[]> m_bits;
    std::size_t m_size = 0;
};

}  // namespace veltrane
