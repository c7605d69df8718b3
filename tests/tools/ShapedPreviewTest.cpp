// Shaped previews from the built program: real skins with a region.txt get transparent corners,
// every other preview keeps exactly the pixels it had.
#include "PreviewToolFixture.h"

#include "GalleryManifest.h"
#include "SkinRender.h"
#include "SkinSources.h"

#include "platform/Png.h"
#include "rendering/SkinPreview.h"

#include <gtest/gtest.h>

#include <zlib.h>

using namespace veltrane;
using namespace veltrane::preview;
using namespace veltrane::test;

namespace {

const fs::path kCorpus = fs::path(VELTRANE_SHARED_DIR) / "corpus" / "skins";

// A PNG decoded by zlib and the filters written out here: 8-bit RGB or RGBA only.
struct Decoded {
    uint32_t width = 0, height = 0;
    int channels = 0;  // 3 or 4; 0 when the file could not be read
    std::vector<uint8_t> pixels;
    uint8_t Alpha(uint32_t x, uint32_t y) const { return channels == 4 ? pixels[(y * width + x) * 4 + 3] : 255; }
    std::vector<uint8_t> Rgb() const {
        std::vector<uint8_t> rgb;
        for (std::size_t i = 0; i < pixels.size(); i += std::size_t(channels))
            rgb.insert(rgb.end(), pixels.begin() + long(i), pixels.begin() + long(i) + 3);
        return rgb;
    }
};

uint32_t Big32(const std::string& s, std::size_t at) {
    return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 | uint32_t(uint8_t(s[at + 2])) << 8 |
           uint8_t(s[at + 3]);
}

Decoded DecodePng(const std::string& png) {
    Decoded d;
    std::string compressed;
    int type = -1;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = Big32(png, at);
        const std::string kind = png.substr(at + 4, 4);
        if (kind == "IHDR") {
            d.width = Big32(png, at + 8);
            d.height = Big32(png, at + 12);
            type = uint8_t(png[at + 17]);
        } else if (kind == "IDAT") {
            compressed += png.substr(at + 8, length);
        }
        at += 12 + length;
    }
    const int channels = type == 6 ? 4 : type == 2 ? 3 : 0;
    if (channels == 0) return d;
    const std::size_t stride = d.width * std::size_t(channels);
    std::vector<uint8_t> raw((stride + 1) * d.height);
    uLongf size = raw.size();
    if (uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(compressed.data()), compressed.size()) != Z_OK ||
        size != raw.size())
        return d;
    d.pixels.assign(stride * d.height, 0);
    for (uint32_t y = 0; y < d.height; ++y) {
        const uint8_t filter = raw[y * (stride + 1)];
        for (std::size_t i = 0; i < stride; ++i) {
            const int a = i >= std::size_t(channels) ? d.pixels[y * stride + i - std::size_t(channels)] : 0;
            const int b = y > 0 ? d.pixels[(y - 1) * stride + i] : 0;
            const int c =
                y > 0 && i >= std::size_t(channels) ? d.pixels[(y - 1) * stride + i - std::size_t(channels)] : 0;
            int predictor = 0;
            if (filter == 1) predictor = a;
            else if (filter == 2) predictor = b;
            else if (filter == 3) predictor = (a + b) / 2;
            else if (filter == 4) {
                const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                predictor = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            }
            d.pixels[y * stride + i] = uint8_t(raw[y * (stride + 1) + 1 + i] + predictor);
        }
    }
    d.channels = channels;
    return d;
}

class ShapedPreview : public PreviewTool {
protected:
    void SetUp() override {
        PreviewTool::SetUp();
        if (!fs::is_regular_file(kCorpus / "60.wsz") || !fs::is_regular_file(kCorpus / "AmigaPPC-dark.wsz"))
            GTEST_SKIP() << "no corpus";
    }
    // The preview as today's writer encodes it: opaque, our own compressor.
    static std::string UnshapedPng(const fs::path& archive) {
        Dib canvas;
        std::string error;
        EXPECT_TRUE(RenderSkinSource({SkinSource::Kind::Archive, archive.string(), archive.stem().string()}, "/tmp/",
                                     canvas, error))
            << error;
        return ziptest::toString(EncodePng(canvas));
    }
};

