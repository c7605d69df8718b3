// Reading the hidden colour hit maps of the main and equalizer windows (picCol): every control's
// region is pure red with red = 10 x its code, everything else black.
#pragma once

#include "platform/Dib.h"

#include <cstdint>

namespace veltrane {

// The control code under (x, y): the map's colour at the point rounded to the nearest pixel (ties to
// even); colours above 200 count as 0; the code is the colour divided by 10, rounded down. Outside
// the map the platform's invalid colour -1 decodes to -1.
int32_t ColDec(const Dib& hitMap, double x, double y);

}  // namespace veltrane
