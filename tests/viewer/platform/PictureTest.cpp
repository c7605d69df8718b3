#include "platform/Picture.h"

#include "BmpWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace veltrane;
using namespace veltrane::test;

namespace {

bool Load(const std::vector<uint8_t>& file, Dib& out) { return LoadPictureFromMemory(file, out); }

void ExpectSameColors(const Dib& expected, const Dib& actual) {
    ASSERT_EQ(expected.Width(), actual.Width());
    ASSERT_EQ(expected.Height(), actual.Height());
    for (int32_t y = 0; y < expected.Height(); ++y)
        for (int32_t x = 0; x < expected.Width(); ++x)
            ASSERT_EQ(expected.GetPixel(x, y), actual.GetPixel(x, y)) << "at " << x << "," << y;
}

// An 8-bit bitmap 6 x 3 whose colour i is (i, 2i, 3i), for hand-written RLE streams.
Dib Rle8Canvas(int32_t width = 6, int32_t height = 3, int bitCount = 8) {
    Dib d(width, height, bitCount);
    RgbQuad table[256];
    for (int i = 0; i < 256; ++i) table[i] = RgbQuad{uint8_t(3 * i), uint8_t(2 * i), uint8_t(i), 0};
    d.SetColors(table, 256);
    return d;
}

// Index rows from the top, as a string of hex digits per row, for compact expectations.
std::vector<std::string> IndexRows(const Dib& d) {
    std::vector<std::string> rows;
    for (int32_t y = 0; y < d.Height(); ++y) {
        std::string row;
        for (int32_t x = 0; x < d.Width(); ++x) row += "0123456789abcdef"[d.PixelIndex(x, y) & 15];
        rows.push_back(row);
    }
    return rows;
}

}  // namespace

TEST(Picture, EveryDepthAndHeaderVersionLoadsPixelForPixel) {
    for (int depth : {1, 4, 8, 24, 32}) {
        for (uint32_t header : {12u, 40u, 52u, 56u, 108u, 124u}) {
            if (header == 12 && depth == 32) continue;  // the core header predates 32-bit pixels
            for (bool topDown : {false, true}) {
                if (header == 12 && topDown) continue;
                SCOPED_TRACE(testing::Message() << depth << " bit, header " << header << (topDown ? " top-down" : ""));
                const Dib source = PatternDib(13, 5, depth);
                BmpLayout layout;
                layout.headerSize = header;
                layout.topDown = topDown;
                Dib loaded;
                ASSERT_TRUE(Load(WriteBmp(source, layout), loaded));
                EXPECT_EQ(loaded.BitCount(), depth);  // paletted files stay paletted
                ExpectSameColors(source, loaded);
                if (depth <= 8) {
                    EXPECT_EQ(loaded.PixelIndex(4, 2), source.PixelIndex(4, 2));
                }
            }
        }
    }
}

TEST(Picture, SavedFilesLoadBackAsTwentyFourBitsFromEveryDepth) {
    const std::string path = testing::TempDir() + "veltrane_roundtrip_" + std::to_string(getpid()) + ".bmp";
    for (int depth : {1, 4, 8, 24, 32}) {
        const Dib source = PatternDib(7, 4, depth);
        ASSERT_TRUE(SavePicture(source, path));
        Dib loaded;
        ASSERT_TRUE(LoadPicture(path, loaded));
        EXPECT_EQ(loaded.BitCount(), 24);
        ExpectSameColors(source, loaded);
    }
    std::remove(path.c_str());
    EXPECT_FALSE(SavePicture(Dib(), path));
    EXPECT_FALSE(SavePicture(PatternDib(2, 2, 24), "/nonexistent-folder/x.bmp"));
}

TEST(Picture, SixteenBitPixelsBecomeTwentyFourBitWithFullScaleKept) {
    Dib shape(3, 1, 24);
    BmpLayout layout;
    layout.bitCount = 16;
    // 5-5-5 by default: white, pure red, and a mid blue of 16/31.
    layout.pixelData = {0xFF, 0x7F, 0x00, 0x7C, 0x10, 0x00, 0, 0};
    Dib loaded;
    ASSERT_TRUE(Load(WriteBmp(shape, layout), loaded));
    EXPECT_EQ(loaded.BitCount(), 24);
    EXPECT_EQ(loaded.GetPixel(0, 0), MakeColorRef(255, 255, 255));
    EXPECT_EQ(loaded.GetPixel(1, 0), MakeColorRef(255, 0, 0));
    EXPECT_EQ(loaded.GetPixel(2, 0), MakeColorRef(0, 0, 0x84));

    // 5-6-5 through bit fields: green has six bits.
    layout.compression = 3;
    layout.masks[0] = 0xF800;
    layout.masks[1] = 0x07E0;
    layout.masks[2] = 0x001F;
    layout.pixelData = {0xE0, 0x07, 0x00, 0xF8, 0x1F, 0x00, 0, 0};
    ASSERT_TRUE(Load(WriteBmp(shape, layout), loaded));
    EXPECT_EQ(loaded.GetPixel(0, 0), MakeColorRef(0, 255, 0));
    EXPECT_EQ(loaded.GetPixel(1, 0), MakeColorRef(255, 0, 0));
    EXPECT_EQ(loaded.GetPixel(2, 0), MakeColorRef(0, 0, 255));
}

