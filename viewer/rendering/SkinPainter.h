// Drawing primitives for painting skin artwork by code: fills, bevels, gradients, pixel patterns
// and the 5 x 6 bitmap font. Artwork is painted at 24 bits and reduced to 8 bits at the end.
#pragma once

#include "platform/Dib.h"

#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace veltrane {

RgbQuad Mix(RgbQuad a, RgbQuad b, double t);  // t = 0 gives a, 1 gives b
RgbQuad Scale(RgbQuad c, double factor);      // brighter above 1, darker below

class SkinPainter {
public:
    SkinPainter(int32_t width, int32_t height, RgbQuad fill);

    void Fill(int32_t x, int32_t y, int32_t w, int32_t h, RgbQuad c);
    void Pixel(int32_t x, int32_t y, RgbQuad c) { m_dib.SetPixel(x, y, c); }
    void HLine(int32_t x, int32_t y, int32_t w, RgbQuad c) { Fill(x, y, w, 1, c); }
    void VLine(int32_t x, int32_t y, int32_t h, RgbQuad c) { Fill(x, y, 1, h, c); }
    void Frame(int32_t x, int32_t y, int32_t w, int32_t h, RgbQuad c);
    // A one-pixel bevel: light on top and left, dark on bottom and right (the reverse when sunken).
    void Bevel(int32_t x, int32_t y, int32_t w, int32_t h, RgbQuad light, RgbQuad dark, bool sunken = false);
    // Top-to-bottom blend from top to bottom colour.
    void VGradient(int32_t x, int32_t y, int32_t w, int32_t h, RgbQuad top, RgbQuad bottom);
    void HGradient(int32_t x, int32_t y, int32_t w, int32_t h, RgbQuad left, RgbQuad right);
    // Rows of '#' (colour) and other characters (left alone), top-left at (x, y).
    void Pattern(int32_t x, int32_t y, std::initializer_list<std::string_view> rows, RgbQuad c);
    // Text in the 5 x 6 font (upper case, digits and the symbols of the font), each character as
    // wide as its glyph plus a pixel of space.
    void Text(int32_t x, int32_t y, std::string_view text, RgbQuad c);
    static int32_t TextWidth(std::string_view text);
    // The text centred horizontally in the w pixels from x.
    void CentredText(int32_t x, int32_t y, int32_t w, std::string_view text, RgbQuad c);

    Dib& Bitmap() { return m_dib; }
    // The picture with 8 bits per pixel: its own colours when they fit in 256, else the nearest of
    // the 256 most frequent.
    Dib ToPaletted() const;

private:
    Dib m_dib;
};

// The glyph of a font character as five rows of up to five '#'/'.' characters; nullptr when the
// font has none.
const std::string_view* FontGlyph(char c);

}  // namespace veltrane
