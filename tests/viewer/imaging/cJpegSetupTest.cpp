#include "imaging/cJpeg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <set>

using namespace veltrane;

namespace {

// Quality 95 in zig-zag order, worked out by hand from T.81 Tables K.1 and K.2.
constexpr uint16_t kLuminance95[64] = {2, 2,  2, 2, 2,  2,  2,  2,  2,  2, 2, 2,  2,  2,  3,  4,  3,  3,  3,  3, 3, 5,
                                       4, 4,  3, 4, 6,  6,  7,  6,  6,  6, 6, 6,  7,  8,  10, 8,  7,  7,  9,  7, 6, 6,
                                       8, 11, 9, 9, 10, 10, 11, 11, 11, 7, 8, 12, 13, 12, 10, 12, 10, 11, 11, 10};
constexpr uint16_t kChrominance95Head[16] = {2, 2, 2, 3, 3, 3, 5, 3, 3, 5, 10, 7, 6, 7, 10, 10};

template <size_t N>
void ExpectPrefix(const std::array<uint16_t, 64>& table, const uint16_t (&expected)[N]) {
    for (size_t k = 0; k < N; ++k) EXPECT_EQ(table[k], expected[k]) << "position " << k;
}

void ExpectThrowsMessage(const std::function<void()>& f, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "no error, expected " << message;
    } catch (const JpegError& e) {
        EXPECT_EQ(e.what(), message);
        EXPECT_EQ(e.Number(), 1);
    }
}

}  // namespace

TEST(cJpegSetup, ZigZagFollowsTheT81Walk) {
    cJpeg j;
    const std::array<int32_t, 8> first = {0, 1, 5, 6, 14, 15, 27, 28};
    const std::array<int32_t, 8> last = {35, 36, 48, 49, 57, 58, 62, 63};
    EXPECT_EQ(j.ZigZag()[0], first);
    EXPECT_EQ(j.ZigZag()[7], last);
    EXPECT_EQ(j.ZigZag()[1][0], 2);  // after (0, 1) the walk turns down-left
    std::array<bool, 64> seen{};
    for (const auto& row : j.ZigZag())
        for (const int32_t z : row) seen[size_t(z)] = true;
    EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](bool b) { return b; }));
}

TEST(cJpegSetup, DefaultQuality95Tables) {
    cJpeg j;
    EXPECT_EQ(j.Quality(), 95);
    ExpectPrefix(j.QuantTables()[0].Qk, kLuminance95);
    ExpectPrefix(j.QuantTables()[1].Qk, kChrominance95Head);
    for (size_t k = 16; k < 64; ++k) EXPECT_EQ(j.QuantTables()[1].Qk[k], 10);
}

TEST(cJpegSetup, Quality50RoundsOddBaseValuesToEven) {
    cJpeg j;
    j.SetQuality(50);
    ExpectPrefix(j.QuantTables()[0].Qk, {16, 12, 12, 14, 12, 10, 16, 14, 14, 14, 18, 18});
    // Odd base values become the next even number: (b * 100 + 50) / 100 = b + 0.5, ties to even.
    for (size_t k = 0; k < 64; ++k) {
        const uint16_t base = j.BaseLuminanceTable()[k];
        EXPECT_EQ(j.QuantTables()[0].Qk[k], base % 2 ? base + 1 : base);
    }
}

TEST(cJpegSetup, QualityExtremesClampAndOutOfRangeIsIgnored) {
    cJpeg j;
    j.SetQuality(100);
    for (const QuantTable& t : {j.QuantTables()[0], j.QuantTables()[1]})
        EXPECT_TRUE(std::all_of(t.Qk.begin(), t.Qk.end(), [](uint16_t q) { return q == 1; }));
    j.SetQuality(1);
    for (const QuantTable& t : {j.QuantTables()[0], j.QuantTables()[1]})
        EXPECT_TRUE(std::all_of(t.Qk.begin(), t.Qk.end(), [](uint16_t q) { return q == 255; }));
    const auto before = j.QuantTables()[0].Qk;
    j.SetQuality(0);
    j.SetQuality(101);
    EXPECT_EQ(j.Quality(), 1);
    EXPECT_EQ(j.QuantTables()[0].Qk, before);
    j.SetQuality(16);                         // scale 5000 / 16 = 312.5, ties to even: 312
    EXPECT_EQ(j.QuantTables()[0].Qk[0], 50);  // (16 * 312 + 50) / 100 = 50.42
}

