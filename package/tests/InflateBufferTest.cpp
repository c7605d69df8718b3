// Decoding into a buffer of the declared size against decoding through the window: on intact and damaged
// streams, at several declared sizes and input chunkings, both must give the same status, the same output
// (all of it when intact, exactly the declared size when too long, and on other failures the window's
// blocks are a prefix of what the buffer holds) and, when intact, the same amount of input used.
#include "inflate.h"

#include "DecodeTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>

using namespace tarrow;
using namespace tarrow::test;

namespace {

struct Comparison {
    Inflater streaming, buffered;
    OutputWindow window;
    size_t cases = 0;

    // Decodes stream both ways; returns the buffer path's result for further checks.
    InflateResult check(const Bytes& stream, size_t limit, size_t chunk, DeflateFormat format,
                        const std::string& what) {
        ++cases;
        CollectSink sink;
        window.start(sink, limit);
        MemorySource source(stream, chunk);
        uint64_t unused = 0;
        const DecodeStatus status = streaming.run(source, window, format, &unused);

        Bytes buffer(limit);
        const InflateResult r = buffered.toBuffer(stream, buffer, format);
        const std::string where = what + " limit " + std::to_string(limit) + " chunk " + std::to_string(chunk);
        EXPECT_EQ(int(r.status), int(status)) << where;
        EXPECT_LE(r.produced, limit) << where;
        if (status == DecodeStatus::Ok) {
            EXPECT_EQ(r.consumed, stream.size() - unused) << where;
            EXPECT_EQ(r.produced, sink.data.size()) << where;
        } else if (status == DecodeStatus::TooLong) {
            EXPECT_EQ(sink.data.size(), limit) << where;
            EXPECT_EQ(r.produced, limit) << where;
        } else {
            EXPECT_LE(sink.data.size(), r.produced) << where;
        }
        const size_t common = std::min(sink.data.size(), r.produced);
        EXPECT_TRUE(std::equal(sink.data.begin(), sink.data.begin() + common, buffer.begin())) << where;
        return r;
    }

