#include "JpegOracle.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <random>

namespace veltrane::testing {

namespace {

struct ErrorJump {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr info) {
    auto* e = reinterpret_cast<ErrorJump*>(info->err);
    (*info->err->format_message)(info, e->message);
    std::longjmp(e->jump, 1);
}

std::vector<uint8_t> RgbRows(const Dib& picture) {
    std::vector<uint8_t> rgb(size_t(picture.Width()) * size_t(picture.Height()) * 3);
    size_t i = 0;
    for (int32_t y = 0; y < picture.Height(); ++y)
        for (int32_t x = 0; x < picture.Width(); ++x) {
            const RgbQuad c = picture.PixelColor(x, y);
            rgb[i++] = c.red;
            rgb[i++] = c.green;
            rgb[i++] = c.blue;
        }
    return rgb;
}

// Natural (row by row) index of each zig-zag position, as T.81 Figure A.6 numbers the cells.
constexpr int kNaturalOrder[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

double PsnrFromSquares(double squares, double samples) {
    if (squares == 0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * samples / squares);
}

}  // namespace

std::vector<Segment> SplitSegments(const std::vector<uint8_t>& file) {
    std::vector<Segment> segments;
    for (size_t i = 0; i + 1 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] != 0x00 && file[i + 1] != 0xFF) {
            segments.push_back(Segment{file[i + 1], {}});
            ++i;
        } else if (!segments.empty()) {
            segments.back().bytes.push_back(file[i]);
        }
    }
    if (file.size() >= 2 && !segments.empty() && segments.back().marker != 0xD9)
        segments.back().bytes.push_back(file.back());
    return segments;
}

DecodedJpeg DecodeJpeg(const std::vector<uint8_t>& file) {
    DecodedJpeg out;
    jpeg_decompress_struct info{};
    ErrorJump err{};
    info.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = OnError;
    if (setjmp(err.jump)) {
        out.ok = false;
        out.error = err.message;
        jpeg_destroy_decompress(&info);
        return out;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&info, TRUE);
    out.components = info.num_components;
    info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&info);
    out.width = int(info.output_width);
    out.height = int(info.output_height);
    const size_t rowBytes = size_t(out.width) * size_t(info.output_components);
    out.pixels.resize(rowBytes * size_t(out.height));
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out.pixels.data() + rowBytes * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    out.ok = err.mgr.num_warnings == 0;
    if (!out.ok) out.error = "decoder warnings";
    return out;
}