TEST_F(ShapedPreview, ASkinWithARegionGetsTransparentCornersAndKeepsItsPixels) {
    ASSERT_EQ(Run("-f png --shape -o " + Quoted(out) + " " + Quoted(kCorpus / "60.wsz")), 0) << Errors();
    const Decoded shaped = DecodePng(Read(out / "60.png"));
    ASSERT_EQ(shaped.channels, 4);
    ASSERT_EQ(shaped.width, 275u);
    ASSERT_EQ(shaped.height, 350u);
    // Its [Normal] outline cuts the main window's top corners; no [Equalizer] section.
    EXPECT_EQ(shaped.Alpha(0, 0), 0);
    EXPECT_EQ(shaped.Alpha(274, 0), 0);
    EXPECT_EQ(shaped.Alpha(14, 0), 255);
    EXPECT_EQ(shaped.Alpha(137, 58), 255);
    for (uint32_t y = 116; y < 350; ++y) EXPECT_EQ(shaped.Alpha(0, y), 255) << y;
    const Decoded plain = DecodePng(UnshapedPng(kCorpus / "60.wsz"));
    EXPECT_EQ(shaped.Rgb(), plain.pixels);

    // Without --shape the same skin stays opaque; JPEG and BMP have no transparency to offer.
    ASSERT_EQ(Run("-f png --force -o " + Quoted(out) + " " + Quoted(kCorpus / "60.wsz")), 0) << Errors();
    EXPECT_EQ(DecodePng(Read(out / "60.png")).pixels, plain.pixels);
    EXPECT_EQ(Run("-f jpg --shape -o " + Quoted(out) + " " + Quoted(kCorpus / "60.wsz")), 2);
}

TEST_F(ShapedPreview, ASkinWithoutARegionKeepsTodaysPicture) {
    ASSERT_EQ(Run("-f png --shape -o " + Quoted(out) + " " + Quoted(kCorpus / "AmigaPPC-dark.wsz")), 0) << Errors();
    const Decoded shaped = DecodePng(Read(out / "AmigaPPC-dark.png"));
    ASSERT_EQ(shaped.channels, 3);
    EXPECT_EQ(shaped.pixels, DecodePng(UnshapedPng(kCorpus / "AmigaPPC-dark.wsz")).pixels);
}

TEST_F(ShapedPreview, TheGalleryAndTheThumbnailAreShapedAndARerunKeepsTheFacts) {
    const fs::path gallery = root / "gallery";
    const std::string skins = Quoted(kCorpus / "60.wsz") + " " + Quoted(kCorpus / "AmigaPPC-dark.wsz");
    ASSERT_EQ(Run("--gallery " + Quoted(gallery) + " " + skins), 0) << Errors();
    EXPECT_EQ(DecodePng(Read(gallery / "previews" / "60.png")).Alpha(0, 0), 0);
    EXPECT_EQ(DecodePng(Read(gallery / "previews" / "AmigaPPC-dark.png")).channels, 3);
    const auto first = ParseManifest(Read(gallery / "manifest.txt")).records;
    ASSERT_EQ(first.size(), 2u);
    for (const GalleryRecord& record : first) {
        EXPECT_EQ(record.facts.hash.size(), 16u) << record.skin;
        EXPECT_EQ(record.facts.shaped, record.skin.ends_with("60.wsz")) << record.skin;
        EXPECT_EQ(record.facts.size, fs::file_size(record.skin)) << record.skin;
    }
    EXPECT_NE(first[0].facts.hash, first[1].facts.hash);

    ASSERT_EQ(Run("--gallery " + Quoted(gallery) + " " + skins), 0) << Errors();
    EXPECT_NE(Errors().find("0 rendered, 2 skipped"), std::string::npos) << Errors();
    const auto second = ParseManifest(Read(gallery / "manifest.txt")).records;
    ASSERT_EQ(second.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(SerializeFacts(second[i].facts), SerializeFacts(first[i].facts));
        EXPECT_EQ(second[i].format, "png");
    }

    ASSERT_EQ(Run("--thumbnail 128 " + Quoted(kCorpus / "60.wsz") + " " + Quoted(root / "thumb.png")), 0) << Errors();
    const Decoded thumbnail = DecodePng(Read(root / "thumb.png"));
    ASSERT_EQ(thumbnail.channels, 4);
    EXPECT_EQ(thumbnail.height, 128u);
    EXPECT_EQ(thumbnail.Alpha(0, 0), 0);
    EXPECT_EQ(thumbnail.Alpha(50, 20), 255);
}

}  // namespace
