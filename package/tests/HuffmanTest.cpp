#include "huffman.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace tarrow;

namespace {

// Random code lengths of a complete prefix code: starts from two 1-bit codes and splits random codes
// into two one bit longer until there are `symbols` codes, none longer than maxLen.
std::vector<uint8_t> completeLengths(size_t symbols, unsigned maxLen, std::mt19937& rng) {
    std::vector<uint8_t> lens{1, 1};
    while (lens.size() < symbols) {
        size_t i = rng() % lens.size();
        if (lens[i] >= maxLen) {
            auto it = std::find_if(lens.begin(), lens.end(), [&](uint8_t l) { return l < maxLen; });
            if (it == lens.end()) break;
            i = size_t(it - lens.begin());
        }
        ++lens[i];
        lens.push_back(lens[i]);
    }
    std::shuffle(lens.begin(), lens.end(), rng);
    return lens;
}

// Canonical codes, most significant bit first, and the same bits reversed as the decoder reads them.
std::vector<uint32_t> readOrderCodes(const std::vector<uint8_t>& lens) {
    unsigned count[17] = {}, next[18] = {};
    for (uint8_t l : lens) ++count[l];
    count[0] = 0;
    for (unsigned len = 1; len <= 16; ++len) next[len + 1] = (next[len] + count[len]) << 1;
    std::vector<uint32_t> out(lens.size());
    for (size_t s = 0; s < lens.size(); ++s) {
        if (!lens[s]) continue;
        uint32_t code = next[lens[s]]++, rev = 0;
        for (unsigned i = 0; i < lens[s]; ++i) rev |= ((code >> i) & 1) << (lens[s] - 1 - i);
        out[s] = rev;
    }
    return out;
}

// Every symbol decodes from its code whatever bits follow, and dropping its length; with a complete
// code, every bit pattern decodes to some symbol.
void expectDecodes(const HuffmanTable& table, const std::vector<uint8_t>& lens, std::mt19937& rng) {
    std::vector<uint32_t> codes = readOrderCodes(lens);
    for (size_t s = 0; s < lens.size(); ++s) {
        if (!lens[s]) continue;
        for (int k = 0; k < 4; ++k) {
            uint64_t bits = codes[s] | (uint64_t(rng()) << lens[s]);
            uint32_t e = table.lookup(bits);
            ASSERT_FALSE(e & huff::kInvalid) << "symbol " << s;
            ASSERT_EQ(huff::value(e), s);
            ASSERT_EQ(huff::codeBits(e), lens[s]);
        }
    }
}

}  // namespace

TEST(HuffmanTable, RandomCompleteCodesDecodeEverySymbol) {
    std::mt19937 rng(7);
    struct Shape {
        size_t symbols;
        unsigned maxLen, rootBits;
    } shapes[] = {{19, 7, 7}, {30, 15, 6}, {288, 15, 9}, {288, 15, 10}, {256, 16, 9}, {2, 1, 9}, {286, 15, 8}};
    // One table object for all: stale entries of the previous code must not show through.
    HuffmanTable table;
    for (const Shape& shape : shapes)
        for (int round = 0; round < 30; ++round) {
            std::vector<uint8_t> lens = completeLengths(shape.symbols, shape.maxLen, rng);
            ASSERT_EQ(table.build(lens, uint32_t(lens.size()), {}, {}, shape.rootBits), TableResult::Ok);
            expectDecodes(table, lens, rng);
            for (uint32_t bits = 0; bits < (1u << shape.maxLen); bits += 1 + rng() % 7)
                ASSERT_FALSE(table.lookup(bits) & huff::kInvalid);
        }
}

TEST(HuffmanTable, IncompleteCodeDecodesItsSymbolsAndInvalidElsewhere) {
    std::mt19937 rng(11);
    HuffmanTable table;
    for (int round = 0; round < 40; ++round) {
        std::vector<uint8_t> lens = completeLengths(30 + rng() % 250, 15, rng);
        // Dropping the longest codes leaves unused space at the end of the code space (all ones).
        auto longest = std::max_element(lens.begin(), lens.end());
        unsigned maxLen = *longest;
        *longest = 0;
        ASSERT_EQ(table.build(lens, uint32_t(lens.size()), {}, {}, 9), TableResult::Incomplete);
        expectDecodes(table, lens, rng);
        ASSERT_TRUE(table.lookup((uint64_t(1) << maxLen) - 1) & huff::kInvalid);
        // Rebuilt complete in the same object, nothing invalid is left over.
        lens = completeLengths(lens.size(), 15, rng);
        ASSERT_EQ(table.build(lens, uint32_t(lens.size()), {}, {}, 9), TableResult::Ok);
        expectDecodes(table, lens, rng);
    }
}