std::vector<uint8_t> ReferenceEncode(const Dib& picture, int quality, const uint16_t* tables, const int32_t* factors) {
    const std::vector<uint8_t> rgb = RgbRows(picture);
    jpeg_compress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(picture.Width());
    info.image_height = JDIMENSION(picture.Height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    const bool grey = factors && factors[2] == 0;
    if (grey) jpeg_set_colorspace(&info, JCS_GRAYSCALE);
    jpeg_set_quality(&info, quality, TRUE);
    if (tables) {
        // jpeg_add_quant_table takes natural order.
        unsigned natural[2][64];
        for (int t = 0; t < 2; ++t)
            for (int k = 0; k < 64; ++k) natural[t][kNaturalOrder[k]] = tables[t * 64 + k];
        jpeg_add_quant_table(&info, 0, natural[0], 100, TRUE);
        jpeg_add_quant_table(&info, 1, natural[1], 100, TRUE);
    }
    info.optimize_coding = TRUE;
    for (int c = 0; c < info.num_components; ++c) {
        info.comp_info[c].h_samp_factor = factors && !grey ? factors[2 * c] : 1;
        info.comp_info[c].v_samp_factor = factors && !grey ? factors[2 * c + 1] : 1;
    }
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(rgb.data()) + size_t(info.next_scanline) * size_t(picture.Width()) * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

double Psnr(const Dib& original, const DecodedJpeg& decoded) {
    const std::vector<uint8_t> rgb = RgbRows(original);
    if (decoded.components != 3 || decoded.pixels.size() != rgb.size()) return 0.0;
    double squares = 0;
    for (size_t i = 0; i < rgb.size(); ++i) {
        const double d = double(rgb[i]) - decoded.pixels[i];
        squares += d * d;
    }
    return PsnrFromSquares(squares, double(rgb.size()));
}

double PsnrGrey(const Dib& original, const DecodedJpeg& decoded) {
    const auto luma = [](double r, double g, double b) { return 0.299 * r + 0.587 * g + 0.114 * b; };
    const size_t step = size_t(decoded.components);
    if (decoded.pixels.size() != size_t(original.Width()) * size_t(original.Height()) * step) return 0.0;
    double squares = 0;
    size_t i = 0;
    for (int32_t y = 0; y < original.Height(); ++y)
        for (int32_t x = 0; x < original.Width(); ++x, i += step) {
            const RgbQuad c = original.PixelColor(x, y);
            const uint8_t* p = decoded.pixels.data() + i;
            const double got = step == 1 ? p[0] : luma(p[0], p[1], p[2]);
            const double d = luma(c.red, c.green, c.blue) - got;
            squares += d * d;
        }
    return PsnrFromSquares(squares, double(i / step));
}

Dib MakePreviewLike(int32_t width, int32_t height, uint32_t seed) {
    std::mt19937 rng(seed);
    Dib d(width, height, 24);
    const auto colour = [&] { return RgbQuad{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0}; };
    const auto fill = [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1, RgbQuad c) {
        for (int32_t y = std::max(y0, 0); y < std::min(y1, height); ++y)
            for (int32_t x = std::max(x0, 0); x < std::min(x1, width); ++x) d.SetPixel(x, y, c);
    };
    // Background: a vertical gradient between two colours.
    const RgbQuad a = colour(), b = colour();
    for (int32_t y = 0; y < height; ++y) {
        const int t = height > 1 ? y * 255 / (height - 1) : 0;
        const auto mix = [t](uint8_t p, uint8_t q) { return uint8_t((p * (255 - t) + q * t) / 255); };
        fill(0, y, width, y + 1, RgbQuad{mix(a.blue, b.blue), mix(a.green, b.green), mix(a.red, b.red), 0});
    }
    // Bevelled panels with a light and a dark edge.
    for (int n = 0; n < 12; ++n) {
        const int32_t x0 = int32_t(rng() % uint32_t(width)), y0 = int32_t(rng() % uint32_t(height));
        const int32_t x1 = x0 + 4 + int32_t(rng() % 80), y1 = y0 + 4 + int32_t(rng() % 30);
        fill(x0, y0, x1, y1, colour());
        fill(x0, y0, x1, y0 + 1, RgbQuad{230, 230, 230, 0});
        fill(x0, y1 - 1, x1, y1, RgbQuad{20, 20, 20, 0});
    }
    // Pixel text: rows of 1-pixel strokes in a bright colour, as the bitmap fonts draw.
    const RgbQuad ink = RgbQuad{0, 255, 0, 0};
    for (int32_t y = 4; y + 6 < height; y += 37)
        for (int32_t x = 10; x + 5 < width; x += 6)
            for (int k = 0; k < 12; ++k)
                if (rng() % 2) d.SetPixel(x + int32_t(rng() % 5), y + int32_t(rng() % 6), ink);
    // A little dithered noise, as scanned or photographic skins have.
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            RgbQuad c = d.PixelColor(x, y);
            const int n = int(rng() % 9) - 4;
            c.red = uint8_t(std::clamp(c.red + n, 0, 255));
            c.green = uint8_t(std::clamp(c.green + n, 0, 255));
            c.blue = uint8_t(std::clamp(c.blue + n, 0, 255));
            d.SetPixel(x, y, c);
        }
    return d;
}

Dib MakeNoise(int32_t width, int32_t height, uint32_t seed) {
    std::mt19937 rng(seed);
    Dib d(width, height, 24);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            d.SetPixel(x, y, RgbQuad{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0});
    return d;
}

}  // namespace veltrane::testing
