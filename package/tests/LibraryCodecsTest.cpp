// The decoders that wrap compression libraries (bzip2, LZMA, xz, zstd), against streams the same
// libraries' encoders made: every chunking of the input, output bounded by the declared size,
// truncated and damaged streams, and the memory bounds on hostile headers.
#include "bunzip2.h"
#include "unlzma.h"
#include "unxz.h"
#include "unzstd.h"

#include "DecodeTestSupport.h"

#include <bzlib.h>
#include <lzma.h>
#include <zstd.h>

#include <gtest/gtest.h>

#include <functional>

using namespace tarrow;
using namespace tarrow::test;

namespace {

Bytes bzip2(const Bytes& in) {
    Bytes out(in.size() + in.size() / 100 + 600);
    unsigned size = unsigned(out.size());
    char none = 0;
    EXPECT_EQ(BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &size,
                                       in.empty() ? &none : const_cast<char*>(reinterpret_cast<const char*>(in.data())),
                                       unsigned(in.size()), 9, 0, 0),
              BZ_OK);
    out.resize(size);
    return out;
}

Bytes xz(const Bytes& in, uint32_t preset = 6) {
    Bytes out(lzma_stream_buffer_bound(in.size()));
    size_t size = 0;
    EXPECT_EQ(
        lzma_easy_buffer_encode(preset, LZMA_CHECK_CRC64, nullptr, in.data(), in.size(), out.data(), &size, out.size()),
        LZMA_OK);
    out.resize(size);
    return out;
}

// A ZIP LZMA member: version, properties size, properties, then the raw stream, with or without
// the end marker.
Bytes zipLzma(const Bytes& in, bool marker, uint32_t dictionary = 1 << 20) {
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    options.dict_size = dictionary;
    options.ext_flags = marker ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream z = LZMA_STREAM_INIT;
    EXPECT_EQ(lzma_raw_encoder(&z, filters), LZMA_OK);
    Bytes out(in.size() + in.size() / 2 + 1024);
    uint8_t lclppb = uint8_t((options.pb * 5 + options.lp) * 9 + options.lc);
    Bytes header{9,
                 20,
                 5,
                 0,
                 lclppb,
                 uint8_t(dictionary),
                 uint8_t(dictionary >> 8),
                 uint8_t(dictionary >> 16),
                 uint8_t(dictionary >> 24)};
    z.next_in = in.data();
    z.avail_in = in.size();
    z.next_out = out.data();
    z.avail_out = out.size();
    EXPECT_EQ(lzma_code(&z, LZMA_FINISH), LZMA_STREAM_END);
    out.resize(z.total_out);
    lzma_end(&z);
    header.insert(header.end(), out.begin(), out.end());
    return header;
}

Bytes zstd(const Bytes& in, int level = 3, bool checksum = true) {
    ZSTD_CCtx* c = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(c, ZSTD_c_compressionLevel, level);
    ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, checksum);
    Bytes out(ZSTD_compressBound(in.size()));
    size_t size = ZSTD_compress2(c, out.data(), out.size(), in.data(), in.size());
    EXPECT_FALSE(ZSTD_isError(size));
    ZSTD_freeCCtx(c);
    out.resize(size);
    return out;
}

using Decoder = std::function<DecodeStatus(ByteSource&, OutputWindow&, uint64_t limit)>;

struct Method {
    const char* name;
    std::function<Bytes(const Bytes&)> pack;
    Decoder decode;
};

const Method kMethods[] = {
    {"bzip2", [](const Bytes& in) { return bzip2(in); },
     [](ByteSource& s, OutputWindow& w, uint64_t) { return bunzip2(s, w); }},
    {"lzmaMarker", [](const Bytes& in) { return zipLzma(in, true); },
     [](ByteSource& s, OutputWindow& w, uint64_t limit) {
         return unlzma(s, w, {limit, true});
     }},
    {"lzmaSized", [](const Bytes& in) { return zipLzma(in, false); },
     [](ByteSource& s, OutputWindow& w, uint64_t limit) {
         return unlzma(s, w, {limit, false});
     }},
    {"xz", [](const Bytes& in) { return xz(in); },
     [](ByteSource& s, OutputWindow& w, uint64_t) { return unxz(s, w, kMaxDecoderMemory); }},
    {"zstd", [](const Bytes& in) { return zstd(in); },
     [](ByteSource& s, OutputWindow& w, uint64_t) { return unzstd(s, w); }},
};

