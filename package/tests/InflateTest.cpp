#include "inflate.h"

#include "DecodeTestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace tarrow;
using namespace tarrow::test;

namespace {

DecodeStatus run(const Bytes& stream, CollectSink& sink, uint64_t limit = UINT64_MAX, size_t chunk = SIZE_MAX) {
    MemorySource source(stream, chunk);
    return inflate(source, sink, limit);
}

// A fixed-code block that ends right after the given symbols were written by `body`.
template <typename Body>
Bytes fixedBlock(Body body) {
    BitWriter w;
    w.bits(1, 1);  // last block
    w.bits(1, 2);  // fixed codes
    body(w);
    w.fixedLiteral(256);
    return w.finish();
}

// Code-length code used by the hand-made dynamic headers: symbols 0-12 get 4 bits, 13-18 get 5 bits,
// which fills the code space exactly.
void codeLengthHeader(BitWriter& w) {
    static const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    w.bits(19 - 4, 4);
    for (uint8_t sym : order) w.bits(sym <= 12 ? 4 : 5, 3);
}
void codeLength(BitWriter& w, unsigned sym) {
    if (sym <= 12) w.code(sym, 4);
    else w.code(0b11010 + (sym - 13), 5);
}

// A dynamic block header with the given literal/length and distance code lengths.
void dynamicHeader(const std::vector<uint8_t>& lit, const std::vector<uint8_t>& dist, BitWriter& w) {
    w.bits(1, 1);
    w.bits(2, 2);
    w.bits(uint32_t(lit.size() - 257), 5);
    w.bits(uint32_t(dist.size() - 1), 5);
    codeLengthHeader(w);
    for (uint8_t l : lit) codeLength(w, l);
    for (uint8_t l : dist) codeLength(w, l);
}

}  // namespace

TEST(Inflate, RoundTripsEveryZlibLevelAndStrategy) {
    const Bytes input = sampleData(200000, 7);
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) {
        for (int level = 0; level <= 9; ++level) {
            CollectSink sink;
            ASSERT_EQ(run(zlibDeflate(input, level, strategy), sink), DecodeStatus::Ok)
                << "level " << level << " strategy " << strategy;
            ASSERT_EQ(sink.data, input) << "level " << level << " strategy " << strategy;
        }
    }
}

TEST(Inflate, InputInSmallChunksDecodesTheSame) {
    const Bytes input = sampleData(100000, 3);
    for (int level : {0, 1, 6, 9}) {
        const Bytes stream = zlibDeflate(input, level);
        for (size_t chunk : {1, 3, 8, 9, 4093}) {
            CollectSink sink;
            ASSERT_EQ(run(stream, sink, UINT64_MAX, chunk), DecodeStatus::Ok) << level << "/" << chunk;
            ASSERT_EQ(sink.data, input) << level << "/" << chunk;
        }
    }
}

TEST(Inflate, HandsOutputOnIn32KBlocks) {
    const Bytes input = sampleData(70000, 5);
    CollectSink sink;
    ASSERT_EQ(run(zlibDeflate(input, 6), sink), DecodeStatus::Ok);
    EXPECT_EQ(sink.blocks, (std::vector<size_t>{32768, 32768, 4464}));
}

TEST(Inflate, LongestLengthAtFarthestDistance) {
    // 32768 literals, then a copy of 258 bytes from 32768 back, then one of 258 from 1 back.
    Bytes expected = sampleData(32768, 11);
    Bytes stream = fixedBlock([&](BitWriter& w) {
        for (uint8_t b : expected) w.fixedLiteral(b);
        w.fixedLiteral(285);  // length 258
        w.code(29, 5);        // distance base 24577, 13 extra bits
        w.bits(32768 - 24577, 13);
        w.fixedLiteral(285);
        w.code(0, 5);  // distance 1
    });
    Bytes first(expected.begin(), expected.begin() + 258);
    expected.insert(expected.end(), first.begin(), first.end());
    expected.insert(expected.end(), 258, first.back());
    CollectSink sink;
    ASSERT_EQ(run(stream, sink), DecodeStatus::Ok);
    EXPECT_EQ(sink.data, expected);
}

TEST(Inflate, ShortDistanceRunsOfEveryPeriodAndLength) {
    // Runs of a 2- to 7-byte pattern (as 24- and 32-bit pixels make) of every length from 1 to 300,
    // each after a fresh pattern, so that the matches are the run's own.
    std::mt19937 rng(23);
    Bytes input;
    for (size_t period = 2; period <= 7; ++period)
        for (size_t length = 1; length <= 300; ++length) {
            Bytes pattern(period);
            for (uint8_t& b : pattern) b = uint8_t(rng());
            for (size_t i = 0; i < period + length; ++i) input.push_back(pattern[i % period]);
        }
    for (int level : {1, 9}) {
        CollectSink sink;
        ASSERT_EQ(run(zlibDeflate(input, level), sink), DecodeStatus::Ok);
        ASSERT_EQ(sink.data, input) << level;
    }
}

TEST(Inflate, DistanceBeforeTheFirstByteReadsZeros) {
    Bytes stream = fixedBlock([](BitWriter& w) {
        w.fixedLiteral('A');
        w.fixedLiteral(257);  // length 3
        w.code(2, 5);         // distance 3
    });
    CollectSink sink;
    ASSERT_EQ(run(stream, sink), DecodeStatus::Ok);
    EXPECT_EQ(sink.data, (Bytes{'A', 0, 0, 'A'}));
}

