#include "JpegOracle.h"
#include "imaging/cJpeg.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <system_error>
#include <unistd.h>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

Dib Uniform(int32_t w, int32_t h, RgbQuad c) {
    Dib d(w, h, 24);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) d.SetPixel(x, y, c);
    return d;
}

std::vector<uint8_t> EncodeWith(cJpeg& j, const Dib& d) {
    EXPECT_EQ(j.SampleHDC(&d, d.Width(), d.Height(), 0, 0), 0);
    return j.Encode();
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/veltrane-jpeg-XXXXXX";
        m_path = mkdtemp(name);
    }
    ~TempDir() { std::filesystem::remove_all(m_path); }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

}  // namespace

TEST(JpegFile, MidGreyBlockByteForByte) {
    cJpeg j;
    const std::vector<uint8_t> file = EncodeWith(j, Uniform(8, 8, RgbQuad{128, 128, 128, 0}));
    std::vector<uint8_t> expected = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',
                                     0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
    const uint8_t luminance95[64] = {2, 2,  2, 2, 2,  2,  2,  2,  2,  2, 2, 2,  2,  2,  3,  4,  3,  3,  3,  3, 3, 5,
                                     4, 4,  3, 4, 6,  6,  7,  6,  6,  6, 6, 6,  7,  8,  10, 8,  7,  7,  9,  7, 6, 6,
                                     8, 11, 9, 9, 10, 10, 11, 11, 11, 7, 8, 12, 13, 12, 10, 12, 10, 11, 11, 10};
    const uint8_t chrominanceHead[16] = {2, 2, 2, 3, 3, 3, 5, 3, 3, 5, 10, 7, 6, 7, 10, 10};
    expected.insert(expected.end(), {0xFF, 0xDB, 0x00, 0x43, 0x00});
    expected.insert(expected.end(), luminance95, luminance95 + 64);
    expected.insert(expected.end(), {0xFF, 0xDB, 0x00, 0x43, 0x01});
    expected.insert(expected.end(), chrominanceHead, chrominanceHead + 16);
    expected.insert(expected.end(), 48, 10);
    expected.insert(expected.end(), {0xFF, 0xC0, 0x00, 0x11, 0x08, 0x00, 0x08, 0x00, 0x08, 0x03, 0x01, 0x11, 0x00, 0x02,
                                     0x11, 0x01, 0x03, 0x11, 0x01});
    for (const uint8_t tableClass : {0x00, 0x10, 0x01, 0x11}) {
        // One symbol, 00, with the 1-bit code 0.
        expected.insert(expected.end(), {0xFF, 0xC4, 0x00, 0x14, tableClass, 0x01});
        expected.insert(expected.end(), 15, 0x00);
        expected.push_back(0x00);
    }
    expected.insert(expected.end(),
                    {0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3F, 0x00});
    expected.push_back(0x03);  // DC 0 and EOB for Y, Cb and Cr: six 0-bits, then two padding 1-bits
    expected.insert(expected.end(), {0xFF, 0xD9});
    ASSERT_EQ(expected.size(), 282u);
    EXPECT_EQ(file, expected);
}

TEST(JpegFile, GreyscaleFileHasOneTableOfEachKind) {
    cJpeg j;
    j.SetSamplingFrequencies(1, 1, 0, 0, 0, 0);
    const auto segments = SplitSegments(EncodeWith(j, MakePreviewLike(40, 24, 1)));
    std::vector<uint8_t> markers;
    for (const Segment& s : segments) markers.push_back(s.marker);
    EXPECT_EQ(markers, (std::vector<uint8_t>{0xD8, 0xE0, 0xDB, 0xC0, 0xC4, 0xC4, 0xDA, 0xD9}));
    EXPECT_EQ(segments[2].Length(), 67);
    EXPECT_EQ(segments[3].Length(), 11);
    EXPECT_EQ(segments[3].bytes, (std::vector<uint8_t>{0x00, 0x0B, 0x08, 0x00, 24, 0x00, 40, 0x01, 0x01, 0x11, 0x00}));
    EXPECT_EQ(segments[4].bytes[2], 0x00);  // DC table 0
    EXPECT_EQ(segments[5].bytes[2], 0x10);  // AC table 0
    const std::vector<uint8_t> sos(segments[6].bytes.begin(), segments[6].bytes.begin() + 8);
    EXPECT_EQ(sos, (std::vector<uint8_t>{0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00}));
}

