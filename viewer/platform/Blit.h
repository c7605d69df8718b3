// The GDI blits over Dibs: rectangle copies with ternary raster operations, scaled copies and
// three-point (parallelogram) copies. Every copy is clipped to both bitmaps; destination pixels
// whose source lies outside the source bitmap stay unchanged. Copies into a paletted bitmap take
// the nearest colour of its table.
#pragma once

#include "platform/Dib.h"

#include <cstdint>

namespace veltrane {

// Ternary raster operations (GDI's codes); the brush is white.
enum class Rop : uint32_t {
    SrcCopy = 0x00CC0020,
    SrcPaint = 0x00EE0086,
    SrcAnd = 0x008800C6,
    SrcInvert = 0x00660046,
    SrcErase = 0x00440328,
    NotSrcCopy = 0x00330008,
    NotSrcErase = 0x001100A6,
    MergeCopy = 0x00C000CA,
    MergePaint = 0x00BB0226,
    PatCopy = 0x00F00021,
    PatPaint = 0x00FB0A09,
    PatInvert = 0x005A0049,
    DstInvert = 0x00550009,
    Blackness = 0x00000042,
    Whiteness = 0x00FF0062,
};

enum class StretchMode { ColorOnColor = 3, Halftone = 4 };

struct Point {
    int32_t x = 0;
    int32_t y = 0;
};

// Copies the w x h rectangle at (sx, sy) of src to (x, y) of dst. src may be dst (overlap safe).
bool BitBlt(Dib& dst, int32_t x, int32_t y, int32_t w, int32_t h, const Dib& src, int32_t sx, int32_t sy,
            Rop rop = Rop::SrcCopy);
// Same, with the raster operation as its raw ternary code.
bool BitBlt(Dib& dst, int32_t x, int32_t y, int32_t w, int32_t h, const Dib& src, int32_t sx, int32_t sy, uint32_t rop);

// Scales the sw x sh rectangle at (sx, sy) of src onto the dw x dh rectangle at (dx, dy) of dst.
// Halftone averages the covered source area; ColorOnColor takes the nearest pixel.
bool StretchBlt(Dib& dst, int32_t dx, int32_t dy, int32_t dw, int32_t dh, const Dib& src, int32_t sx, int32_t sy,
                int32_t sw, int32_t sh, StretchMode mode = StretchMode::Halftone);

// Maps the w x h rectangle at (sx, sy) of src onto the parallelogram whose corners are the images
// of the source's upper-left, upper-right and lower-left corners. Exact for mirrors and quarter turns.
bool PlgBlt(Dib& dst, const Point points[3], const Dib& src, int32_t sx, int32_t sy, int32_t w, int32_t h);

}  // namespace veltrane