DecodeStatus run(const Decoder& decode, const Bytes& stream, OutputSink& sink, uint64_t limit, size_t chunk = SIZE_MAX,
                 uint64_t declared = UINT64_MAX) {
    static OutputWindow window;
    window.start(sink, limit);
    MemorySource source(stream, chunk);
    return decode(source, window, declared == UINT64_MAX ? limit : declared);
}

class LibraryCodec : public ::testing::TestWithParam<Method> {};

}  // namespace

TEST_P(LibraryCodec, RoundTripsInEveryChunking) {
    const Method& m = GetParam();
    // 600000 bytes fill the window's area more than twice, so that it is handed on and reused.
    for (size_t size : {size_t(0), size_t(1), size_t(5000), size_t(200000), size_t(600000)}) {
        const Bytes input = sampleData(size, uint32_t(size));
        const Bytes packed = m.pack(input);
        for (size_t chunk : {size_t(1), size_t(13), size_t(8192), SIZE_MAX}) {
            if ((chunk == 1 && size > 5000) || (chunk == 13 && size > 200000))
                continue;  // small chunks of long streams are slow and show nothing more
            CollectSink sink;
            ASSERT_EQ(run(m.decode, packed, sink, size, chunk), DecodeStatus::Ok) << size << " by " << chunk;
            ASSERT_EQ(sink.data, input) << size << " by " << chunk;
            for (size_t i = 0; i + 1 < sink.blocks.size(); ++i) EXPECT_EQ(sink.blocks[i], OutputWindow::kBlock);
        }
    }
}

TEST_P(LibraryCodec, OutputStopsAtTheDeclaredSize) {
    const Method& m = GetParam();
    const Bytes input = sampleData(400000, 3);
    const Bytes packed = m.pack(input);
    // Within the window's first area, at its end, and in the next one.
    for (uint64_t limit :
         {uint64_t(0), uint64_t(1000), uint64_t(70000), uint64_t(OutputWindow::kDirectArea), uint64_t(300000)}) {
        CollectSink sink;
        // The sized LZMA stream is told the full size, as a lying header would not change the data.
        DecodeStatus s = run(m.decode, packed, sink, limit, SIZE_MAX, input.size());
        EXPECT_EQ(s, DecodeStatus::TooLong) << limit;
        ASSERT_EQ(sink.data.size(), limit);
        EXPECT_TRUE(std::equal(sink.data.begin(), sink.data.end(), input.begin()));
    }
}

TEST_P(LibraryCodec, TruncatedOrDamagedStreamsFail) {
    const Method& m = GetParam();
    const Bytes input = sampleData(60000, 4);
    const Bytes packed = m.pack(input);
    for (size_t keep : {size_t(0), size_t(3), packed.size() / 2, packed.size() - 1}) {
        CollectSink sink;
        Bytes cut(packed.begin(), packed.begin() + keep);
        EXPECT_NE(run(m.decode, cut, sink, input.size()), DecodeStatus::Ok) << "kept " << keep;
    }
    // A flipped byte in the body is caught by the format's own checks (or leaves the stream
    // undecodable); the decoder never claims the damaged data is good while it differs.
    for (size_t at : {packed.size() / 3, packed.size() / 2}) {
        Bytes bad = packed;
        bad[at] ^= 0x55;
        CollectSink sink;
        DecodeStatus s = run(m.decode, bad, sink, input.size());
        EXPECT_TRUE(s != DecodeStatus::Ok || sink.data == input) << "flipped at " << at;
    }
}

TEST_P(LibraryCodec, RefusingSinkStopsDecoding) {
    struct Refuse : OutputSink {
        int calls = 0;
        bool write(std::span<const uint8_t>) override { return ++calls, false; }
    } sink;
    const Bytes input = sampleData(100000, 5);
    EXPECT_EQ(run(GetParam().decode, GetParam().pack(input), sink, input.size()), DecodeStatus::Stopped);
    EXPECT_EQ(sink.calls, 1);
}