    // The stream intact and damaged: truncated, with bits flipped, with data after its end.
    void damaged(const Bytes& stream, size_t size, DeflateFormat format, const std::string& what, uint32_t seed) {
        std::mt19937 rng(seed);
        std::vector<std::pair<std::string, Bytes>> variants{{"intact", stream}};
        for (size_t cut : {stream.size() - 1, stream.size() / 2, size_t(3)})
            if (cut < stream.size())
                variants.push_back({"cut at " + std::to_string(cut), Bytes(stream.begin(), stream.begin() + cut)});
        for (int i = 0; i < 6 && !stream.empty(); ++i) {
            Bytes b = stream;
            size_t at = rng() % b.size();
            // Flips near the start hit the block headers, elsewhere the codes.
            if (i < 2) at = std::min<size_t>(b.size() - 1, rng() % 40);
            b[at] ^= uint8_t(1u << (rng() % 8));
            variants.push_back({"bit flipped at " + std::to_string(at), b});
        }
        Bytes tail = stream;
        tail.insert(tail.end(), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
        variants.push_back({"with trailing data", tail});

        for (const auto& [name, data] : variants)
            for (size_t limit : {size, size + 1000, size ? size - 1 : 0, size / 2, size_t(0)})
                for (size_t chunk : {SIZE_MAX, size_t(7)}) check(data, limit, chunk, format, what + " " + name);
    }
};

void fixedRun(BitWriter& w, size_t literals, size_t matches) {
    w.bits(0, 1);
    w.bits(1, 2);
    for (size_t i = 0; i < literals; ++i) w.fixedLiteral('a' + i % 3);
    for (size_t i = 0; i < matches; ++i) {
        w.fixedLiteral(285);  // length 258
        w.code(0, 5);         // distance 1
    }
    w.fixedLiteral(256);
}

}  // namespace

TEST(InflateBuffer, SameResultsAsTheWindowOnIntactAndDamagedStreams) {
    Comparison c;
    uint32_t seed = 1;
    for (size_t size : {size_t(0), size_t(1), size_t(300), size_t(5000), size_t(40000), size_t(100000)}) {
        const Bytes data = sampleData(size, uint32_t(size) + 3);
        for (auto [level, strategy] : {std::pair{0, Z_DEFAULT_STRATEGY},
                                       {1, Z_DEFAULT_STRATEGY},
                                       {6, Z_DEFAULT_STRATEGY},
                                       {9, Z_DEFAULT_STRATEGY},
                                       {9, Z_FIXED},
                                       {6, Z_HUFFMAN_ONLY},
                                       {6, Z_RLE}}) {
            const Bytes stream = zlibDeflate(data, level, strategy);
            const std::string what = "size " + std::to_string(size) + " level " + std::to_string(level) + " strategy " +
                                     std::to_string(strategy);
            ASSERT_EQ(c.check(stream, size, SIZE_MAX, DeflateFormat::Deflate, what).status, DecodeStatus::Ok) << what;
            c.damaged(stream, size, DeflateFormat::Deflate, what, seed++);
            if (HasFailure()) return;
        }
    }
    std::printf("[          ] %zu cases compared\n", c.cases);
}

// Data that both runs out and passes the declared size near its end: whichever comes first decides,
// the same way on every path and chunking, wherever the decoder's fast loop left off.
TEST(InflateBuffer, TruncatedAndTooLongGetOneOutcomeOnEveryPath) {
    Comparison c;
    for (int strategy : {Z_HUFFMAN_ONLY, Z_DEFAULT_STRATEGY}) {
        const Bytes data = sampleData(3000, 9);
        const Bytes stream = zlibDeflate(data, 6, strategy);
        for (size_t cut = 1; cut <= 6; ++cut) {
            const Bytes shorter(stream.begin(), stream.end() - ptrdiff_t(cut));
            for (size_t limit = data.size() - 60; limit <= data.size(); ++limit)
                for (size_t chunk : {SIZE_MAX, size_t(1), size_t(5)})
                    c.check(shorter, limit, chunk, DeflateFormat::Deflate,
                            "strategy " + std::to_string(strategy) + " cut " + std::to_string(cut));
            if (HasFailure()) return;
        }
    }
}

// Skin bitmaps and texts as they were packed by other tools: every deflated member intact, at its size
// and one byte short of it.
TEST(InflateBuffer, SameResultsOnTheCorpusSkins) {
    const auto skins = std::filesystem::path(VELTRANE_SHARED_DIR) / "corpus" / "skins";
    if (!std::filesystem::is_directory(skins)) GTEST_SKIP() << "no corpus";
    Comparison c;
    for (const auto& e : std::filesystem::directory_iterator(skins)) {
        if (e.path().extension() != ".wsz") continue;
        for (const LocalMember& m : localMembers(readFile(e.path()))) {
            if (m.method != 8 || (m.flags & 1)) continue;
            const std::string what = e.path().filename().string() + " " + m.name;
            EXPECT_EQ(c.check(m.data, m.size, SIZE_MAX, DeflateFormat::Deflate, what).status, DecodeStatus::Ok) << what;
            if (m.size) c.check(m.data, m.size - 1, SIZE_MAX, DeflateFormat::Deflate, what);
        }
    }
    EXPECT_GT(c.cases, 100u);
}

// Output that ends right at, just before or just after a 32 KB boundary of the window (or the end of the
// buffer), followed by a stored block whose first bytes are still in the bit buffer.
TEST(InflateBuffer, StoredBlockStartingAtEveryPlaceAroundABlockBoundary) {
    Comparison c;
    const Bytes raw = sampleData(3000, 5);
    for (size_t boundary : {size_t(32768), size_t(65536), size_t(131072), size_t(196608)}) {
        for (size_t before = 0; before < 12; ++before) {
            const size_t produced = boundary - before;
            BitWriter w;
            fixedRun(w, 1 + (produced - 1) % 258, (produced - 1) / 258);
            w.bits(1, 1);
            w.bits(0, 2);
            Bytes stream = w.finish();
            const uint16_t len = uint16_t(raw.size());
            stream.insert(stream.end(), {uint8_t(len), uint8_t(len >> 8), uint8_t(~len), uint8_t(~len >> 8)});
            stream.insert(stream.end(), raw.begin(), raw.end());
            const size_t size = produced + raw.size();
            const std::string what = "output " + std::to_string(produced);
            for (size_t limit : {size, produced, produced + 1, produced - 1})
                for (size_t chunk : {SIZE_MAX, size_t(4096)})
                    c.check(stream, limit, chunk, DeflateFormat::Deflate, what);
            CollectSink sink;
            MemorySource source(stream);
            ASSERT_EQ(inflate(source, sink, size), DecodeStatus::Ok) << what;
            ASSERT_EQ(sink.data.size(), size) << what;
            EXPECT_TRUE(std::equal(raw.begin(), raw.end(), sink.data.end() - raw.size())) << what;
        }
    }
}

TEST(InflateBuffer, MatchesBeforeTheFirstByteReadZerosInBothPaths) {
    Comparison c;
    BitWriter w;
    w.bits(1, 1);
    w.bits(1, 2);
    w.fixedLiteral('x');
    w.fixedLiteral(285);  // 258 bytes from distance 5: four zeros, then 'x' over and over
    w.code(4, 5);         // distance code 4: 5 or 6 with one extra bit
    w.bits(0, 1);
    w.fixedLiteral(256);
    const Bytes stream = w.finish();
    Bytes buffer(259);
    const InflateResult r = inflateToBuffer(stream, buffer);
    ASSERT_EQ(r.status, DecodeStatus::Ok);
    EXPECT_EQ(r.produced, 259u);
    EXPECT_EQ(r.consumed, stream.size());
    for (size_t i = 1; i < 259; ++i) ASSERT_EQ(buffer[i], i % 5 == 0 ? 'x' : 0) << i;
    for (size_t limit : {size_t(259), size_t(100), size_t(3)})
        c.check(stream, limit, SIZE_MAX, DeflateFormat::Deflate, "zeros");
}
