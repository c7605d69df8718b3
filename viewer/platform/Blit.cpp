#include "platform/Blit.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace veltrane {

bool BitBlt(Dib& dst, int32_t x, int32_t y, int32_t w, int32_t h, const Dib& src, int32_t sx, int32_t sy,
            Rop rop) {
    return BitBlt(dst, x, y, w, h, src, sx, sy, uint32_t(rop));
}

// Interim: SRCCOPY only, clipped. Raster operations, StretchBlt and PlgBlt follow.
bool BitBlt(Dib& dst, int32_t x, int32_t y, int32_t w, int32_t h, const Dib& src, int32_t sx, int32_t sy,
            uint32_t rop) {
    if (dst.Empty() || src.Empty() || w <= 0 || h <= 0) return false;
    if (rop != uint32_t(Rop::SrcCopy)) return false;
    // Clip against the destination, then the source.
    int32_t x0 = std::max({x, 0, x + (0 - sx)});
    int32_t y0 = std::max({y, 0, y + (0 - sy)});
    int32_t x1 = std::min({x + w, dst.Width(), x + (src.Width() - sx)});
    int32_t y1 = std::min({y + h, dst.Height(), y + (src.Height() - sy)});
    if (x0 >= x1 || y0 >= y1) return true;
    const bool same = &dst == &src;
    Dib copy;
    const Dib& from = same ? (copy = src, copy) : src;
    for (int32_t yy = y0; yy < y1; ++yy)
        for (int32_t xx = x0; xx < x1; ++xx) dst.SetPixel(xx, yy, from.PixelColor(xx - x + sx, yy - y + sy));
    return true;
}

bool StretchBlt(Dib&, int32_t, int32_t, int32_t, int32_t, const Dib&, int32_t, int32_t, int32_t, int32_t,
                StretchMode) {
    return false;
}

bool PlgBlt(Dib&, const Point[3], const Dib&, int32_t, int32_t, int32_t, int32_t) { return false; }

}  // namespace veltrane