INSTANTIATE_TEST_SUITE_P(Methods, LibraryCodec, ::testing::ValuesIn(kMethods),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Unlzma, HeaderIsCheckedAndTheDictionaryBounded) {
    const Bytes input = sampleData(20000, 6);
    const Decoder marked = kMethods[1].decode;
    Bytes packed = zipLzma(input, true);
    {
        Bytes bad = packed;
        bad[2] = 6;  // properties of another size
        CollectSink sink;
        EXPECT_EQ(run(marked, bad, sink, input.size()), DecodeStatus::DataError);
    }
    {
        Bytes bad = packed;
        bad[4] = 9 * 5 * 5;  // lc/lp/pb out of range
        CollectSink sink;
        EXPECT_EQ(run(marked, bad, sink, input.size()), DecodeStatus::DataError);
    }
    {
        // A 4 GB dictionary for a small member decodes within the member's size.
        Bytes big = packed;
        std::fill(big.begin() + 5, big.begin() + 9, 0xFF);
        CollectSink sink;
        EXPECT_EQ(run(marked, big, sink, input.size()), DecodeStatus::Ok);
        EXPECT_EQ(sink.data, input);
    }
    {
        // A member that claims to be huge may not ask for a dictionary beyond the bound.
        Bytes big = packed;
        std::fill(big.begin() + 5, big.begin() + 9, 0xFF);
        CollectSink sink;
        EXPECT_EQ(run(marked, big, sink, UINT32_MAX), DecodeStatus::DataError);
        EXPECT_TRUE(sink.data.empty());
    }
}

TEST(Unlzma, StreamWithoutMarkerEndsAtTheDeclaredSize) {
    const Bytes input = sampleData(50000, 8);
    const Bytes sized = zipLzma(input, false);
    const Decoder decodeSized = kMethods[2].decode;
    CollectSink sink;
    EXPECT_EQ(run(decodeSized, sized, sink, input.size()), DecodeStatus::Ok);
    EXPECT_EQ(sink.data, input);
    // A marker the flag did not announce is refused, whatever the chunking (as 7z refuses it).
    for (size_t chunk : {size_t(1), size_t(8192), SIZE_MAX}) {
        CollectSink marked;
        EXPECT_EQ(run(decodeSized, zipLzma(input, true), marked, input.size(), chunk), DecodeStatus::DataError);
    }
    // A stream that claims a marker but has none breaks off.
    CollectSink missing;
    EXPECT_NE(run(kMethods[1].decode, sized, missing, input.size()), DecodeStatus::Ok);
}

// An empty member's stream is its end marker alone (ten bytes after the properties): an empty
// file whether or not the member's flag announces the marker, in every chunking.
TEST(Unlzma, EmptyStreamWithItsMarkerIsAnEmptyFile) {
    const Bytes marked = zipLzma({}, true);
    EXPECT_EQ(marked.size(), 9u + 10u);
    for (const Decoder& decode : {kMethods[1].decode, kMethods[2].decode})
        for (size_t chunk : {size_t(1), size_t(3), SIZE_MAX}) {
            CollectSink sink;
            EXPECT_EQ(run(decode, marked, sink, 0, chunk), DecodeStatus::Ok) << chunk;
            EXPECT_TRUE(sink.data.empty());
        }
    // Data where nothing is declared is refused, and so is the marker with something behind it.
    Bytes trailing = marked;
    trailing.push_back(0);
    for (const Bytes& stream : {zipLzma(sampleData(10, 1), true), trailing}) {
        CollectSink sink;
        EXPECT_NE(run(kMethods[2].decode, stream, sink, 0), DecodeStatus::Ok);
        EXPECT_TRUE(sink.data.empty());
    }
}

TEST(Unxz, StreamNeedingMoreThanTheMemoryLimitIsRefused) {
    const Bytes packed = xz(sampleData(1000, 9), 9);  // preset 9: a 64 MB dictionary
    Decoder tight = [](ByteSource& s, OutputWindow& w, uint64_t) { return unxz(s, w, 8 << 20); };
    CollectSink sink;
    EXPECT_EQ(run(tight, packed, sink, 1000), DecodeStatus::DataError);
    CollectSink roomy;
    EXPECT_EQ(run(kMethods[3].decode, packed, roomy, 1000), DecodeStatus::Ok);
}

