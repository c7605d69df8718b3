// The blits with arbitrary bitmaps, coordinates and operations, the ones a composition computes
// from state values included. Copies must stay inside both bitmaps, and a rectangle copy must leave
// every destination pixel outside its rectangle as it was.
#include "common/FuzzInput.h"
#include "platform/Blit.h"

#include <cstdlib>
#include <cstring>

using namespace veltrane;

namespace {

using fuzz::Reader;

// Mostly small values near the bitmaps, sometimes anything at all.
int32_t Coordinate(Reader& in) {
    const uint8_t kind = uint8_t(in.Next(1));
    return kind & 0x80 ? int32_t(in.Next(4)) : int32_t(kind) - 64;
}

Dib MakeBitmap(Reader& in) {
    static const int kDepths[] = {1, 4, 8, 24, 32};
    const int bits = kDepths[in.Next(1) % 5];
    Dib d(int32_t(1 + in.Next(1) % 40), int32_t(1 + in.Next(1) % 40), bits);
    for (size_t i = 0; i < d.SizeInBytes(); ++i) d.Bits()[i] = uint8_t(i * 37 + in.Next(1));
    if (bits <= 8)
        for (int i = 0; i < d.ColorCount(); ++i)
            d.Colors()[i] = RgbQuad{uint8_t(in.Next(1)), uint8_t(i * 3), uint8_t(i * 7), 0};
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    Dib dst = MakeBitmap(in);
    const Dib src = MakeBitmap(in);
    const uint8_t operation = uint8_t(in.Next(1));
    const bool sameBitmap = operation & 0x80;
    const Dib& from = sameBitmap ? dst : src;
    const Dib before = dst;
    switch (operation % 3) {
    case 0: {
        const int32_t x = Coordinate(in), y = Coordinate(in), w = Coordinate(in), h = Coordinate(in);
        const int32_t sx = Coordinate(in), sy = Coordinate(in);
        const uint32_t rop = in.Next(1) << 16;
        BitBlt(dst, x, y, w, h, from, sx, sy, rop);
        for (int32_t yy = 0; yy < dst.Height(); ++yy)
            for (int32_t xx = 0; xx < dst.Width(); ++xx) {
                const bool inside = int64_t(xx) >= x && int64_t(xx) < int64_t(x) + w && int64_t(yy) >= y &&
                                    int64_t(yy) < int64_t(y) + h;
                if (!inside && dst.PixelIndex(xx, yy) != before.PixelIndex(xx, yy)) std::abort();
                if (!inside && dst.GetPixel(xx, yy) != before.GetPixel(xx, yy)) std::abort();
            }
        break;
    }
    case 1: {
        const int32_t x = Coordinate(in), y = Coordinate(in), w = Coordinate(in), h = Coordinate(in);
        const int32_t sx = Coordinate(in), sy = Coordinate(in), sw = Coordinate(in), sh = Coordinate(in);
        StretchBlt(dst, x, y, w, h, from, sx, sy, sw, sh,
                   in.Next(1) & 1 ? StretchMode::Halftone : StretchMode::ColorOnColor);
        break;
    }
    default: {
        Point points[3];
        for (Point& p : points) p = Point{Coordinate(in), Coordinate(in)};
        const int32_t sx = Coordinate(in), sy = Coordinate(in), w = Coordinate(in), h = Coordinate(in);
        PlgBlt(dst, points, from, sx, sy, w, h);
        break;
    }
    }
    return 0;
}