TEST(JpegFile, SegmentLengthsCoverTheirBytes) {
    cJpeg j;
    j.SetComment("Veltrane");
    const auto segments = SplitSegments(EncodeWith(j, MakePreviewLike(100, 60, 2)));
    ASSERT_GE(segments.size(), 3u);
    EXPECT_EQ(segments.front().marker, 0xD8);
    EXPECT_EQ(segments.back().marker, 0xD9);
    for (const Segment& s : segments) {
        if (s.marker == 0xD8 || s.marker == 0xD9) continue;
        if (s.marker == 0xDA) {
            // The SOS length covers its header only; the coded data follows it.
            EXPECT_EQ(s.Length(), 6 + 2 * s.bytes[2]);
            EXPECT_GT(s.bytes.size(), size_t(s.Length()));
            continue;
        }
        EXPECT_EQ(size_t(s.Length()), s.bytes.size()) << "marker " << int(s.marker);
        if (s.marker == 0xC4) {
            int symbols = 0;
            for (int k = 0; k < 16; ++k) symbols += s.bytes[size_t(3 + k)];
            EXPECT_EQ(s.Length(), 19 + symbols);
        }
    }
    const Segment& com = segments[2];
    ASSERT_EQ(com.marker, 0xFE);
    EXPECT_EQ(com.bytes, (std::vector<uint8_t>{0x00, 0x0A, 'V', 'e', 'l', 't', 'r', 'a', 'n', 'e'}));
}

TEST(JpegFile, CommentIsWrittenInTheWindowsCodePage) {
    cJpeg j;
    j.SetComment("Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC");  // "Grüße €" in UTF-8: 7 characters
    auto segments = SplitSegments(EncodeWith(j, MakePreviewLike(8, 8, 3)));
    ASSERT_EQ(segments[2].marker, 0xFE);
    EXPECT_EQ(segments[2].bytes, (std::vector<uint8_t>{0x00, 0x09, 'G', 'r', 0xFC, 0xDF, 'e', ' ', 0x80}));
    j.SetComment("\xE2\x9C\x93");  // a check mark has no single-byte code
    EXPECT_THROW(j.Encode(), std::overflow_error);
}

TEST(JpegFile, NothingToCodeIsABadHuffmanTable) {
    cJpeg fresh;
    EXPECT_THROW(fresh.Encode(), JpegError);
    cJpeg j;
    const Dib d = MakePreviewLike(16, 16, 4);
    EXPECT_EQ(j.SampleHDC(&d, 0, 16, 0, 0), 0);
    EXPECT_THROW(j.Encode(), JpegError);
    // A failed sampling leaves no stale coefficients behind for the next SaveFile.
    EXPECT_EQ(j.SampleHDC(&d, 16, 16, 0, 0), 0);
    EXPECT_EQ(j.SampleHDC(nullptr, 16, 16, 0, 0), 1);
    EXPECT_THROW(j.Encode(), JpegError);
    EXPECT_EQ(j.SampleHDC(&d, -1, 16, 0, 0), 1);
    EXPECT_EQ(j.SampleHDC(&d, Dib::kMaxSide + 1, 8, 0, 0), 1);
}

TEST(JpegFile, QuantizerAbove255IsRefusedWhenWritten) {
    cJpeg j;
    const Dib picture = MakePreviewLike(8, 8, 6);
    ASSERT_EQ(j.SampleHDC(&picture, 8, 8, 0, 0), 0);
    j.QuantTables()[1].Qk[9] = 256;
    try {
        j.Encode();
        ADD_FAILURE() << "no error";
    } catch (const JpegError& e) {
        EXPECT_STREQ(e.what(), "Illegal precision in Quantisation Table");
    }
}

TEST(JpegFile, SaveFileNeverReplacesAFile) {
    TempDir dir;
    cJpeg j;
    const Dib picture = MakePreviewLike(30, 20, 5);
    ASSERT_EQ(j.SampleHDC(&picture, 30, 20, 0, 0), 0);
    EXPECT_EQ(j.SaveFile(""), 1);
    const auto path = dir / "Blue.jpg";
    ASSERT_EQ(j.SaveFile(path.string()), 0);
    EXPECT_EQ(ReadFile(path), j.Encode());  // the file is exactly the coded bytes, nothing spare
    { std::ofstream(path, std::ios::binary | std::ios::trunc) << "mine"; }
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    EXPECT_EQ(j.SaveFile(path.string()), 2);
    EXPECT_EQ(ReadFile(path), (std::vector<uint8_t>{'m', 'i', 'n', 'e'}));
    const auto hidden = dir / ".hidden.jpg";
    { std::ofstream(hidden) << "x"; }
    EXPECT_EQ(j.SaveFile(hidden.string()), 2);
    const auto dangling = dir / "link.jpg";
    std::filesystem::create_symlink(dir / "nowhere", dangling);
    EXPECT_EQ(j.SaveFile(dangling.string()), 2);
    EXPECT_FALSE(std::filesystem::exists(dir / "nowhere"));
    EXPECT_THROW(j.SaveFile((dir / "missing" / "x.jpg").string()), std::system_error);
}
