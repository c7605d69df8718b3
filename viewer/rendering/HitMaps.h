// The hidden colour hit maps of the main and equalizer windows: every control's region is painted
// pure red with red = 10 x its code, everything else black, so one pixel read tells which control
// lies under the mouse.
#pragma once

#include "platform/Dib.h"

namespace veltrane {

// Both return a fresh 275 x 116 bitmap with 24 bits per pixel.
Dib MainHitMap();
Dib EqualizerHitMap();

}  // namespace veltrane
