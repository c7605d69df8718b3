#include "windows/HitMap.h"

#include <cmath>

namespace veltrane {

int32_t ColDec(const Dib& hitMap, double x, double y) {
    // nearbyint rounds ties to even under the default rounding mode.
    const double rx = std::nearbyint(x), ry = std::nearbyint(y);
    ColorRef c = kInvalidColor;
    if (rx >= 0 && ry >= 0 && rx < hitMap.Width() && ry < hitMap.Height())
        c = hitMap.GetPixel(int32_t(rx), int32_t(ry));
    if (c > 200) c = 0;
    // Rounded down, so the invalid colour -1 gives -1 where integer division would give 0.
    return int32_t(std::floor(c / 10.0));
}

}  // namespace veltrane
