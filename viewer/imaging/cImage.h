// cImage: the viewer's in-memory bitmap of 1, 4, 8 or 24 bits per pixel. Other pictures are
// copied into it, and it can be painted, scaled, mirrored, rotated and turned grey. Where the
// original drew through a device context, the context here is the bitmap itself: hDC() hands out
// the Dib that blits and the JPEG encoder read and write (nullptr while the image is empty).
#pragma once

#include "platform/Blit.h"
#include "platform/Dib.h"

#include <array>
#include <cstdint>
#include <memory>

namespace veltrane {

// The BITMAPINFOHEADER fields Create fills in.
struct BitmapInfoHeader {
    int32_t size = 40;
    int32_t width = 0;
    int32_t height = 0;  // positive: scan lines stored bottom-up
    int16_t planes = 1;
    int16_t bitCount = 0;
    int32_t compression = 0;  // uncompressed RGB
    int32_t sizeImage = 0;    // BytesPerScanLine x height
    int32_t xPelsPerMeter = 0, yPelsPerMeter = 0, colorsUsed = 0, colorsImportant = 0;
};

class cImage {
public:
    cImage() = default;
    cImage(const cImage&) = delete;
    cImage& operator=(const cImage&) = delete;
    cImage(cImage&&) = default;
    cImage& operator=(cImage&&) = default;

    int32_t Width() const { return m_info.width; }
    int32_t Height() const { return m_info.height; }
    int16_t BitCount() const { return m_info.bitCount; }
    Dib* hDC() { return m_dib.Empty() ? nullptr : &m_dib; }
    const Dib* hDC() const { return m_dib.Empty() ? nullptr : &m_dib; }
    uint8_t* DIBitsPtr() { return m_dib.Empty() ? nullptr : m_dib.Bits(); }
    // Throws std::overflow_error when the size does not fit 32 bits.
    int32_t BytesPerScanLine() const { return veltrane::BytesPerScanLine(m_info.width, m_info.bitCount); }
    const BitmapInfoHeader& BitmapInfo() const { return m_info; }

    // A blank image; 1, 4 and 8 bits get a grey ramp as their colour table. False for any other
    // bit count or a size no bitmap may have; the image is then empty.
    bool Create(int32_t width, int32_t height, int16_t bitCount);
    // Copies a whole picture. Bit count 0 keeps the picture's own depth and colour table
    // (16 and 32 bits become 24); another bit count converts to it.
    bool CopyStdPicture(const Dib& picture, int16_t bitCount);
    // Copies the width x height rectangle at (srcLeft, srcTop) of hdc. Bit count 0 derives it
    // from hdc's colour table: 1-2 entries give 1 bit, up to 16 give 4, up to 256 give 8, none 24.
    bool CopyHDC(const Dib* hdc, int32_t width, int32_t height, int16_t bitCount, int32_t srcLeft, int32_t srcTop);
    // Takes over hdc's colour table; true when all of it (at least one entry) was taken.
    bool CopyPalletHDC(const Dib* hdc);
    void PaintHDC(Dib* hdc, int32_t destLeft, int32_t destTop, Rop rop = Rop::SrcCopy) const;

    // New images; nullptr where the Part of the original returned none.
    std::unique_ptr<cImage> Greyscale() const;
    std::unique_ptr<cImage> Resample(int32_t width, int32_t height) const;
    std::unique_ptr<cImage> Mirror(bool vertical) const;
    // Only 90, 180 and 270 degrees (after reduction modulo 360) give an image.
    std::unique_ptr<cImage> Rotate(int32_t degrees) const;

private:
    void Release();
    // A new image of the given size at this depth, with this image's colour table.
    std::unique_ptr<cImage> SameDepth(int32_t width, int32_t height) const;
    std::unique_ptr<cImage> Transformed(int32_t width, int32_t height, const Point (&points)[3]) const;

    BitmapInfoHeader m_info;
    Dib m_dib;
};

}  // namespace veltrane