TEST(cJpegSetup, DivisorsUndoTheTransformScale) {
    cJpeg j;
    j.SetQuality(50);
    // DC: 1 / (sqrt(8) * sqrt(8)) / 16; zig-zag 1 is row 0, column 1.
    EXPECT_FLOAT_EQ(j.QuantTables()[0].Divisor[0], float(0.125 / 16));
    EXPECT_FLOAT_EQ(j.QuantTables()[0].Divisor[1], float(0.353553390593273 * 0.25489778955208 / 12));
    j.QuantTables()[1].Qk[5] = 0;
    ExpectThrowsMessage([&] { j.PrepareQuantTable(1); }, "Bad Quantization Table");
    j.QuantTables()[1].Qk[5] = 256;
    ExpectThrowsMessage([&] { j.PrepareQuantTable(1); }, "Bad Quantization Table");
}

TEST(cJpegSetup, SamplingFactorsAreChecked) {
    cJpeg j;
    j.SetSamplingFrequencies(2, 2, 0, 0, 0, 0);
    ASSERT_EQ(j.ComponentCount(), 1);
    EXPECT_EQ(j.Components()[0].H, 1);
    EXPECT_EQ(j.Components()[0].V, 1);
    EXPECT_EQ(j.MaxH(), 1);
    ExpectThrowsMessage([&] { j.SetSamplingFrequencies(2, 2, 1, 1, 1, 0); }, "Invalid Sampling Value");
    ExpectThrowsMessage([&] { j.SetSamplingFrequencies(5, 1, 1, 1, 1, 1); }, "Invalid Sampling Value");
    ExpectThrowsMessage([&] { j.SetSamplingFrequencies(0, 1, 0, 0, 0, 0); }, "Invalid Sampling Value");
    j.SetSamplingFrequencies(2, 1, 1, 1, 1, 3);
    ASSERT_EQ(j.ComponentCount(), 3);
    EXPECT_EQ(j.MaxH(), 2);
    EXPECT_EQ(j.MaxV(), 3);
    EXPECT_EQ(j.Components()[2].Tq, 1);
}

TEST(cJpegSetup, CommentLengthIsLimited) {
    cJpeg j;
    j.SetComment("kept");
    ExpectThrowsMessage([&] { j.SetComment(std::string(65534, 'x')); }, "Illegal Comment Length");
    EXPECT_EQ(j.Comment(), "kept");
    j.SetComment(std::string(65533, 'x'));
    EXPECT_EQ(j.Comment().size(), 65533u);
}

// ---- Huffman tables ----

namespace {

// Code lengths of the symbols of a table, and the check that the table is a prefix code that
// leaves the all-1-bits code free.
std::map<int, int> LengthsOf(const HuffmanTable& t) {
    std::map<int, int> lengths;
    size_t next = 0;
    for (int l = 1; l <= 16; ++l)
        for (int n = 0; n < t.Bits[size_t(l - 1)]; ++n) lengths[t.HuffVal[next++]] = l;
    return lengths;
}

}  // namespace

