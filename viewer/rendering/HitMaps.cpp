#include "rendering/HitMaps.h"

#include "rendering/WinAMPGraphics.h"

#include <span>

namespace veltrane {
namespace {

// A control's region, corners inclusive.
struct HitRegion {
    int code;
    int left, right, top, bottom;
};

constexpr HitRegion kMainRegions[] = {
    {1, 15, 37, 89, 104},    // previous
    {2, 39, 61, 89, 104},    // play
    {3, 62, 84, 89, 104},    // pause
    {4, 85, 106, 89, 104},   // stop
    {5, 107, 129, 89, 104},  // next
    {6, 136, 157, 89, 103},  // eject
    {7, 164, 209, 90, 102},  // shuffle
    {8, 210, 238, 91, 102},  // repeat
    {9, 17, 262, 71, 80},    // position bar
    {10, 107, 171, 58, 67},  // volume
    {11, 177, 214, 58, 67},  // balance
    {12, 220, 241, 57, 67},  // EQ button
    {13, 242, 263, 56, 68},  // PL button
    {14, 265, 272, 2, 11},   // close
    {15, 255, 262, 2, 11},   // shade
    {16, 245, 252, 1, 11},   // minimize
    {17, 5, 15, 3, 11},      // options
    {18, 13, 18, 24, 62},    // clutterbar
};

constexpr HitRegion kEqualizerRegions[] = {
    {12, 14, 38, 18, 29},    // ON
    {13, 39, 63, 18, 29},    // AUTO
    {14, 265, 272, 2, 11},   // close
    {15, 255, 262, 2, 11},   // shade
    {16, 21, 34, 38, 100},   // preamp
    {17, 217, 260, 17, 29},  // PRESETS
    {18, 78, 91, 38, 100},   // band 1; bands 2 to 10 count down from 11 to 3
    {11, 96, 109, 38, 100}, {10, 114, 127, 38, 100}, {9, 132, 145, 38, 100},
    {8, 150, 163, 38, 100}, {7, 168, 181, 38, 100},  {6, 186, 199, 38, 100},
    {5, 204, 217, 38, 100}, {4, 222, 235, 38, 100},  {3, 240, 253, 38, 100},
};

Dib PaintHitMap(std::span<const HitRegion> regions) {
    Dib map(kMainWidth, kMainHeight, 24);
    for (const HitRegion& r : regions)
        for (int y = r.top; y <= r.bottom; ++y)
            for (int x = r.left; x <= r.right; ++x) map.SetPixel(x, y, RgbQuad{0, 0, uint8_t(10 * r.code), 0});
    return map;
}

}  // namespace

// Painted once; every window gets its own copy.
Dib MainHitMap() {
    static const Dib map = PaintHitMap(kMainRegions);
    return map;
}

Dib EqualizerHitMap() {
    static const Dib map = PaintHitMap(kEqualizerRegions);
    return map;
}

}  // namespace veltrane
