// SampleHDC of cJpeg: reads the picture, converts it to Y (and Cb, Cr), subsamples each component
// to its factors, pads it to whole blocks, and transforms and quantizes every block.
#include "imaging/cJpeg.h"
#include "platform/Blit.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace veltrane {

namespace {

// Colour weights on (R, G, B) and the offset: luminance level-shifted by -128, chrominance
// centred on zero.
constexpr jpeg::ColourWeights kWeights[3] = {
    {0.299f, 0.587f, 0.114f, -128.0f},
    {-0.16874f, -0.33126f, 0.5f, 0.0f},
    {0.5f, -0.41869f, -0.08131f, 0.0f},
};

int32_t RoundUp8(int32_t v) { return (v + 7) & ~7; }

// A component's sampled picture: cw x ch pixels of 3 or 4 bytes (blue, green, red first), read
// with its last column repeated to the right and its last line repeated downwards.
struct Plane {
    const uint8_t* top = nullptr;  // first byte of the top line
    ptrdiff_t stride = 0;          // from one line to the one below it
    int bytesPerPixel = 3;
    int32_t cw = 0, ch = 0;
};

// Points lines at the eight lines of pixels of block (bx, by). Lines below the picture repeat its
// last line; a block reaching past its last column is copied into spare (8 x 8 pixels) with that
// column repeated.
void BlockLines(const Plane& plane, int32_t bx, int32_t by, uint8_t* spare, const uint8_t* lines[8]) {
    const int32_t x0 = bx * 8, y0 = by * 8;
    const int bpp = plane.bytesPerPixel;
    const bool fullWidth = x0 + 8 <= plane.cw;
    for (int row = 0; row < 8; ++row) {
        const int32_t y = std::min(y0 + row, plane.ch - 1);
        const uint8_t* line = plane.top + ptrdiff_t(y) * plane.stride;
        if (fullWidth) {
            lines[row] = line + ptrdiff_t(x0) * bpp;
            continue;
        }
        uint8_t* copy = spare + row * 8 * bpp;
        for (int k = 0; k < 8; ++k)
            std::memcpy(copy + k * bpp, line + ptrdiff_t(std::min(x0 + k, plane.cw - 1)) * bpp, size_t(bpp));
        lines[row] = copy;
    }
}

// Repeats the last column of the cw x ch picture at (0, top) of the working bitmap up to column
// pw - 1, then its last line (now pw wide) down to the bitmap's last line.
void PadWorkingBitmap(Dib& work, int32_t top, int32_t cw, int32_t ch, int32_t pw) {
    for (int32_t y = top; y < top + ch; ++y) {
        uint8_t* line = work.Row(y);
        for (int32_t x = cw; x < pw; ++x) std::memcpy(line + x * 3, line + (x - 1) * 3, 3);
    }
    for (int32_t y = top + ch; y < work.Height(); ++y) std::memcpy(work.Row(y), work.Row(y - 1), size_t(pw) * 3);
}

}  // namespace

int32_t cJpeg::SampleHDC(const Dib* hdc, int32_t width, int32_t height, int32_t srcLeft, int32_t srcTop) {
    m_precision = 8;
    m_imageHeight = height;
    m_imageWidth = width;
    ClearCoefficients();
    for (size_t c = 0; c < m_components.size(); ++c) m_components[c].Id = int32_t(c) + 1;
    // Nothing to read, or a working bitmap beyond what any bitmap may hold: no coefficients, so
    // that SaveFile cannot write stale data.
    if (hdc == nullptr || hdc->Empty() || width < 0 || height < 0) return 1;
    if (width == 0 || height == 0) return 0;  // no block; SaveFile reports it
    const int64_t w8 = RoundUp8(std::min(width, Dib::kMaxSide + 8));
    const int64_t h8 = RoundUp8(std::min(height, Dib::kMaxSide + 8));
    if (w8 > Dib::kMaxSide || h8 > Dib::kMaxSide || w8 * h8 > Dib::kMaxPixels) return 1;

    // The source can be read in place when a component takes it unscaled and it lies wholly
    // inside a 24- or 32-bit bitmap; otherwise it is rendered into the working bitmap first.
    const bool direct = (hdc->BitCount() == 24 || hdc->BitCount() == 32) && srcLeft >= 0 && srcTop >= 0 &&
                        int64_t(srcLeft) + width <= hdc->Width() && int64_t(srcTop) + height <= hdc->Height();
    try {
        SampleComponents(*hdc, width, height, srcLeft, srcTop, direct, int32_t(w8), int32_t(h8));
    } catch (...) {
        ClearCoefficients();
        throw;
    }
    return 0;
}

void cJpeg::SampleComponents(const Dib& source, int32_t width, int32_t height, int32_t srcLeft, int32_t srcTop,
                             bool direct, int32_t w8, int32_t h8) {
    const jpeg::BlockQuantizer quantizers[2] = {TransposedQuantizer(0), TransposedQuantizer(1)};
    Dib work;
    size_t c = 0;
    while (c < m_components.size()) {
        JpegComponent& first = m_components[c];
        const int32_t cw = int32_t((int64_t(first.H) * width + m_maxH - 1) / m_maxH);
        const int32_t ch = int32_t((int64_t(first.V) * height + m_maxV - 1) / m_maxV);
        const int32_t pw = RoundUp8(cw), ph = RoundUp8(ch);
        // The following components of the same sampled size share this rendering.
        size_t end = c + 1;
        while (end < m_components.size()) {
            const JpegComponent& next = m_components[end];
            if ((int64_t(next.H) * width + m_maxH - 1) / m_maxH != cw ||
                (int64_t(next.V) * height + m_maxV - 1) / m_maxV != ch)
                break;
            ++end;
        }

        Plane plane;
        plane.cw = cw;
        plane.ch = ch;
        if (direct && cw == width && ch == height) {
            plane.bytesPerPixel = source.BitCount() / 8;
            plane.top = source.Row(srcTop) + ptrdiff_t(srcLeft) * plane.bytesPerPixel;
            plane.stride = -ptrdiff_t(source.Stride());
        } else {
            if (work.Empty() && !work.Create(w8, h8, 24)) throw std::bad_alloc();
            const int32_t top = h8 - ph;
            if (cw == width && ch == height) BitBlt(work, 0, top, width, height, source, srcLeft, srcTop);
            else StretchBlt(work, 0, top, cw, ch, source, srcLeft, srcTop, width, height, StretchMode::Halftone);
            PadWorkingBitmap(work, top, cw, ch, pw);
            plane.bytesPerPixel = 3;
            plane.top = work.Row(top);
            plane.stride = -ptrdiff_t(work.Stride());
        }

        const int32_t columns = pw / 8, rows = ph / 8;
        for (size_t k = c; k < end; ++k) {
            m_components[k].BlockColumns = columns;
            m_components[k].BlockRows = rows;
            m_components[k].Data.resize(size_t(pw) * size_t(ph));  // every block is written below
        }
        uint8_t spare[8 * 8 * 4];
        const uint8_t* lines[8];
        jpeg::BlockTarget targets[3];
        for (size_t k = c; k < end; ++k)
            targets[k - c] = {&kWeights[k], &quantizers[m_components[k].Tq], m_components[k].Data.data()};
        for (int32_t by = 0; by < rows; ++by)
            for (int32_t bx = 0; bx < columns; ++bx) {
                BlockLines(plane, bx, by, spare, lines);
                jpeg::TransformPixelBlock(lines, plane.bytesPerPixel, targets, int(end - c));
                for (size_t k = 0; k < end - c; ++k) targets[k].out += 64;
            }
        c = end;
    }
}

}  // namespace veltrane
