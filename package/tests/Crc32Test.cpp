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

// Every way this CPU has, the tables first.
std::vector<CrcWay> ways() {
    std::vector<CrcWay> all;
    for (CrcWay w : {CrcWay::Tables, CrcWay::Folding, CrcWay::WideFolding})
        if (crc32WayAvailable(w)) all.push_back(w);
    return all;
}

void expectWholeBuffersMatch(CrcWay way) {
    const Bytes data = noise(70000);
    // Every length up to a few lanes of every width past a multiple of 256, at every alignment.
    for (size_t start = 0; start < 64; ++start) {
        uint32_t expected = 0;
        for (size_t n = 0; n <= 3000; ++n) {
            // zlib's CRC of the first n bytes, grown by one byte.
            if (n > 0) expected = uint32_t(::crc32(expected, data.data() + start + n - 1, 1));
            ASSERT_EQ(~crc32UpdateWith(way, kCrcStart, data.data() + start, n), expected)
                << int(way) << ": " << start << "+" << n;
        }
    }
    for (size_t n : {4096u, 32768u, 32769u, 65536u, 69936u})
        for (size_t start : {0u, 1u, 15u, 63u})
            ASSERT_EQ(~crc32UpdateWith(way, kCrcStart, data.data() + start, n), reference(data.data() + start, n))
                << int(way) << ": " << start << "+" << n;
}

void expectPiecesMatch(CrcWay way) {
    const Bytes data = sampleData(20000, 5);
    const uint32_t whole = reference(data.data(), data.size());
    for (size_t cut :
         {0u, 1u, 15u, 16u, 63u, 64u, 65u, 127u, 255u, 256u, 257u, 4095u, 10000u, 19936u, 19999u, 20000u}) {
        uint32_t running = crc32UpdateWith(way, kCrcStart, data.data(), cut);
        ASSERT_EQ(~crc32UpdateWith(way, running, data.data() + cut, data.size() - cut), whole)
            << int(way) << ": " << cut;
    }
    // Many uneven pieces, as the output window and the decoders hand them on.
    std::mt19937 rng(3);
    uint32_t running = kCrcStart;
    for (size_t at = 0; at < data.size();) {
        size_t n = std::min<size_t>(rng() % 700, data.size() - at);
        running = crc32UpdateWith(way, running, data.data() + at, n);
        at += n;
    }
    EXPECT_EQ(~running, whole) << int(way);
}

}  // namespace

TEST(Crc32Ways, EveryWayMatchesZlibForEveryLengthAndAlignment) {
    if (!crc32FoldingAvailable())
        std::printf("this CPU has no carry-less multiplication: crc32Update uses the tables\n");
    for (CrcWay way : ways()) expectWholeBuffersMatch(way);
}

TEST(Crc32Ways, RunningValueCarriesAcrossPieces) {
    for (CrcWay way : ways()) expectPiecesMatch(way);
}

TEST(Crc32Ways, EveryWayAgreesOnUniformData) {
    // All zeros and all ones reach the reduction with the extreme lane values.
    for (uint8_t fill : {0x00, 0xFF}) {
        const Bytes data(5000, fill);
        for (size_t n : {64u, 80u, 256u, 4999u, 5000u})
            for (CrcWay way : ways()) {
                EXPECT_EQ(~crc32UpdateWith(way, kCrcStart, data.data(), n), reference(data.data(), n));
                EXPECT_EQ(crc32UpdateWith(way, 0, data.data(), n), crc32UpdateTables(0, data.data(), n));
            }
    }
}
