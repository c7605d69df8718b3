// Shrunk and imploded members of real archives, decoded and checked against their stored CRC-32.
#include "crc32.h"
#include "explode.h"
#include "unshrink.h"

#include "DecodeTestSupport.h"

#include <gtest/gtest.h>

using namespace tarrow;
using namespace tarrow::test;

namespace {

std::vector<LocalMember> membersOf(const std::string& archive) {
    Bytes zip = readFile(corpusZip(archive));
    return zip.empty() ? std::vector<LocalMember>{} : localMembers(zip);
}

DecodeStatus decode(const LocalMember& m, CollectSink& sink, uint64_t limit, size_t chunk = SIZE_MAX) {
    MemorySource source(m.data, chunk);
    if (m.method == 1) return unshrink(source, sink, limit);
    OutputWindow window;
    window.start(sink, limit);
    return explode(source, window, {m.flags, m.size, m.csize});
}

class CorpusMember : public testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(CorpusMember, DecodesToItsStoredCrc) {
    auto members = membersOf(GetParam());
    if (members.empty()) GTEST_SKIP() << "corpus archive missing";
    for (const LocalMember& m : members) {
        for (size_t chunk : {size_t(SIZE_MAX), size_t(5)}) {
            CollectSink sink;
            ASSERT_EQ(decode(m, sink, m.size, chunk), DecodeStatus::Ok) << m.name;
            EXPECT_EQ(sink.data.size(), m.size) << m.name;
            EXPECT_EQ(crc32(sink.data.data(), sink.data.size()), m.crc) << m.name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Shrunk, CorpusMember,
                         testing::Values("cc_SHRUNK.ZIP", "zjs_lorem-shrink.zip", "zjs_lorem-shrink-big.zip"));
INSTANTIATE_TEST_SUITE_P(Imploded, CorpusMember,
                         testing::Values("cc_imploding-4Kdict-2trees.zip", "cc_imploding-8Kdict-3trees.zip",
                                         "cc_lorem-ipsum-implode.zip", "zjs_lorem-implode-4k.zip",
                                         "zjs_lorem-implode-4k-lit.zip", "zjs_lorem-implode-8k.zip",
                                         "zjs_lorem-implode-8k-lit.zip", "zjs_lorem-implode-big.zip"));

TEST(Unshrink, OutputStopsAtTheDeclaredSize) {
    auto members = membersOf("zjs_lorem-shrink-big.zip");
    if (members.empty()) GTEST_SKIP() << "corpus archive missing";
    const LocalMember& m = members.front();
    CollectSink sink;
    EXPECT_EQ(decode(m, sink, 70000), DecodeStatus::TooLong);
    EXPECT_EQ(sink.data.size(), 70000u);
    EXPECT_EQ(sink.blocks.front(), kUnshrinkBlock);
}

TEST(Unshrink, TooManyCodeSizeIncreasesStop) {
    // 'a', then five times the escape 256 followed by 1: the sixth code size would be 14 bits.
    BitWriter w;
    w.bits('a', 9);
    unsigned bits = 9;
    for (int i = 0; i < 5; ++i) {
        w.bits(256, bits);
        w.bits(1, bits);
        ++bits;
    }
    Bytes stream = w.finish();
    MemorySource source(stream);
    CollectSink sink;
    EXPECT_EQ(unshrink(source, sink, 100), DecodeStatus::DataError);
    EXPECT_EQ(sink.data, Bytes{'a'});
}

TEST(Unshrink, PartialClearFreesLeavesForReuse) {
    // a, b (257 = "ab"), 257 (258 = "ba"), x (259 = "abx"); the clear frees the leaves 258 and 259 but
    // keeps 257, which is 259's prefix. Then c (258 = "xc"), 258, 257.
    BitWriter w;
    for (unsigned code : {unsigned('a'), unsigned('b'), 257u, unsigned('x'), 256u, 2u, unsigned('c'), 258u, 257u})
        w.bits(code, 9);
    Bytes stream = w.finish();
    MemorySource source(stream);
    CollectSink sink;
    ASSERT_EQ(unshrink(source, sink, 100), DecodeStatus::Ok);
    EXPECT_EQ(std::string(sink.data.begin(), sink.data.end()), "ababxcxcab");
}

TEST(Explode, ImplodedMemberWithTooMuchDataReportsUnusedInput) {
    auto members = membersOf("zjs_lorem-implode-8k-lit.zip");
    if (members.empty()) GTEST_SKIP() << "corpus archive missing";
    LocalMember m = members.front();
    m.data.insert(m.data.end(), 3, 0);
    CollectSink sink;
    EXPECT_EQ(decode(m, sink, m.size), DecodeStatus::InputUnused);
    EXPECT_EQ(crc32(sink.data.data(), sink.data.size()), m.crc);
}

TEST(Explode, TruncatedMemberReportsOverrun) {
    auto members = membersOf("zjs_lorem-implode-4k.zip");
    if (members.empty()) GTEST_SKIP() << "corpus archive missing";
    LocalMember m = members.front();
    m.data.resize(m.data.size() / 2);
    CollectSink sink;
    EXPECT_EQ(decode(m, sink, m.size), DecodeStatus::InputOverrun);
}

TEST(Explode, TreeWhoseCountsDoNotAddUpIsRefused) {
    // Two trees of 64 values; the first claims 16 values of 4 bits only.
    Bytes stream{0x00, 0xf3, 0x00};
    MemorySource source(stream);
    CollectSink sink;
    OutputWindow window;
    window.start(sink, 10);
    EXPECT_EQ(explode(source, window, {0, 10, stream.size()}), DecodeStatus::BadTree);
}
