#include "imaging/cImage.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace veltrane {

namespace {

bool SupportedDepth(int bitCount) { return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24; }

// The depth that holds a colour table of n entries; 24 bits without a table.
int16_t DepthForColours(int n) {
    if (n == 0) return 24;
    if (n <= 2) return 1;
    if (n <= 16) return 4;
    return 8;
}

}  // namespace

void cImage::Release() {
    m_dib.Clear();
    m_info = BitmapInfoHeader{};
}

bool cImage::Create(int32_t width, int32_t height, int16_t bitCount) {
    Release();
    if (!SupportedDepth(bitCount)) return false;
    BitmapInfoHeader info;
    info.width = width;
    info.height = height;
    info.bitCount = bitCount;
    const int64_t image = int64_t(veltrane::BytesPerScanLine(width, bitCount)) * height;
    if (image > INT32_MAX || image < INT32_MIN) throw std::overflow_error("Overflow");
    info.sizeImage = int32_t(image);
    if (!m_dib.Create(width, height, bitCount)) return false;  // Create gives the grey ramp too
    m_info = info;
    return true;
}

bool cImage::CopyStdPicture(const Dib& picture, int16_t bitCount) {
    if (picture.Empty()) return false;
    const bool ownDepth = bitCount == 0;
    if (ownDepth) bitCount = int16_t(picture.BitCount() > 8 ? 24 : picture.BitCount());
    if (!Create(picture.Width(), picture.Height(), bitCount)) return false;
    if (bitCount == 24) {
        BitBlt(m_dib, 0, 0, Width(), Height(), picture, 0, 0);
        return true;
    }
    if (ownDepth && picture.ColorCount() > 0) {
        // Same depth and the picture's own table: the colour indices carry over unchanged.
        m_dib.SetColors(picture.Colors(), picture.ColorCount());
        for (int32_t y = 0; y < Height(); ++y)
            std::memcpy(m_dib.Row(y), picture.Row(y), size_t(std::min(m_dib.Stride(), picture.Stride())));
        return true;
    }
    BitBlt(m_dib, 0, 0, Width(), Height(), picture, 0, 0);  // nearest colour of the grey ramp
    return true;
}

bool cImage::CopyHDC(const Dib* hdc, int32_t width, int32_t height, int16_t bitCount, int32_t srcLeft, int32_t srcTop) {
    if (hdc == nullptr || hdc->Empty()) return false;
    // Only a derived depth takes over the source's colour table; an explicit one keeps the ramp.
    const int colours = bitCount == 0 ? hdc->ColorCount() : 0;
    if (bitCount == 0) bitCount = DepthForColours(colours);
    if (!Create(width, height, bitCount)) return false;
    if (colours > 0) m_dib.SetColors(hdc->Colors(), colours);
    BitBlt(m_dib, 0, 0, width, height, *hdc, srcLeft, srcTop);
    return true;
}

bool cImage::CopyPalletHDC(const Dib* hdc) {
    if (hdc == nullptr || m_dib.Empty()) return false;
    const int capacity = m_info.bitCount <= 8 ? 1 << m_info.bitCount : 0;
    const int read = m_info.bitCount <= 8 ? std::min(hdc->ColorCount(), capacity) : hdc->ColorCount();
    if (read < 1) return false;
    const int written = std::min(read, capacity);
    if (written > 0) m_dib.SetColors(hdc->Colors(), written);
    return written == read;
}

void cImage::PaintHDC(Dib* hdc, int32_t destLeft, int32_t destTop, Rop rop) const {
    if (hdc == nullptr || m_dib.Empty()) return;
    BitBlt(*hdc, destLeft, destTop, Width(), Height(), m_dib, 0, 0, rop);
}

std::unique_ptr<cImage> cImage::Greyscale() const {
    auto grey = std::make_unique<cImage>();
    if (m_dib.Empty() || !grey->Create(Width(), Height(), 8)) return nullptr;
    BitBlt(grey->m_dib, 0, 0, Width(), Height(), m_dib, 0, 0);
    return grey;
}

std::unique_ptr<cImage> cImage::SameDepth(int32_t width, int32_t height) const {
    auto image = std::make_unique<cImage>();
    if (m_dib.Empty() || !image->Create(width, height, BitCount())) return nullptr;
    if (BitCount() != 24) image->CopyPalletHDC(&m_dib);
    return image;
}

std::unique_ptr<cImage> cImage::Resample(int32_t width, int32_t height) const {
    auto image = SameDepth(width, height);
    if (!image) return nullptr;
    if (width == Width() && height == Height()) BitBlt(image->m_dib, 0, 0, Width(), Height(), m_dib, 0, 0);
    else StretchBlt(image->m_dib, 0, 0, width, height, m_dib, 0, 0, Width(), Height(), StretchMode::Halftone);
    return image;
}

std::unique_ptr<cImage> cImage::Transformed(int32_t width, int32_t height, const Point (&points)[3]) const {
    auto image = SameDepth(width, height);
    if (!image) return nullptr;
    PlgBlt(image->m_dib, points, m_dib, 0, 0, Width(), Height());
    return image;
}

// Destination points are where the source's upper-left, upper-right and lower-left corners go.
std::unique_ptr<cImage> cImage::Mirror(bool vertical) const {
    const int32_t w = Width(), h = Height();
    if (vertical) return Transformed(w, h, {{0, h}, {w, h}, {0, 0}});  // upside down
    return Transformed(w, h, {{w, 0}, {0, 0}, {w, h}});                // left and right exchanged
}

std::unique_ptr<cImage> cImage::Rotate(int32_t degrees) const {
    int32_t d = degrees % 360;
    if (d < 0) d += 360;
    const int32_t w = Width(), h = Height();
    switch (d) {
    case 90: return Transformed(h, w, {{0, w}, {0, 0}, {h, w}});  // a quarter turn anticlockwise
    case 180: return Transformed(w, h, {{w, h}, {0, h}, {w, 0}});
    case 270: return Transformed(h, w, {{h, 0}, {h, w}, {0, 0}});  // a quarter turn clockwise
    default: return nullptr;
    }
}

}  // namespace veltrane