TEST(Unzstd, ConcatenatedFramesAndTheWindowBound) {
    const Bytes a = sampleData(40000, 10), b = sampleData(30000, 11);
    Bytes packed = zstd(a), second = zstd(b, 19, false);
    packed.insert(packed.end(), second.begin(), second.end());
    CollectSink sink;
    ASSERT_EQ(run(kMethods[4].decode, packed, sink, a.size() + b.size(), 7), DecodeStatus::Ok);
    Bytes both = a;
    both.insert(both.end(), b.begin(), b.end());
    EXPECT_EQ(sink.data, both);

    // A frame whose window exceeds the bound is refused before anything is allocated for it.
    ZSTD_CCtx* c = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(c, ZSTD_c_windowLog, 24);
    ZSTD_CCtx_setParameter(c, ZSTD_c_contentSizeFlag, 0);
    ZSTD_CCtx_setPledgedSrcSize(c, ZSTD_CONTENTSIZE_UNKNOWN);
    Bytes input = sampleData(1 << 20, 12), wide(ZSTD_compressBound(input.size()));
    // Fed in two calls, so that the encoder cannot shrink the window to the data's size.
    ZSTD_inBuffer in{input.data(), input.size() / 2, 0};
    ZSTD_outBuffer out{wide.data(), wide.size(), 0};
    ZSTD_compressStream2(c, &out, &in, ZSTD_e_continue);
    in.size = input.size();
    ASSERT_EQ(ZSTD_compressStream2(c, &out, &in, ZSTD_e_end), 0u);
    ZSTD_freeCCtx(c);
    wide.resize(out.pos);
    Decoder narrow = [](ByteSource& s, OutputWindow& w, uint64_t) { return unzstd(s, w, 20); };
    CollectSink refused;
    EXPECT_EQ(run(narrow, wide, refused, input.size()), DecodeStatus::DataError);
    CollectSink accepted;
    EXPECT_EQ(run(kMethods[4].decode, wide, accepted, input.size()), DecodeStatus::Ok);
    EXPECT_EQ(accepted.data, input);
}

TEST(Unzstd, FramesThatFitTheWindowAndFramesThatDoNot) {
    // A frame that says its size and fits in the window's free space is decoded straight into it,
    // any other through the library's buffer: frames of either kind in turn, one ending exactly at the
    // window's end with its checksum still to read, in every chunking.
    const size_t area = OutputWindow::kDirectArea;
    Bytes packed, all;
    for (size_t size : {size_t(1000), size_t(600000), size_t(50000), area - 51000, area, size_t(3)}) {
        const Bytes part = sampleData(size, uint32_t(size));
        const Bytes frame = zstd(part);
        packed.insert(packed.end(), frame.begin(), frame.end());
        all.insert(all.end(), part.begin(), part.end());
    }
    for (size_t chunk : {size_t(7), size_t(8192), SIZE_MAX}) {
        CollectSink sink;
        ASSERT_EQ(run(kMethods[4].decode, packed, sink, all.size(), chunk), DecodeStatus::Ok) << chunk;
        EXPECT_EQ(sink.data, all) << chunk;
    }
    // One frame as long as the whole area, the member's size.
    const Bytes whole = sampleData(area, 13);
    CollectSink sink;
    ASSERT_EQ(run(kMethods[4].decode, zstd(whole), sink, area, 8192), DecodeStatus::Ok);
    EXPECT_EQ(sink.data, whole);
}

TEST(Unzstd, SkippableFramesPassAndPreReleaseFormatsAreRefused) {
    const Bytes a = sampleData(3000, 14);
    const Bytes frame = zstd(a);
    // A skippable frame (magic 0x184D2A5n, four bytes of size, then that many bytes) between two frames.
    Bytes skipping = frame;
    const Bytes skippable{0x53, 0x2A, 0x4D, 0x18, 3, 0, 0, 0, 'x', 'y', 'z'};
    skipping.insert(skipping.end(), skippable.begin(), skippable.end());
    skipping.insert(skipping.end(), frame.begin(), frame.end());
    // Two frames of raw bytes, then a frame with the magic of one of the format's pre-releases, which
    // the library's streaming decoder turned into endless output (its one-shot decoder into none).
    const Bytes rawFrame{0x28, 0xB5, 0x2F, 0xFD, 0x00, 0x04, 0x49, 0x00, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    Bytes old = rawFrame;
    old.insert(old.end(), rawFrame.begin(), rawFrame.end());
    const Bytes preRelease{0x27, 0xB5, 0x2F, 0xFD, 0x26, 0, 0, 0xFF, 0xFF, 0x51, 0x51};
    old.insert(old.end(), preRelease.begin(), preRelease.end());
    for (size_t chunk : {size_t(1), size_t(3), frame.size() + 2, SIZE_MAX}) {
        CollectSink passed;
        ASSERT_EQ(run(kMethods[4].decode, skipping, passed, 2 * a.size(), chunk), DecodeStatus::Ok) << chunk;
        Bytes twice = a;
        twice.insert(twice.end(), a.begin(), a.end());
        EXPECT_EQ(passed.data, twice) << chunk;
        CollectSink refused;
        EXPECT_EQ(run(kMethods[4].decode, old, refused, 20000, chunk), DecodeStatus::DataError) << chunk;
    }
}
