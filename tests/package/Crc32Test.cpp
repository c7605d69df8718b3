// CRC-32 against zlib's as the independent reference: the folding way (on CPUs that have it) and the
// table way, over lengths around every lane and block boundary, every alignment, and pieces.
#include "crc32.h"

#include "DecodeTestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

using namespace tarrow;
using namespace tarrow::test;

namespace {

uint32_t reference(const uint8_t* p, size_t n) { return uint32_t(::crc32(0, p, uInt(n))); }

// Random bytes: the sample data's runs of one byte would hide a lane fed from the wrong offset.
Bytes noise(size_t size) {
    std::mt19937 rng(11);
    Bytes out(size);
    for (uint8_t& b : out) b = uint8_t(rng());
    return out;
}

using Update = uint32_t (*)(uint32_t, const uint8_t*, size_t);

void expectWholeBuffersMatch(Update update) {
    const Bytes data = noise(70000);
    for (size_t start = 0; start < 16; ++start)
        for (size_t n = 0; n <= 600; ++n)
            ASSERT_EQ(~update(kCrcStart, data.data() + start, n), reference(data.data() + start, n))
                << start << "+" << n;
    for (size_t n : {1023u, 4096u, 32768u, 32769u, 65536u, 69984u})
        for (size_t start : {0u, 1u, 15u})
            ASSERT_EQ(~update(kCrcStart, data.data() + start, n), reference(data.data() + start, n))
                << start << "+" << n;
}

void expectPiecesMatch(Update update) {
    const Bytes data = sampleData(20000, 5);
    const uint32_t whole = reference(data.data(), data.size());
    for (size_t cut : {0u, 1u, 15u, 16u, 63u, 64u, 65u, 127u, 4095u, 10000u, 19936u, 19999u, 20000u}) {
        uint32_t running = update(kCrcStart, data.data(), cut);
        ASSERT_EQ(~update(running, data.data() + cut, data.size() - cut), whole) << cut;
    }
    // Many uneven pieces, as the output window and the decoders hand them on.
    std::mt19937 rng(3);
    uint32_t running = kCrcStart;
    for (size_t at = 0; at < data.size();) {
        size_t n = std::min<size_t>(rng() % 300, data.size() - at);
        running = update(running, data.data() + at, n);
        at += n;
    }
    EXPECT_EQ(~running, whole);
}

}  // namespace

TEST(Crc32Ways, DispatchedMatchesZlibForEveryLengthAndAlignment) {
    if (!crc32FoldingAvailable())
        std::printf("this CPU has no carry-less multiplication: crc32Update uses the tables\n");
    expectWholeBuffersMatch(crc32Update);
}

TEST(Crc32Ways, TablesMatchZlibForEveryLengthAndAlignment) { expectWholeBuffersMatch(crc32UpdateTables); }

TEST(Crc32Ways, RunningValueCarriesAcrossPieces) {
    expectPiecesMatch(crc32Update);
    expectPiecesMatch(crc32UpdateTables);
}

TEST(Crc32Ways, BothWaysAgreeOnUniformData) {
    // All zeros and all ones reach the reduction with the extreme lane values.
    for (uint8_t fill : {0x00, 0xFF}) {
        const Bytes data(5000, fill);
        for (size_t n : {64u, 80u, 4999u, 5000u}) {
            EXPECT_EQ(~crc32Update(kCrcStart, data.data(), n), reference(data.data(), n));
            EXPECT_EQ(crc32UpdateTables(0, data.data(), n), crc32Update(0, data.data(), n));
        }
    }
}