// Decoding does not zero the bitmap first: the padding of every line, and the spare byte of
// 32-bit pixels, must still come out zero, whatever the reused memory held.
TEST(Picture, PaddingAndSpareBytesAreZeroInReusedMemory) {
    struct Case {
        int32_t width;
        uint16_t bitCount;  // as stored in the file
        uint32_t compression;
    };
    for (const Case c : {Case{5, 24, 0}, Case{3, 16, 0}, Case{7, 8, 0}, Case{9, 1, 0}, Case{2, 32, 3}}) {
        SCOPED_TRACE(testing::Message() << c.bitCount << " bit, width " << c.width);
        Dib source = PatternDib(c.width, 3, c.bitCount == 16 ? 24 : c.bitCount);
        BmpLayout layout;
        layout.bitCount = c.bitCount;
        layout.compression = c.compression;
        if (c.compression == 3) layout.masks[0] = 0xFF0000, layout.masks[1] = 0xFF00, layout.masks[2] = 0xFF;
        if (c.bitCount == 16) layout.pixelData.assign(3 * 8, 0x5A);
        const std::vector<uint8_t> file = WriteBmp(source, layout);
        Dib loaded;
        for (int round = 0; round < 3; ++round) {
            {
                // Memory of the loaded bitmap's size, dirtied and freed, for the decoder to reuse.
                Dib dirty(c.width, 3, c.bitCount == 16 ? 24 : c.bitCount);
                std::fill(dirty.Bits(), dirty.Bits() + dirty.SizeInBytes(), uint8_t(0xAB));
                loaded.Clear();
            }
            ASSERT_TRUE(Load(file, loaded));
            const std::size_t used = (std::size_t(loaded.Width()) * std::size_t(loaded.BitCount()) + 7) / 8;
            for (int32_t y = 0; y < loaded.Height(); ++y) {
                const uint8_t* row = static_cast<const Dib&>(loaded).Row(y);
                for (std::size_t i = used; i < std::size_t(loaded.Stride()); ++i) {
                    ASSERT_EQ(row[i], 0) << y << " " << i;
                }
                for (int32_t x = 0; loaded.BitCount() == 32 && x < loaded.Width(); ++x) {
                    ASSERT_EQ(row[4 * x + 3], 0) << x;
                }
            }
        }
    }
}

TEST(Picture, ThirtyTwoBitFieldsInAnyOrderAndMasksInsideLongHeaders) {
    Dib shape(1, 1, 32);
    for (uint32_t header : {40u, 56u, 124u}) {
        BmpLayout layout;
        layout.headerSize = header;
        layout.compression = 3;
        layout.masks[0] = 0x000000FF;  // red in the lowest byte
        layout.masks[1] = 0x0000FF00;
        layout.masks[2] = 0x00FF0000;
        layout.pixelData = {0x11, 0x22, 0x33, 0x44};
        Dib loaded;
        ASSERT_TRUE(Load(WriteBmp(shape, layout), loaded)) << header;
        EXPECT_EQ(loaded.GetPixel(0, 0), MakeColorRef(0x11, 0x22, 0x33)) << header;
    }
    BmpLayout broken;
    broken.compression = 3;
    broken.masks[0] = 0x00F0F000;  // not contiguous
    broken.pixelData = {1, 2, 3, 4};
    Dib loaded;
    EXPECT_FALSE(Load(WriteBmp(shape, broken), loaded));
}

TEST(Picture, Rle8RunsLiteralsLineEndsAndDeltasLandWhereTheyShould) {
    const Dib canvas = Rle8Canvas();
    BmpLayout layout;
    layout.compression = 1;
    layout.sizeImage = 12345;  // wrong on purpose: only the data itself counts
    layout.pixelData = {
        3, 1, 0, 3, 2, 3, 4, 0,  // bottom line: run of three 1s, literal 2 3 4 (odd: padded)
        0, 0,                    // end of line
        0, 2, 2, 1,              // delta: two right, one up (into the top line)
        2, 5,                    // the top line from x 2: 5 5
        0, 1,                    // end of bitmap
    };
    Dib loaded;
    ASSERT_TRUE(Load(WriteBmp(canvas, layout), loaded));
    // Skipped pixels keep index 0; the middle line is never written.
    EXPECT_EQ(IndexRows(loaded), (std::vector<std::string>{"005500", "000000", "111234"}));
    EXPECT_EQ(loaded.BitCount(), 8);
    EXPECT_EQ(loaded.GetPixel(2, 0), MakeColorRef(5, 10, 15));
}

