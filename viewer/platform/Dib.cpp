#include "platform/Dib.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace veltrane {

int32_t BytesPerScanLine(int32_t width, int bitCount) {
    int64_t bytes;
    switch (bitCount) {
    case 1: bytes = ((int64_t(width) - 1) / 8 + 4) & ~int64_t(3); break;
    case 4: bytes = ((int64_t(width) - 1) / 2 + 4) & ~int64_t(3); break;
    case 8: bytes = (int64_t(width) + 3) & ~int64_t(3); break;
    case 32: bytes = int64_t(width) * 4; break;
    default: bytes = (3 * int64_t(width) + 3) & ~int64_t(3); break;
    }
    if (bytes > std::numeric_limits<int32_t>::max() || bytes < std::numeric_limits<int32_t>::min())
        throw std::overflow_error("Overflow");
    return int32_t(bytes);
}

bool Dib::Create(int32_t width, int32_t height, int bitCount) {
    if (!Allocate(width, height, bitCount)) return false;
    std::memset(m_bits.get(), 0, m_size);
    return true;
}

bool Dib::CreateForOverwrite(int32_t width, int32_t height, int bitCount) { return Allocate(width, height, bitCount); }

bool Dib::Allocate(int32_t width, int32_t height, int bitCount) {
    Clear();
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32) return false;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
    if (int64_t(width) * height > kMaxPixels) return false;
    m_width = width;
    m_height = height;
    m_bitCount = bitCount;
    m_stride = BytesPerScanLine(width, bitCount);
    m_size = size_t(m_stride) * size_t(height);
    m_bits = std::make_shared_for_overwrite<uint8_t[]>(m_size);
    if (bitCount <= 8) {
        m_colorCount = 1 << bitCount;
        const int top = m_colorCount - 1;
        for (int i = 0; i < m_colorCount; ++i) {
            const auto level = uint8_t(i * 255 / top);
            m_colors[size_t(i)] = RgbQuad{level, level, level, 0};
        }
    }
    return true;
}

void Dib::Clear() {
    m_width = m_height = m_stride = 0;
    m_bitCount = 0;
    m_colorCount = 0;
    m_colors.fill(RgbQuad{});
    m_bits.reset();
    m_size = 0;
}

void Dib::Unshare() {
    std::shared_ptr<uint8_t[]> own = std::make_shared_for_overwrite<uint8_t[]>(m_size);
    std::memcpy(own.get(), m_bits.get(), m_size);
    m_bits = std::move(own);
}

void Dib::SetColors(const RgbQuad* colors, int count) {
    if (m_bitCount > 8) return;
    count = std::clamp(count, 0, 1 << m_bitCount);
    std::copy(colors, colors + count, m_colors.begin());
}

int Dib::PixelIndex(int32_t x, int32_t y) const {
    const uint8_t* row = Row(y);
    switch (m_bitCount) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
    case 8: return row[x];
    default: return 0;
    }
}

RgbQuad Dib::PixelColor(int32_t x, int32_t y) const {
    if (m_bitCount <= 8) return m_colors[size_t(PixelIndex(x, y))];
    const uint8_t* p = Row(y) + size_t(x) * size_t(m_bitCount / 8);
    return RgbQuad{p[0], p[1], p[2], 0};
}

ColorRef Dib::GetPixel(int32_t x, int32_t y) const {
    if (!Contains(x, y)) return kInvalidColor;
    const RgbQuad c = PixelColor(x, y);
    return MakeColorRef(c.red, c.green, c.blue);
}

void Dib::SetPixelIndex(int32_t x, int32_t y, int index) {
    uint8_t* row = Row(y);
    switch (m_bitCount) {
    case 1: {
        const uint8_t mask = uint8_t(0x80 >> (x & 7));
        row[x >> 3] = uint8_t((row[x >> 3] & ~mask) | ((index & 1) ? mask : 0));
        break;
    }
    case 4:
        if (x & 1) row[x >> 1] = uint8_t((row[x >> 1] & 0xF0) | (index & 0x0F));
        else row[x >> 1] = uint8_t((row[x >> 1] & 0x0F) | ((index & 0x0F) << 4));
        break;
    case 8: row[x] = uint8_t(index); break;
    default: break;
    }
}

void Dib::SetPixel(int32_t x, int32_t y, RgbQuad color) {
    if (!Contains(x, y)) return;
    if (m_bitCount <= 8) {
        SetPixelIndex(x, y, NearestColorIndex(color));
        return;
    }
    uint8_t* p = Row(y) + size_t(x) * size_t(m_bitCount / 8);
    p[0] = color.blue;
    p[1] = color.green;
    p[2] = color.red;
}

int Dib::NearestColorIndex(RgbQuad color) const {
    int best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (int i = 0; i < m_colorCount; ++i) {
        const RgbQuad& e = m_colors[size_t(i)];
        const int dr = int(e.red) - color.red, dg = int(e.green) - color.green, db = int(e.blue) - color.blue;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
            if (d == 0) break;
        }
    }
    return best;
}

}  // namespace veltrane