TEST(cJpegHuffman, SingleSymbolGetsAOneBitCode) {
    HuffmanTable t;
    SymbolCounts counts{};
    counts[0x42] = 7;
    cJpeg::GenerateHuffmanTable(t, counts);
    EXPECT_EQ(t.Bits[0], 1);
    EXPECT_EQ(std::accumulate(t.Bits.begin(), t.Bits.end(), 0), 1);
    EXPECT_EQ(t.HuffVal[0], 0x42);
    EXPECT_TRUE(std::all_of(counts.begin(), counts.end(), [](int32_t c) { return c == 0; }));
    cJpeg::BuildHuffmanCodes(t, 255);
    EXPECT_EQ(t.CodeSize[0x42], 1u);
    EXPECT_EQ(t.Code[0x42], 0u);
}

TEST(cJpegHuffman, FrequentSymbolsGetShorterCodes) {
    HuffmanTable t;
    SymbolCounts counts{};
    counts[1] = 1000, counts[2] = 100, counts[3] = 10, counts[4] = 1;
    cJpeg::GenerateHuffmanTable(t, counts);
    const auto lengths = LengthsOf(t);
    EXPECT_EQ(lengths.at(1), 1);
    EXPECT_EQ(lengths.at(2), 2);
    EXPECT_EQ(lengths.at(3), 3);
    EXPECT_EQ(lengths.at(4), 4);  // the reserved symbol took 1111, so 1110 is the longest code
    cJpeg::BuildHuffmanCodes(t, 255);
    EXPECT_EQ(t.Code[4], 0b1110u);
    EXPECT_EQ(t.CodeSize[4], 8u);
}

TEST(cJpegHuffman, RandomCountsNeverGiveCodesBeyond16Bits) {
    std::mt19937 rng(6);
    for (int round = 0; round < 300; ++round) {
        SymbolCounts counts{};
        const int symbols = 1 + int(rng() % 256);
        // Fibonacci-like and exponential counts force the deepest trees; mix in random ones.
        const int style = round % 3;
        int64_t a = 1, b = 1;
        for (int i = 0; i < symbols; ++i) {
            const int s = int(rng() % 256);
            if (style == 0) {
                counts[size_t(s)] = int32_t(a);
                const int64_t c = std::min<int64_t>(a + b, 1 << 30);
                a = b;
                b = c;
            } else if (style == 1) {
                counts[size_t(s)] = int32_t(1) << (rng() % 31);
            } else {
                counts[size_t(s)] = int32_t(rng() % 1000000 + 1);
            }
        }
        std::set<int> used;
        for (int s = 0; s < 256; ++s)
            if (counts[size_t(s)] > 0) used.insert(s);
        HuffmanTable t;
        cJpeg::GenerateHuffmanTable(t, counts);
        const auto lengths = LengthsOf(t);
        ASSERT_EQ(lengths.size(), used.size()) << "round " << round;
        for (const auto& [symbol, length] : lengths) {
            EXPECT_TRUE(used.count(symbol));
            EXPECT_LE(length, 16);
        }
        EXPECT_NO_THROW(cJpeg::BuildHuffmanCodes(t, 255)) << "round " << round;  // a valid prefix code
    }
}

TEST(cJpegHuffman, BuildRejectsBrokenTables) {
    HuffmanTable empty;
    ExpectThrowsMessage([&] { cJpeg::BuildHuffmanCodes(empty, 255); }, "Bad Huffman Table");
    HuffmanTable full;  // two 1-bit codes would use the all-1-bits code
    full.Bits[0] = 2;
    full.HuffVal[0] = 0, full.HuffVal[1] = 1;
    ExpectThrowsMessage([&] { cJpeg::BuildHuffmanCodes(full, 255); }, "Bad Huffman Table");
    HuffmanTable twice;
    twice.Bits[1] = 2;
    twice.HuffVal[0] = 5, twice.HuffVal[1] = 5;
    ExpectThrowsMessage([&] { cJpeg::BuildHuffmanCodes(twice, 255); }, "Bad Huffman Table");
    HuffmanTable dc;
    dc.Bits[0] = 1;
    dc.HuffVal[0] = 12;  // DC categories end at 11
    ExpectThrowsMessage([&] { cJpeg::BuildHuffmanCodes(dc, 11); }, "Bad Huffman Table");
}