TEST(Picture, DeltaKeepsTheColumnWhenItMovesUp) {
    const Dib canvas = Rle8Canvas(4, 2);
    BmpLayout layout;
    layout.compression = 1;
    layout.pixelData = {1, 7, 0, 2, 1, 1, 1, 9, 0, 1};  // 7 at (0,bottom), then one right and one up: 9
    Dib loaded;
    ASSERT_TRUE(Load(WriteBmp(canvas, layout), loaded));
    EXPECT_EQ(IndexRows(loaded), (std::vector<std::string>{"0090", "7000"}));
}

TEST(Picture, Rle4AlternatesNibblesAndPadsOddLiterals) {
    const Dib canvas = Rle8Canvas(7, 2, 4);
    BmpLayout layout;
    layout.compression = 2;
    layout.pixelData = {
        5, 0x12, 0,    0,           // bottom: 1 2 1 2 1
        0, 3,    0xAB, 0xC0, 0, 0,  // top: literal A B C (two bytes, already even)
        0, 1,
    };
    Dib loaded;
    ASSERT_TRUE(Load(WriteBmp(canvas, layout), loaded));
    EXPECT_EQ(loaded.BitCount(), 4);
    EXPECT_EQ(IndexRows(loaded), (std::vector<std::string>{"abc0000", "1212100"}));
}

TEST(Picture, RunsPastTheLineEndAreDroppedNotWrappedAndMovesPastTheTopEnd) {
    const Dib canvas = Rle8Canvas(4, 2);
    BmpLayout layout;
    layout.compression = 1;
    layout.pixelData = {9, 3, 0, 6, 1, 2, 3, 4, 5, 6, 0, 0, 0, 2, 0, 200};  // ends with a delta out of the bitmap
    Dib loaded;
    ASSERT_TRUE(Load(WriteBmp(canvas, layout), loaded));
    EXPECT_EQ(IndexRows(loaded), (std::vector<std::string>{"0000", "3333"}));
}

TEST(Picture, ShortColourTablesAndOutOfRangeIndicesReadAsBlack) {
    Dib source = PatternDib(4, 1, 8);
    for (int x = 0; x < 4; ++x) source.SetPixelIndex(x, 0, x == 3 ? 200 : x);
    BmpLayout layout;
    layout.colorsUsed = 3;
    Dib loaded;
    ASSERT_TRUE(Load(WriteBmp(source, layout), loaded));
    EXPECT_EQ(loaded.BitCount(), 8);
    EXPECT_EQ(loaded.GetPixel(1, 0), source.GetPixel(1, 0));
    EXPECT_EQ(loaded.PixelIndex(3, 0), 200);
    EXPECT_EQ(loaded.GetPixel(3, 0), MakeColorRef(0, 0, 0));
}

TEST(Picture, ColourTableCutShortByTheDataOffset) {
    // The header claims a full table, but the pixel data starts after two entries.
    Dib source = PatternDib(2, 1, 8);
    source.SetPixelIndex(1, 0, 1);
    std::vector<uint8_t> file = WriteBmp(source);
    const std::size_t twoEntries = 14 + 40 + 8;
    std::vector<uint8_t> shortFile(file.begin(), file.begin() + twoEntries);
    shortFile.insert(shortFile.end(), file.end() - 4, file.end());
    Put32(shortFile, 10, uint32_t(twoEntries));
    Dib loaded;
    ASSERT_TRUE(Load(shortFile, loaded));
    EXPECT_EQ(loaded.GetPixel(0, 0), source.GetPixel(0, 0));
    EXPECT_EQ(loaded.GetPixel(1, 0), source.GetPixel(1, 0));
}

TEST(Picture, EveryTruncationOfAValidFileFailsAndLeavesTheTargetAlone) {
    for (int depth : {4, 24}) {
        const std::vector<uint8_t> file = WriteBmp(PatternDib(9, 4, depth));
        for (std::size_t n = 0; n + 4 < file.size(); ++n) {  // the last line's padding may go missing
            std::vector<uint8_t> prefix(file.begin(), file.begin() + std::ptrdiff_t(n));
            Dib target(1, 1, 24);
            EXPECT_FALSE(Load(prefix, target)) << depth << " bit, " << n << " bytes";
            EXPECT_EQ(target.Width(), 1);
        }
    }
    const Dib canvas = Rle8Canvas(4, 2);
    BmpLayout rle;
    rle.compression = 1;
    rle.pixelData = {4, 1, 0, 0, 4, 2, 0};  // stops inside a command, before the end marker
    Dib loaded;
    EXPECT_FALSE(Load(WriteBmp(canvas, rle), loaded));
    rle.pixelData = {0, 5, 1, 2};  // a literal longer than the data left
    EXPECT_FALSE(Load(WriteBmp(canvas, rle), loaded));
}

