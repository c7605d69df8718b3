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

Dib ScaleToFit(const Dib& picture, const std::vector<uint8_t>& alpha, int size, std::vector<uint8_t>& scaledAlpha) {
    scaledAlpha.clear();
    if (alpha.empty()) return ScaleToFit(picture, size);
    // Colours premultiplied by alpha, and alpha as a grey picture, scaled alike.
    const int32_t width = picture.Width(), height = picture.Height();
    Dib weighted(width, height, 24), mask(width, height, 24);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* w = weighted.Row(y);
        uint8_t* m = mask.Row(y);
        for (int32_t x = 0; x < width; ++x, w += 3, m += 3) {
            const RgbQuad c = picture.PixelColor(x, y);
            const unsigned a = alpha[std::size_t(y) * std::size_t(width) + std::size_t(x)];
            w[0] = uint8_t((c.blue * a + 127) / 255);
            w[1] = uint8_t((c.green * a + 127) / 255);
            w[2] = uint8_t((c.red * a + 127) / 255);
            m[0] = m[1] = m[2] = uint8_t(a);
        }
    }
    Dib scaled = ScaleToFit(weighted, size);
    const Dib scaledMask = ScaleToFit(mask, size);
    scaledAlpha.resize(std::size_t(scaled.Width()) * std::size_t(scaled.Height()));
    for (int32_t y = 0; y < scaled.Height(); ++y) {
        uint8_t* p = scaled.Row(y);
        const uint8_t* m = scaledMask.Row(y);
        for (int32_t x = 0; x < scaled.Width(); ++x, p += 3, m += 3) {
            const unsigned a = m[0];
            scaledAlpha[std::size_t(y) * std::size_t(scaled.Width()) + std::size_t(x)] = uint8_t(a);
            for (int k = 0; k < 3; ++k) p[k] = a == 0 ? 0 : uint8_t(std::min(255u, (p[k] * 255 + a / 2) / a));
        }
    }
    return scaled;
}

}  // namespace veltrane::preview
