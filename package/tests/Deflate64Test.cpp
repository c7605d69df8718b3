// Deflate64: length code 285 with 16 extra bits, distance codes 30 and 31 reaching 64 KB back, through
// the window and into a buffer; streams made by 7-Zip from data of the test.
#include "inflate.h"

#include "DecodeTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

using namespace tarrow;
using namespace tarrow::test;

namespace {

struct Stream {
    Bytes data;      // the compressed stream
    Bytes expected;  // what it decodes to
};

// Fixed-code Deflate64: varied literals, then matches given as (length, distance), each written with
// the code and extra bits of the 64 KB format, and the same matches applied to `expected`.
Stream fixedDeflate64(size_t literals, const std::vector<std::pair<size_t, size_t>>& matches) {
    static const uint16_t lengthBase[] = {3,  4,  5,  6,  7,  8,  9,  10, 11, 13,  15,  17,  19,  23,
                                          27, 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227};
    static const uint8_t lengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                          2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
    Stream s;
    BitWriter w;
    w.bits(1, 1);
    w.bits(1, 2);
    const Bytes text = sampleData(literals, 11);
    for (uint8_t c : text) w.fixedLiteral(c);
    s.expected = text;
    for (auto [length, dist] : matches) {
        // Lengths up to 258 through the ordinary codes where one fits, else code 285 with 16 bits.
        int code = -1;
        for (int i = 27; i >= 0; --i)
            if (length >= lengthBase[i] && length < lengthBase[i] + (1u << lengthExtra[i]) && length <= 258) code = i;
        if (code >= 0) {
            w.fixedLiteral(257 + code);
            w.bits(uint32_t(length - lengthBase[code]), lengthExtra[code]);
        } else {
            w.fixedLiteral(285);
            w.bits(uint32_t(length - 3), 16);
        }
        unsigned dcode = 0, base = 1, extra = 0;
        for (unsigned c = 0, b = 1; c < 32; ++c) {
            unsigned e = c < 4 ? 0 : c / 2 - 1;
            if (dist >= b && dist < b + (1u << e)) dcode = c, base = b, extra = e;
            b += 1u << e;
        }
        w.code(dcode, 5);
        w.bits(uint32_t(dist - base), extra);
        for (size_t i = 0; i < length; ++i) s.expected.push_back(s.expected[s.expected.size() - dist]);
    }
    w.fixedLiteral(256);
    s.data = w.finish();
    return s;
}

void expectBothPaths(const Stream& s, const std::string& what) {
    CollectSink sink;
    MemorySource source(s.data, 1000);
    ASSERT_EQ(inflate(source, sink, s.expected.size(), DeflateFormat::Deflate64), DecodeStatus::Ok) << what;
    EXPECT_TRUE(sink.data == s.expected) << what;
    Bytes buffer(s.expected.size());
    const InflateResult r = inflateToBuffer(s.data, buffer, DeflateFormat::Deflate64);
    ASSERT_EQ(r.status, DecodeStatus::Ok) << what;
    EXPECT_EQ(r.consumed, s.data.size()) << what;
    EXPECT_TRUE(buffer == s.expected) << what;
}

}  // namespace

TEST(Deflate64, LongestLengthFarthestDistanceAndTheNewCodes) {
    const Stream s = fixedDeflate64(
        70000, {{65538, 65536}, {3, 32769}, {258, 49153}, {259, 40000}, {40000, 3}, {1000, 65536}, {300, 1}});
    expectBothPaths(s, "fixed codes");
    // The same bits read as plain deflate: code 285 is the single length 258 and codes 30 and 31 do not exist.
    Bytes buffer(s.expected.size());
    EXPECT_NE(inflateToBuffer(s.data, buffer).status, DecodeStatus::Ok);
}

TEST(Deflate64, LongMatchesStopAtTheDeclaredSizeInBothPaths) {
    const Stream s = fixedDeflate64(100, {{65538, 1}, {65538, 77}});
    for (size_t limit :
         {size_t(50), size_t(100), size_t(101), size_t(40000), size_t(65637), size_t(65638), size_t(131175)}) {
        CollectSink sink;
        MemorySource source(s.data);
        const DecodeStatus status = inflate(source, sink, limit, DeflateFormat::Deflate64);
        Bytes buffer(limit);
        const InflateResult r = inflateToBuffer(s.data, buffer, DeflateFormat::Deflate64);
        const bool fits = limit >= s.expected.size();
        EXPECT_EQ(status, fits ? DecodeStatus::Ok : DecodeStatus::TooLong) << limit;
        EXPECT_EQ(r.status, status) << limit;
        EXPECT_EQ(sink.data.size(), std::min(limit, s.expected.size())) << limit;
        EXPECT_EQ(r.produced, sink.data.size()) << limit;
        EXPECT_TRUE(std::equal(sink.data.begin(), sink.data.end(), s.expected.begin())) << limit;
        EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + r.produced, s.expected.begin())) << limit;
    }
}

// 7-Zip as the independent compressor: data with repeats more than 32 KB apart.
TEST(Deflate64, StreamsOfTheIndependentCompressorDecode) {
    if (std::system("7z i >/dev/null 2>&1") != 0) GTEST_SKIP() << "7z not installed";
    const auto dir = std::filesystem::temp_directory_path() / ("deflate64-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    Bytes data = sampleData(50000, 3);
    const Bytes again(data.begin(), data.begin() + 45000);
    data.insert(data.end(), again.begin(), again.end());
    const Bytes more = sampleData(120000, 4);
    data.insert(data.end(), more.begin(), more.end());
    {
        std::ofstream f(dir / "data.bin", std::ios::binary);
        f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    }
    for (const char* level : {"-mx=1", "-mx=9"}) {
        const auto zip = dir / (std::string("d") + level + ".zip");
        const std::string cmd = "cd '" + dir.string() + "' && 7z a -tzip -mm=Deflate64 " + level + " '" + zip.string() +
                                "' data.bin >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        const auto members = localMembers(readFile(zip));
        ASSERT_EQ(members.size(), 1u);
        ASSERT_EQ(members[0].method, 9);
        expectBothPaths({members[0].data, data}, level);
    }
    std::filesystem::remove_all(dir);
}