TEST(Inflate, ReservedBlockTypeIsBadInput) {
    BitWriter w;
    w.bits(1, 1);
    w.bits(3, 2);
    CollectSink sink;
    EXPECT_EQ(run(w.finish(), sink), DecodeStatus::BadInput);
}

TEST(Inflate, StoredBlockWithWrongComplementIsDataError) {
    Bytes stream{0x01, 0x05, 0x00, 0xfa, 0xfe, 'h', 'e', 'l', 'l', 'o'};
    CollectSink sink;
    EXPECT_EQ(run(stream, sink), DecodeStatus::DataError);
    stream[4] = 0xff;  // now NLEN = ~LEN
    EXPECT_EQ(run(stream, sink), DecodeStatus::Ok);
    EXPECT_EQ(sink.data, (Bytes{'h', 'e', 'l', 'l', 'o'}));
}

TEST(Inflate, TruncatedStreamsAreDataErrors) {
    const Bytes stream = zlibDeflate(sampleData(50000, 2), 6);
    for (size_t keep : {size_t(0), size_t(1), size_t(100), stream.size() / 2, stream.size() - 1}) {
        CollectSink sink;
        EXPECT_EQ(run(Bytes(stream.begin(), stream.begin() + keep), sink), DecodeStatus::DataError) << keep;
    }
}

TEST(Inflate, OverSubscribedCodeLengthCodeIsBadInput) {
    BitWriter w;
    w.bits(1, 1);
    w.bits(2, 2);
    w.bits(0, 5);
    w.bits(0, 5);
    w.bits(19 - 4, 4);
    for (int i = 0; i < 19; ++i) w.bits(1, 3);  // nineteen 1-bit codes
    CollectSink sink;
    EXPECT_EQ(run(w.finish(), sink), DecodeStatus::BadInput);
}

TEST(Inflate, IncompleteOrOverSubscribedLiteralCodeFails) {
    std::vector<uint8_t> dist(1, 1);
    {
        std::vector<uint8_t> lit(257, 0);
        lit['a'] = 2, lit[256] = 2;  // half of the code space unused
        BitWriter w;
        dynamicHeader(lit, dist, w);
        CollectSink sink;
        EXPECT_EQ(run(w.finish(), sink), DecodeStatus::DataError);
    }
    {
        std::vector<uint8_t> lit(257, 0);
        lit['a'] = 1, lit['b'] = 1, lit[256] = 1;
        BitWriter w;
        dynamicHeader(lit, dist, w);
        CollectSink sink;
        EXPECT_EQ(run(w.finish(), sink), DecodeStatus::BadInput);
    }
}

TEST(Inflate, SingleOneBitDistanceCodeIsAccepted) {
    std::vector<uint8_t> lit(258, 0);
    lit['a'] = 2, lit[256] = 2, lit[257] = 1;  // 257: length 3
    std::vector<uint8_t> dist(1, 1);           // only distance code 0 (distance 1), length 1: incomplete
    BitWriter w;
    dynamicHeader(lit, dist, w);
    w.code(0b10, 2);  // 'a' (canonical: 257 -> 0, 'a' -> 10, 256 -> 11)
    w.code(0, 1);     // length 3
    w.code(0, 1);     // distance 1
    w.code(0b11, 2);
    CollectSink sink;
    ASSERT_EQ(run(w.finish(), sink), DecodeStatus::Ok);
    EXPECT_EQ(sink.data, (Bytes{'a', 'a', 'a', 'a'}));
}

TEST(Inflate, RepeatPastTheLastLengthIsDataError) {
    BitWriter w;
    w.bits(1, 1);
    w.bits(2, 2);
    w.bits(0, 5);  // 257 literal/length codes
    w.bits(0, 5);  // 1 distance code
    codeLengthHeader(w);
    for (int i = 0; i < 257; ++i) codeLength(w, 8);  // 257 lengths of 8 bits: the literal part is full
    codeLength(w, 16);                               // 3 more where only the distance length is left
    w.bits(0, 2);
    CollectSink sink;
    EXPECT_EQ(run(w.finish(), sink), DecodeStatus::DataError);
}

TEST(Inflate, InvalidLengthCodeIsDataError) {
    Bytes stream = fixedBlock([](BitWriter& w) {
        w.fixedLiteral('x');
        w.fixedLiteral(286);
    });
    CollectSink sink;
    EXPECT_EQ(run(stream, sink), DecodeStatus::DataError);
}

TEST(Inflate, OutputStopsAtTheDeclaredSize) {
    const Bytes input(1 << 20, 0);  // a megabyte of zeros deflates to about a kilobyte
    const Bytes stream = zlibDeflate(input, 9);
    for (uint64_t limit : {uint64_t(0), uint64_t(1000), uint64_t(32768), uint64_t(40000)}) {
        CollectSink sink;
        EXPECT_EQ(run(stream, sink, limit), DecodeStatus::TooLong) << limit;
        EXPECT_EQ(sink.data.size(), limit);
    }
    CollectSink sink;
    EXPECT_EQ(run(stream, sink, input.size()), DecodeStatus::Ok);
}

TEST(Inflate, RefusingSinkStopsDecoding) {
    struct Refuse : OutputSink {
        int calls = 0;
        bool write(std::span<const uint8_t>) override { return ++calls, false; }
    } sink;
    const Bytes stream = zlibDeflate(sampleData(100000), 6);
    MemorySource source(stream);
    EXPECT_EQ(inflate(source, sink, UINT64_MAX), DecodeStatus::Stopped);
    EXPECT_EQ(sink.calls, 1);
}