TEST(HuffmanTable, SingleCodesAndOverSubscribedSets) {
    HuffmanTable table;
    // One 1-bit code is accepted as complete enough; its unused half decodes as invalid.
    std::vector<uint8_t> one(30, 0);
    one[4] = 1;
    EXPECT_EQ(table.build(one, 30, {}, {}, 6), TableResult::Ok);
    EXPECT_EQ(huff::value(table.lookup(0)), 4u);
    EXPECT_TRUE(table.lookup(1) & huff::kInvalid);
    // No codes at all: every lookup is invalid.
    EXPECT_EQ(table.build(std::vector<uint8_t>(30, 0), 30, {}, {}, 6), TableResult::Ok);
    EXPECT_TRUE(table.lookup(0) & huff::kInvalid);
    // Three 1-bit codes do not fit.
    EXPECT_EQ(table.build(std::vector<uint8_t>{1, 1, 1}, 3, {}, {}, 6), TableResult::OverSubscribed);
}

// The first level has 2^rootBits entries whatever the lengths, so a decoder can index it with a
// constant mask: codes shorter than it repeat across it, codes all longer than it live in sub-tables.
TEST(HuffmanTable, FirstLevelHasRootBitsEntriesWhateverTheLengths) {
    std::mt19937 rng(5);
    HuffmanTable table;
    const std::vector<uint8_t> short4{2, 2, 2, 2};
    ASSERT_EQ(table.build(short4, 4, {}, {}, 8), TableResult::Ok);
    ASSERT_EQ(table.rootBits(), 8u);
    const std::vector<uint32_t> codes = readOrderCodes(short4);
    for (uint32_t i = 0; i < 256; ++i) {
        const uint32_t e = table.entries()[i];
        ASSERT_EQ(codes[huff::value(e)], i & 3) << i;
        ASSERT_EQ(huff::codeBits(e), 2u);
    }

    const std::vector<uint8_t> long256(256, 8);
    ASSERT_EQ(table.build(long256, 256, {}, {}, 5), TableResult::Ok);
    ASSERT_EQ(table.rootBits(), 5u);
    for (uint32_t i = 0; i < 32; ++i) ASSERT_TRUE(table.entries()[i] & huff::kSubTable) << i;
    expectDecodes(table, long256, rng);

    // Empty and one-code sets fill the whole first level too.
    ASSERT_EQ(table.build(std::vector<uint8_t>(30, 0), 30, {}, {}, 8), TableResult::Ok);
    for (uint32_t i = 0; i < 256; ++i) ASSERT_TRUE(table.entries()[i] & huff::kInvalid) << i;
    std::vector<uint8_t> one(30, 0);
    one[7] = 1;
    ASSERT_EQ(table.build(one, 30, {}, {}, 8), TableResult::Ok);
    for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(bool(table.entries()[i] & huff::kInvalid), bool(i & 1)) << i;
}

// Symbols given as what they decode to: a base with extra bits uses them on top of its code.
TEST(HuffmanTable, SymbolsWithExtraBitsDropThemWithTheCode) {
    const std::vector<uint8_t> lens{1, 2, 2};
    const std::vector<uint32_t> symbols{huff::symbolLiteral(9), huff::symbolBase(100, 3), huff::kSymbolInvalid};
    HuffmanTable table;
    ASSERT_EQ(table.build(lens, symbols, 4), TableResult::Ok);
    const std::vector<uint32_t> codes = readOrderCodes(lens);
    const uint32_t lit = table.lookup(codes[0]);
    EXPECT_TRUE(lit & huff::kLiteral);
    EXPECT_EQ(huff::value(lit), 9u);
    EXPECT_EQ(huff::totalBits(lit), 1u);
    const uint32_t base = table.lookup(codes[1] | 0b101u << 2);
    EXPECT_EQ(huff::codeBits(base), 2u);
    EXPECT_EQ(huff::totalBits(base), 5u);
    EXPECT_EQ(huff::baseAndExtra(base, codes[1] | 0b101u << 2), 105u);
    EXPECT_TRUE(table.lookup(codes[2]) & huff::kInvalid);
}
