// Thumbnails for file managers: the preview scaled to fit a square, by area averaging.
#pragma once

#include "platform/Dib.h"

#include <cstdint>
#include <vector>

namespace veltrane::preview {

// The picture scaled to fit size x size with its proportions kept (each side at least one pixel),
// with HALFTONE stretching; a picture that already fits is returned at its own size, never enlarged.
Dib ScaleToFit(const Dib& picture, int size);

// The same for a picture with alpha (width x height bytes from the top row, empty for opaque):
// colours are averaged weighted by their alpha, so hidden pixels do not bleed into the edge;
// scaledAlpha gets the scaled alpha (empty when alpha is).
Dib ScaleToFit(const Dib& picture, const std::vector<uint8_t>& alpha, int size, std::vector<uint8_t>& scaledAlpha);

}  // namespace veltrane::preview
