// The PPMd decoder against 7z's compressor: varied data, every model order, memory sizes small enough
// to force restarts and cut-offs, and damaged streams.
#include "crc32.h"
#include "ppmd.h"

#include "DecodeTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

using namespace tarrow;
using namespace tarrow::test;

namespace {

namespace fs = std::filesystem;

bool haveSevenZip() {
    static const bool have = std::system("7z i > /dev/null 2>&1") == 0;
    return have;
}

// A scratch folder of its own per test process, removed when the process ends.
fs::path scratch() {
    struct Folder {
        fs::path path = fs::temp_directory_path() / ("ppmd-test-" + std::to_string(getpid()));
        Folder() { fs::create_directories(path); }
        ~Folder() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    };
    static const Folder dir;
    return dir.path;
}

// The member's compressed data as 7z writes it with the given model order, memory in MB and
// restoration method (0 restart, 1 cut-off).
Bytes compress(const Bytes& data, unsigned order, unsigned memoryMb, unsigned restore = 0) {
    const fs::path in = scratch() / "member", zip = scratch() / "member.zip";
    fs::remove(zip);
    {
        std::ofstream f(in, std::ios::binary);
        f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    }
    std::string cmd = "cd '" + scratch().string() + "' && 7z a -tzip -mm=PPMd -mo=" + std::to_string(order) +
                      " -mmem=" + std::to_string(memoryMb) + "m -ma=" + std::to_string(restore) +
                      " member.zip member > /dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return {};
    auto members = localMembers(readFile(zip));
    if (members.size() != 1 || members[0].method != 98) return {};
    return members[0].data;
}

DecodeStatus decode(const Bytes& stream, uint64_t size, CollectSink& sink, size_t chunk = SIZE_MAX) {
    MemorySource source(stream, chunk);
    OutputWindow window;
    window.start(sink, size);
    return unppmd(source, window, size);
}

struct Case {
    const char* name;
    Bytes data;
};

Bytes randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& c : b) c = uint8_t(rng());
    return b;
}

// Random bytes from an uneven distribution, so that the data still compresses a little.
Bytes skewedNoise(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::geometric_distribution<int> g(0.02);
    Bytes b(n);
    for (auto& c : b) c = uint8_t(g(rng));
    return b;
}

Bytes textOf(size_t n) {
    Bytes appnote = readFile(fs::path(VELTRANE_SHARED_DIR) / "reference" / "appnote.txt");
    if (appnote.empty()) return sampleData(n, 7);
    Bytes out;
    while (out.size() < n) out.insert(out.end(), appnote.begin(), appnote.end());
    out.resize(n);
    return out;
}

}  // namespace

// Where decoding first differs from the original, or the size when it does not.
size_t firstDifference(const Bytes& a, const Bytes& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    return i;
}

Bytes runsAndText(size_t n) {
    Bytes out;
    std::mt19937 rng(3);
    Bytes text = textOf(50000);
    while (out.size() < n) {
        if (rng() % 3 == 0) out.insert(out.end(), 1 + rng() % 5000, uint8_t(rng() % 4 ? 'a' : rng()));
        else {
            size_t at = rng() % 40000;
            out.insert(out.end(), text.begin() + at, text.begin() + at + 1 + rng() % 5000);
        }
    }
    out.resize(n);
    return out;
}

struct Setting {
    unsigned order, memoryMb, restore;
};

class PpmdRoundTrip : public testing::TestWithParam<Setting> {};

