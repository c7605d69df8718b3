#include "Thumbnail.h"

#include "platform/Blit.h"

#include <algorithm>

namespace veltrane::preview {

Dib ScaleToFit(const Dib& picture, int size) {
    const int64_t width = picture.Width(), height = picture.Height();
    if (width <= size && height <= size) return picture;
    // The longer side becomes size; the other keeps the proportion, rounded to the nearest pixel.
    int64_t w = size, h = size;
    if (width > height) h = std::max<int64_t>(1, (height * size + width / 2) / width);
    else w = std::max<int64_t>(1, (width * size + height / 2) / height);
    Dib scaled(int32_t(w), int32_t(h), 24);
    StretchBlt(scaled, 0, 0, int32_t(w), int32_t(h), picture, 0, 0, picture.Width(), picture.Height(),
               StretchMode::Halftone);
    return scaled;
}

}  // namespace veltrane::preview
