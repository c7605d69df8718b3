#include "platform/Png.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

using namespace veltrane;

namespace {

uint32_t Big32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

std::vector<uint8_t> Inflate(const std::vector<uint8_t>& raw, size_t expected) {
    std::vector<uint8_t> out(expected + 16);
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<uint8_t*>(raw.data());
    z.avail_in = uInt(raw.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    const int rc = inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    EXPECT_EQ(rc, Z_STREAM_END);
    return out;
}

// Decodes our PNG with zlib and undoes the row filters: an independent check of every byte.
Dib DecodeRgbPng(const std::vector<uint8_t>& png) {
    EXPECT_EQ(png[0], 0x89);
    size_t at = 8;
    int32_t width = 0, height = 0;
    std::vector<uint8_t> idat;
    while (at + 12 <= png.size()) {
        const uint32_t length = Big32(&png[at]);
        const std::string type(reinterpret_cast<const char*>(&png[at + 4]), 4);
        const uint8_t* data = &png[at + 8];
        EXPECT_EQ(crc32(0, &png[at + 4], length + 4), Big32(data + length)) << type;
        if (type == "IHDR") {
            width = int32_t(Big32(data));
            height = int32_t(Big32(data + 4));
        } else if (type == "IDAT") {
            idat.insert(idat.end(), data, data + length);
        }
        at += 12 + length;
    }
    EXPECT_EQ(at, png.size());
    uLongf size = uLongf(height) * (uLongf(width) * 3 + 1);
    std::vector<uint8_t> rows(size);
    EXPECT_EQ(uncompress(rows.data(), &size, idat.data(), uLong(idat.size())), Z_OK);
    Dib out(width, height, 24);
    const size_t stride = size_t(width) * 3;
    std::vector<uint8_t> prev(stride, 0), cur(stride);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* line = &rows[size_t(y) * (stride + 1)];
        for (size_t i = 0; i < stride; ++i) {
            const int a = i >= 3 ? cur[i - 3] : 0, b = prev[i], c = i >= 3 ? prev[i - 3] : 0;
            int predictor = 0;
            switch (line[0]) {
            case 1: predictor = a; break;
            case 2: predictor = b; break;
            case 3: predictor = (a + b) / 2; break;
            case 4: {
                const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                predictor = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
                break;
            }
            }
            cur[i] = uint8_t(line[1 + i] + predictor);
        }
        for (int32_t x = 0; x < width; ++x)
            out.SetPixel(x, y, RgbQuad{cur[size_t(x) * 3 + 2], cur[size_t(x) * 3 + 1], cur[size_t(x) * 3], 0});
        prev.swap(cur);
    }
    return out;
}

}  // namespace

TEST(Png, DeflateOutputInflatesWithZlibForRunsNoiseAndLongMatches) {
    std::mt19937 random(7);
    std::vector<uint8_t> data;
    for (int i = 0; i < 70000; ++i) data.push_back(uint8_t(i % 251 < 120 ? 'a' : random() & 0xFF));
    data.insert(data.end(), 40000, 0x55);                         // matches of length 258 at distance 1
    data.insert(data.end(), data.begin(), data.begin() + 33000);  // far repeats beyond the window
    const std::vector<uint8_t> packed = DeflateFixed(data);
    EXPECT_EQ(Inflate(packed, data.size()), data);
    EXPECT_LT(packed.size(), data.size());
    EXPECT_EQ(Inflate(DeflateFixed({}), 0), std::vector<uint8_t>{});
}

TEST(Png, EncodedPictureDecodesToTheSamePixels) {
    Dib picture(37, 19, 8);
    RgbQuad colors[256];
    for (int i = 0; i < 256; ++i) colors[i] = RgbQuad{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0};
    picture.SetColors(colors, 256);
    for (int32_t y = 0; y < 19; ++y)
        for (int32_t x = 0; x < 37; ++x) picture.SetPixelIndex(x, y, (x * 13 + y * 29) % 256);
    const Dib decoded = DecodeRgbPng(EncodePng(picture));
    ASSERT_EQ(decoded.Width(), 37);
    ASSERT_EQ(decoded.Height(), 19);
    for (int32_t y = 0; y < 19; ++y)
        for (int32_t x = 0; x < 37; ++x) EXPECT_EQ(decoded.GetPixel(x, y), picture.GetPixel(x, y)) << x << "," << y;
}

TEST(Png, EmptyPictureIsNotWritten) {
    EXPECT_TRUE(EncodePng(Dib()).empty());
    EXPECT_FALSE(SavePng(Dib(), "/nonexistent-folder/x.png"));
    EXPECT_FALSE(SavePng(Dib(4, 4, 24), "/nonexistent-folder/x.png"));
}

TEST(Png, TrueColourPicturesOfEitherDepthDecodeToTheSamePixels) {
    std::mt19937 random(11);
    for (const int depth : {24, 32}) {
        SCOPED_TRACE(depth);
        // Noise, flat areas and rows repeated further up: every filter and long matches at many distances.
        Dib picture(275, 120, depth);
        for (int32_t y = 0; y < 120; ++y)
            for (int32_t x = 0; x < 275; ++x) {
                const uint32_t r = random();
                const RgbQuad noise{uint8_t(r), uint8_t(r >> 8), uint8_t(r >> 16), 0};
                const RgbQuad flat{uint8_t(x / 40 * 30), 90, uint8_t(y), 0};
                picture.SetPixel(x, y, y >= 80 ? picture.PixelColor(x, y - 70) : (x + y) % 97 < 30 ? noise : flat);
            }
        const Dib decoded = DecodeRgbPng(EncodePng(picture));
        ASSERT_EQ(decoded.Width(), 275);
        ASSERT_EQ(decoded.Height(), 120);
        for (int32_t y = 0; y < 120; ++y)
            for (int32_t x = 0; x < 275; ++x)
                ASSERT_EQ(decoded.GetPixel(x, y), picture.GetPixel(x, y)) << x << "," << y;
    }
}
