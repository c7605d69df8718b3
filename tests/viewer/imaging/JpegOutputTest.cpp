// The encoder's output is fixed to the byte: saved previews must not change when the coder is
// reworked for speed. These cases pin the file of pictures that exercise every path (qualities,
// sampling factors with dummy blocks, sizes that are not whole blocks, greyscale, a source
// rectangle, a 32-bit source, stuffed 0xFF bytes of noise) by a hash of its bytes.
#include "JpegOracle.h"
#include "imaging/cJpeg.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

// FNV-1a, 64 bits: enough to tell any change of the bytes.
uint64_t Fnv1a(const std::vector<uint8_t>& bytes) {
    uint64_t h = 0xcbf29ce484222325u;
    for (const uint8_t b : bytes) h = (h ^ b) * 0x100000001b3u;
    return h;
}

struct PinnedCase {
    const char* name;
    bool noise;
    int32_t width, height;
    int32_t quality;
    int32_t factors[6];
    size_t size;
    uint64_t hash;
};

std::string Hex(uint64_t v) {
    char text[20];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
    return text;
}

}  // namespace

TEST(JpegOutput, FilesArePinnedByteForByte) {
    static const PinnedCase kCases[] = {
        {"preview q90", false, 275, 350, 90, {1, 1, 1, 1, 1, 1}, 46566, 0x7a9c1084fb7eb052u},
        {"preview q95 2x2", false, 275, 350, 95, {2, 2, 1, 1, 1, 1}, 39317, 0x732041f1698d7c16u},
        {"preview q25 greyscale", false, 275, 350, 25, {1, 1, 0, 0, 0, 0}, 2496, 0x0af4bbc29fd5c66cu},
        {"odd q50 2x1 1x2", false, 61, 37, 50, {2, 1, 1, 2, 1, 1}, 704, 0x6753b8b0f3668046u},
        {"odd q75 4x4 split", false, 45, 29, 75, {4, 4, 1, 1, 1, 1}, 618, 0x80aca07181ddfed6u},
        {"odd q90 2x2 x3", false, 33, 17, 90, {2, 2, 2, 2, 2, 2}, 1092, 0xe6113433a0f47b82u},
        {"noise q100", true, 40, 24, 100, {1, 1, 1, 1, 1, 1}, 3133, 0xb1c25627084be225u},
        {"noise q1 3x1", true, 17, 9, 1, {3, 1, 1, 3, 2, 2}, 288, 0xd9cb7c99548cc6e8u},
    };
    for (const PinnedCase& c : kCases) {
        const Dib picture = c.noise ? MakeNoise(c.width, c.height, 3) : MakePreviewLike(c.width, c.height, 3);
        cJpeg j;
        j.SetQuality(c.quality);
        const int32_t* f = c.factors;
        j.SetSamplingFrequencies(f[0], f[1], f[2], f[3], f[4], f[5]);
        ASSERT_EQ(j.SampleHDC(&picture, c.width, c.height, 0, 0), 0) << c.name;
        const std::vector<uint8_t> file = j.Encode();
        EXPECT_EQ(file.size(), c.size) << c.name;
        EXPECT_EQ(Hex(Fnv1a(file)), Hex(c.hash)) << c.name;
    }
}

TEST(JpegOutput, SourceRectangleAndDepthArePinned) {
    // A rectangle inside a 32-bit bitmap is read in place; one reaching past the bitmap's edge is
    // rendered into the working bitmap first.
    const Dib like = MakePreviewLike(120, 90, 5);
    Dib wide(120, 90, 32);
    for (int32_t y = 0; y < 90; ++y)
        for (int32_t x = 0; x < 120; ++x) wide.SetPixel(x, y, like.PixelColor(x, y));
    struct Rect {
        int32_t w, h, left, top;
        size_t size;
        uint64_t hash;
    };
    static const Rect kRects[] = {{70, 50, 13, 21, 2422, 0xcb24e2556a516b9du},
                                  {64, 64, 100, 70, 911, 0x537c9129119db56bu}};
    for (const Rect& r : kRects) {
        cJpeg j;
        j.SetQuality(90);
        ASSERT_EQ(j.SampleHDC(&wide, r.w, r.h, r.left, r.top), 0);
        const std::vector<uint8_t> file = j.Encode();
        EXPECT_EQ(file.size(), r.size) << r.left;
        EXPECT_EQ(Hex(Fnv1a(file)), Hex(r.hash)) << r.left;
    }
}

TEST(JpegOutput, ReusedBuffersLeaveNoTrace) {
    // Coefficient arrays and recorded symbols are kept from one picture to the next; a picture
    // coded after another of the same size, or after a larger one, gives the same file as
    // coded first.
    const Dib picture = MakePreviewLike(80, 64, 4);
    const auto encode = [](const Dib& d) {
        cJpeg j;
        j.SetQuality(90);
        EXPECT_EQ(j.SampleHDC(&d, d.Width(), d.Height(), 0, 0), 0);
        return j.Encode();
    };
    const std::vector<uint8_t> first = encode(picture);
    EXPECT_FALSE(encode(MakeNoise(80, 64, 1)).empty());
    EXPECT_EQ(encode(picture), first);
    EXPECT_FALSE(encode(MakeNoise(640, 480, 2)).empty());
    EXPECT_EQ(encode(picture), first);
}