TEST(Picture, HostileHeadersFailCleanly) {
    const std::vector<uint8_t> good = WriteBmp(PatternDib(4, 4, 8));
    auto patched = [&](std::size_t at, uint32_t value, bool wide = true) {
        std::vector<uint8_t> f = good;
        if (wide) Put32(f, at, value);
        else Put16(f, at, value);
        return f;
    };
    Dib target;
    EXPECT_FALSE(Load({}, target));
    EXPECT_FALSE(Load(patched(0, 0x4D42 ^ 0x0101, false), target));  // not "BM"
    EXPECT_FALSE(Load(patched(14, 41), target));                     // unknown header size
    EXPECT_FALSE(Load(patched(14, 0xFFFFFFFF), target));
    EXPECT_FALSE(Load(patched(18, 0x7FFFFFFF), target));  // width
    EXPECT_FALSE(Load(patched(18, 0), target));
    EXPECT_FALSE(Load(patched(18, 0xFFFFFFFC), target));  // negative width
    EXPECT_FALSE(Load(patched(22, 0x80000000), target));  // the height with no positive twin
    EXPECT_FALSE(Load(patched(22, 0x7FFFFFFF), target));
    EXPECT_FALSE(Load(patched(22, 0), target));
    EXPECT_FALSE(Load(patched(28, 7, false), target));  // bit count
    EXPECT_FALSE(Load(patched(28, 0, false), target));
    EXPECT_FALSE(Load(patched(30, 2), target));           // RLE4 on an 8-bit file
    EXPECT_FALSE(Load(patched(30, 4), target));           // embedded JPEG
    EXPECT_FALSE(Load(patched(10, 0xFFFFFFF0), target));  // data beyond the file
    EXPECT_FALSE(Load(patched(10, 20), target));          // data inside the header
    EXPECT_TRUE(target.Empty());

    // Within the side bounds, but more pixels than any Dib may hold, from a few bytes of RLE.
    std::vector<uint8_t> bomb = patched(30, 1);
    Put32(bomb, 18, uint32_t(Dib::kMaxSide));
    Put32(bomb, 22, uint32_t(Dib::kMaxSide));
    EXPECT_FALSE(Load(bomb, target));
}

TEST(Picture, MissingOrUnreadableFilesFail) {
    Dib target;
    EXPECT_FALSE(LoadPicture("/nonexistent/none.bmp", target));
    EXPECT_FALSE(LoadPicture(testing::TempDir(), target));  // a folder
    const std::string pipe = testing::TempDir() + "veltrane_pipe_" + std::to_string(getpid()) + ".bmp";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_FALSE(LoadPicture(pipe, target));  // must not wait for a writer
    std::remove(pipe.c_str());
}

TEST(Picture, APixelBoundRefusesFromTheHeaderAndTheGeneralBoundStays) {
    // A run-length file of 4 M zero pixels is a few kilobytes; decoded it would be 4 MiB.
    Dib big = Rle8Canvas(2048, 2048);
    BmpLayout rle;
    rle.compression = 1;
    for (int32_t y = 0; y < 2048; ++y) {
        for (int i = 0; i < 8; ++i) rle.pixelData.insert(rle.pixelData.end(), {255, 0});
        rle.pixelData.insert(rle.pixelData.end(), {8, 0, 0, 0});
    }
    rle.pixelData.insert(rle.pixelData.end(), {0, 1});
    const std::vector<uint8_t> file = WriteBmp(big, rle);
    Dib slot = Rle8Canvas();
    EXPECT_FALSE(LoadPictureFromMemory(file, slot, int64_t(2048) * 2048 - 1));
    EXPECT_EQ(slot.Width(), 6);  // unchanged
    EXPECT_FALSE(LoadPictureFile(file, slot, int64_t(1) << 20));
    EXPECT_TRUE(LoadPictureFromMemory(file, slot, int64_t(2048) * 2048));
    EXPECT_TRUE(LoadPictureFile(file, slot));  // the general bound of other callers
    EXPECT_EQ(slot.Width(), 2048);
    // A file larger than any bitmap of the bound could be is not read at all.
    EXPECT_FALSE(LoadPictureFile(std::vector<uint8_t>(MaxPictureFileSize(16) + 1, 'B'), slot, 16));
}
