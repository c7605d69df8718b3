// Thumbnails for file managers: the preview scaled to fit a square, by area averaging.
#pragma once

#include "platform/Dib.h"

namespace veltrane::preview {

// The picture scaled to fit size x size with its proportions kept (each side at least one pixel),
// with HALFTONE stretching; a picture that already fits is returned at its own size, never enlarged.
Dib ScaleToFit(const Dib& picture, int size);

}  // namespace veltrane::preview