TEST_P(PpmdRoundTrip, DecodesWhat7zEncodes) {
    if (!haveSevenZip()) GTEST_SKIP() << "7z missing";
    const Setting st = GetParam();
    // With 1 or 2 MB the model fills its memory more than once on these sizes.
    const bool small = st.memoryMb <= 2;
    const size_t n = small ? 200000 : 60000;
    std::vector<Case> cases = {{"text", textOf(n)}, {"mixed", sampleData(n, 11)}, {"runs", runsAndText(n)}};
    if (!small) {
        cases.push_back({"noise", skewedNoise(n, 5)});
        cases.push_back({"short", Bytes(64, 'x')});
    }
    for (const Case& c : cases) {
        Bytes z = compress(c.data, st.order, st.memoryMb, st.restore);
        ASSERT_FALSE(z.empty()) << c.name;
        CollectSink sink;
        EXPECT_EQ(decode(z, c.data.size(), sink), DecodeStatus::Ok) << c.name;
        EXPECT_EQ(sink.data.size(), c.data.size()) << c.name;
        EXPECT_EQ(firstDifference(sink.data, c.data), c.data.size()) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Orders, PpmdRoundTrip,
                         testing::Values(Setting{2, 16, 0}, Setting{3, 8, 0}, Setting{4, 16, 0}, Setting{6, 16, 0},
                                         Setting{8, 32, 0}, Setting{12, 16, 0}, Setting{16, 64, 0}));
INSTANTIATE_TEST_SUITE_P(Restart, PpmdRoundTrip, testing::Values(Setting{8, 1, 0}, Setting{16, 1, 0}));
INSTANTIATE_TEST_SUITE_P(CutOff, PpmdRoundTrip, testing::Values(Setting{10, 1, 1}, Setting{16, 1, 1}));

// A stream made once for the tests of damaged data and odd sizes.
struct Sample {
    Bytes data = textOf(80000);
    Bytes stream = haveSevenZip() ? compress(data, 8, 4) : Bytes{};
};
const Sample& sample() {
    static const Sample s;
    return s;
}

TEST(Ppmd, CorpusMembersDecodeToTheirCrc) {
    int seen = 0;
    for (const char* name : {"zip2_ppmd.zip", "zjs_lorem-ppmd.zip"}) {
        Bytes zip = readFile(corpusZip(name));
        for (const LocalMember& m : localMembers(zip)) {
            if (m.method != 98) continue;
            ++seen;
            for (size_t chunk : {size_t(SIZE_MAX), size_t(1), size_t(7)}) {
                CollectSink sink;
                EXPECT_EQ(decode(m.data, m.size, sink, chunk), DecodeStatus::Ok) << name;
                EXPECT_EQ(sink.data.size(), m.size) << name;
                EXPECT_EQ(crc32(sink.data.data(), sink.data.size()), m.crc) << name;
            }
        }
    }
    if (seen == 0) GTEST_SKIP() << "corpus archives missing";
}

TEST(Ppmd, SizesDecideWhereOutputStops) {
    const Sample& s = sample();
    if (s.stream.empty()) GTEST_SKIP() << "7z missing";
    // Input in tiny chunks, and output handed on in whole blocks.
    CollectSink chunked;
    EXPECT_EQ(decode(s.stream, s.data.size(), chunked, 3), DecodeStatus::Ok);
    EXPECT_EQ(chunked.data, s.data);
    ASSERT_GE(chunked.blocks.size(), 2u);
    EXPECT_EQ(chunked.blocks[0], OutputWindow::kBlock);
    // A smaller declared size ends the output there.
    CollectSink shorter;
    EXPECT_EQ(decode(s.stream, 70000, shorter), DecodeStatus::Ok);
    EXPECT_EQ(shorter.data, Bytes(s.data.begin(), s.data.begin() + 70000));
    // A larger one ends at the stream's end mark.
    CollectSink longer;
    EXPECT_EQ(decode(s.stream, s.data.size() + 1000, longer), DecodeStatus::Ok);
    EXPECT_EQ(longer.data, s.data);
    CollectSink none;
    EXPECT_EQ(decode(s.stream, 0, none), DecodeStatus::Ok);
    EXPECT_TRUE(none.data.empty());
}

TEST(Ppmd, HeaderIsChecked) {
    const Sample& s = sample();
    CollectSink sink;
    EXPECT_EQ(decode({}, 10, sink), DecodeStatus::DataError);
    EXPECT_EQ(decode({0x05}, 10, sink), DecodeStatus::DataError);
    EXPECT_EQ(decode({0x05, 0x00, 0x12}, 10, sink), DecodeStatus::DataError);  // range coder needs 4 bytes
    if (s.stream.empty()) GTEST_SKIP() << "7z missing";
    Bytes b = s.stream;
    b[0] = uint8_t((b[0] & 0xF0) | 0x0);  // order 1
    EXPECT_EQ(decode(b, s.data.size(), sink), DecodeStatus::BadInput);
    for (unsigned restore : {2u, 3u, 15u}) {
        b = s.stream;
        b[1] = uint8_t((b[1] & 0x0F) | restore << 4);
        EXPECT_EQ(decode(b, s.data.size(), sink), DecodeStatus::BadInput) << restore;
    }
    EXPECT_TRUE(sink.data.empty());
    // The largest memory the header can name, 256 MB, is reserved lazily. A model that never fills its
    // memory decodes the same with any more of it.
    b = s.stream;
    b[0] |= 0xF0;
    b[1] |= 0x0F;
    CollectSink big;
    EXPECT_EQ(decode(b, s.data.size(), big), DecodeStatus::Ok);
    EXPECT_EQ(big.data, s.data);
}

TEST(Ppmd, DamagedStreamsFailCleanly) {
    const Sample& s = sample();
    if (s.stream.empty()) GTEST_SKIP() << "7z missing";
    // Cut short anywhere but in the last bytes: the decoder runs past the end and says so.
    for (size_t keep : {size_t(2), size_t(6), size_t(100), s.stream.size() / 2, s.stream.size() - 20}) {
        CollectSink sink;
        Bytes cut(s.stream.begin(), s.stream.begin() + keep);
        EXPECT_EQ(decode(cut, s.data.size(), sink), DecodeStatus::DataError) << keep;
        EXPECT_LT(sink.data.size(), s.data.size());
    }
    // Changed bytes: never more output than declared, and never the original text reported whole.
    std::mt19937 rng(9);
    for (int i = 0; i < 25; ++i) {
        Bytes b = s.stream;
        size_t at = 2 + rng() % (b.size() - 2);
        b[at] ^= uint8_t(1 + rng() % 255);
        CollectSink sink;
        DecodeStatus st = decode(b, s.data.size(), sink);
        EXPECT_LE(sink.data.size(), s.data.size());
        if (st == DecodeStatus::Ok && sink.data.size() == s.data.size()) EXPECT_NE(sink.data, s.data) << at;
        else EXPECT_TRUE(st == DecodeStatus::DataError || st == DecodeStatus::Ok) << at;
    }
    // Noise after a valid header.
    Bytes noise = randomBytes(4000, 2);
    noise[0] = 0x05, noise[1] = 0x10;
    CollectSink sink;
    decode(noise, 1 << 16, sink);
    EXPECT_LE(sink.data.size(), size_t(1) << 16);
}

TEST(Ppmd, RefusingSinkStopsDecoding) {
    const Sample& s = sample();
    if (s.stream.empty()) GTEST_SKIP() << "7z missing";
    struct Refuse : OutputSink {
        size_t calls = 0;
        bool write(std::span<const uint8_t>) override { return ++calls < 2; }
    } sink;
    MemorySource source(s.stream);
    OutputWindow window;
    window.start(sink, s.data.size());
    EXPECT_EQ(unppmd(source, window, s.data.size()), DecodeStatus::Stopped);
    EXPECT_EQ(sink.calls, 2u);
}
