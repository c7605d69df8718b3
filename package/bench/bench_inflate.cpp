// Inflate throughput of the library's decoder, through the window and into a buffer, beside zlib's
// inflate and libdeflate, on the same zlib-compressed data in the same run: the bitmaps of the corpus
// skins (each its own stream, as in a skin archive) and a text corpus. Prints the ratio of each peer's
// time to ours (above 1.0: ours is faster). Deflate64 is timed beside deflate on the text as 7-Zip
// packs it in either format. The library's test mode (the window's blocks into CRC-32) is timed beside
// libdeflate with its CRC-32 of the output, and CRC-32 alone beside libdeflate's and zlib's.
#include "crc32.h"
#include "inflate.h"

#include "DecodeTestSupport.h"
#include "RatioReporter.h"

#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

struct Stream {
    Bytes packed;
    size_t size;
};

struct Corpus {
    std::vector<Stream> streams;
    size_t total = 0;
};

Bytes readFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

void add(Corpus& c, const Bytes& data) {
    c.streams.push_back({tarrow::test::zlibDeflate(data, 6), data.size()});
    c.total += data.size();
}

// 8-bit bitmaps with flat areas, gradients and noise, standing in when the skin corpus is missing.
Bytes syntheticBitmap(int w, int h, uint32_t seed) {
    std::mt19937 rng(seed);
    int stride = (w + 3) & ~3;
    Bytes bmp(1078 + size_t(stride) * h, 0);
    bmp[0] = 'B', bmp[1] = 'M', bmp[10] = 0x36, bmp[11] = 0x04, bmp[14] = 40;
    for (int i = 0; i < 256; ++i) bmp[54 + 4 * i] = uint8_t(i), bmp[55 + 4 * i] = uint8_t(i / 2);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t v = (x / 20 + y / 10) % 3 == 0 ? uint8_t(rng() % 256) : uint8_t(x < w / 2 ? 17 : y);
            bmp[1078 + size_t(y) * stride + x] = v;
        }
    return bmp;
}

Corpus skinCorpus() {
    Corpus c;
    fs::path skins = fs::path(VELTRANE_SHARED_DIR) / "corpus" / "skins";
    std::string tmpl = (fs::temp_directory_path() / "bench-inflate-XXXXXX").string();
    if (fs::is_directory(skins) && mkdtemp(tmpl.data())) {
        fs::path dir = tmpl;
        for (const auto& e : fs::directory_iterator(skins)) {
            if (e.path().extension() != ".wsz") continue;
            std::string cmd =
                "7z x -y -o'" + (dir / e.path().stem()).string() + "' '" + e.path().string() + "' >/dev/null 2>&1";
            if (std::system(cmd.c_str()) != 0) continue;
        }
        for (const auto& e : fs::recursive_directory_iterator(dir)) {
            std::string ext = e.path().extension().string();
            for (auto& ch : ext) ch = char(std::tolower(ch));
            if (e.is_regular_file() && ext == ".bmp") add(c, readFile(e.path()));
        }
        fs::remove_all(dir);
    }
    if (c.streams.empty())
        for (uint32_t i = 0; i < 40; ++i) add(c, syntheticBitmap(275, 116, i));
    return c;
}

Corpus textCorpus() {
    Bytes text;
    for (const char* dir : {"/usr/share/common-licenses"}) {
        if (!fs::is_directory(dir)) continue;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.is_regular_file()) {
                Bytes b = readFile(e.path());
                text.insert(text.end(), b.begin(), b.end());
            }
    }
    if (text.empty()) {
        std::mt19937 rng(1);
        static const char* words[] = {"the ", "skin ", "window ", "of ", "and ", "player ", "equalizer ", ".\n"};
        while (text.size() < 300000) {
            std::string w = words[rng() % 8];
            text.insert(text.end(), w.begin(), w.end());
        }
    }
    Corpus c;
    add(c, text);
    return c;
}

// The text corpus packed by 7-Zip as one ZIP member of the given method; empty without 7z.
Stream sevenZipStream(const Corpus& text, const char* method) {
    std::string tmpl = (fs::temp_directory_path() / "bench-inflate-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) return {};
    const fs::path dir = tmpl;
    Bytes data;
    for (const Stream& s : text.streams) {
        Bytes plain(s.size);
        tarrow::inflateToBuffer(s.packed, plain);
        data.insert(data.end(), plain.begin(), plain.end());
    }
    std::ofstream(dir / "text", std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    const std::string cmd = "cd '" + dir.string() + "' && 7z a -tzip -mm=" + method + " t.zip text >/dev/null 2>&1";
    Stream out{};
    if (std::system(cmd.c_str()) == 0) {
        const Bytes zip = readFile(dir / "t.zip");
        auto le = [&](size_t at, int n) {
            uint32_t v = 0;
            for (int i = n - 1; i >= 0; --i) v = v << 8 | zip[at + i];
            return v;
        };
        if (zip.size() > 30) {
            const size_t start = 30 + le(26, 2) + le(28, 2), packed = le(18, 4);
            if (start + packed <= zip.size())
                out = {Bytes(zip.begin() + start, zip.begin() + start + packed), data.size()};
        }
    }
    fs::remove_all(dir);
    return out;
}

// 0: skin bitmaps, 1: text (zlib level 6); 2: text as 7-Zip's deflate, 3: text as 7-Zip's Deflate64.
const Corpus& corpus(int which) {
    static const Corpus skins = skinCorpus();
    static const Corpus text = textCorpus();
    static const Corpus sevenDeflate{{sevenZipStream(text, "Deflate")}, text.total};
    static const Corpus sevenDeflate64{{sevenZipStream(text, "Deflate64")}, text.total};
    const Corpus* all[] = {&skins, &text, &sevenDeflate, &sevenDeflate64};
    return *all[which];
}

tarrow::DeflateFormat formatOf(int which) {
    return which == 3 ? tarrow::DeflateFormat::Deflate64 : tarrow::DeflateFormat::Deflate;
}

// Gathers the decoder's output in one buffer, as zlib's is.
struct BufferSink : tarrow::OutputSink {
    uint8_t* out = nullptr;
    size_t room = 0;
    bool write(std::span<const uint8_t> block) override {
        if (block.size() > room) return false;
        std::memcpy(out, block.data(), block.size());
        out += block.size(), room -= block.size();
        return true;
    }
};

void BM_Ours(benchmark::State& state) {
    const Corpus& c = corpus(int(state.range(0)));
    const tarrow::DeflateFormat format = formatOf(int(state.range(0)));
    Bytes out(1 << 22);
    tarrow::OutputWindow window;
    tarrow::Inflater inflater;
    for (auto _ : state) {
        for (const Stream& s : c.streams) {
            BufferSink sink;
            sink.out = out.data(), sink.room = out.size();
            tarrow::MemorySource source(s.packed);
            window.start(sink, s.size);
            if (inflater.run(source, window, format) != tarrow::DecodeStatus::Ok) state.SkipWithError("decode failed");
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.total));
}

void BM_OursBuffer(benchmark::State& state) {
    const Corpus& c = corpus(int(state.range(0)));
    const tarrow::DeflateFormat format = formatOf(int(state.range(0)));
    Bytes out(1 << 22);
    tarrow::Inflater inflater;
    for (auto _ : state) {
        for (const Stream& s : c.streams) {
            const auto r = inflater.toBuffer(s.packed, std::span(out).first(s.size), format);
            if (r.status != tarrow::DecodeStatus::Ok) state.SkipWithError("decode failed");
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.total));
}

// libdeflate into a buffer; with withCrc, also its CRC-32 of the output (the peer of our test mode).
void libdeflateRuns(benchmark::State& state, bool withCrc) {
    const Corpus& c = corpus(int(state.range(0)));
    Bytes out(1 << 22);
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    for (auto _ : state) {
        for (const Stream& s : c.streams) {
            if (libdeflate_deflate_decompress(d, s.packed.data(), s.packed.size(), out.data(), s.size, nullptr) !=
                LIBDEFLATE_SUCCESS)
                state.SkipWithError("libdeflate failed");
            if (withCrc) benchmark::DoNotOptimize(libdeflate_crc32(0, out.data(), s.size));
            benchmark::DoNotOptimize(out.data());
        }
    }
    libdeflate_free_decompressor(d);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.total));
}

void BM_Libdeflate(benchmark::State& state) { libdeflateRuns(state, false); }
void BM_LibdeflateTest(benchmark::State& state) { libdeflateRuns(state, true); }

void BM_Zlib(benchmark::State& state) {
    const Corpus& c = corpus(int(state.range(0)));
    Bytes out(1 << 22);
    z_stream z{};
    inflateInit2(&z, -15);
    for (auto _ : state) {
        for (const Stream& s : c.streams) {
            inflateReset(&z);
            z.next_in = const_cast<uint8_t*>(s.packed.data());
            z.avail_in = uInt(s.packed.size());
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            if (inflate(&z, Z_FINISH) != Z_STREAM_END) state.SkipWithError("zlib failed");
            benchmark::DoNotOptimize(out.data());
        }
    }
    inflateEnd(&z);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.total));
}

// The library's test mode: each block the window hands on goes into the running CRC, nowhere else.
struct CrcSink : tarrow::OutputSink {
    uint32_t crc = tarrow::kCrcStart;
    bool write(std::span<const uint8_t> block) override {
        crc = tarrow::crc32Update(crc, block.data(), block.size());
        return true;
    }
};

void BM_OursTest(benchmark::State& state) {
    const Corpus& c = corpus(int(state.range(0)));
    tarrow::OutputWindow window;
    tarrow::Inflater inflater;
    for (auto _ : state) {
        for (const Stream& s : c.streams) {
            CrcSink sink;
            tarrow::MemorySource source(s.packed);
            window.start(sink, s.size);
            if (inflater.run(source, window) != tarrow::DecodeStatus::Ok) state.SkipWithError("decode failed");
            benchmark::DoNotOptimize(sink.crc);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.total));
}

// The plain data of a corpus, member by member, for the CRC-32 benchmarks.
const std::vector<Bytes>& plainMembers(int which) {
    static std::map<int, std::vector<Bytes>> members;
    auto [at, added] = members.try_emplace(which);
    if (added)
        for (const Stream& s : corpus(which).streams) {
            Bytes plain(s.size);
            tarrow::inflateToBuffer(s.packed, plain);
            at->second.push_back(std::move(plain));
        }
    return at->second;
}

// CRC-32 of every member: range(0) the corpus, range(1) whose CRC-32 (0 ours, 1 libdeflate's, 2 zlib's).
void BM_Crc32(benchmark::State& state) {
    const std::vector<Bytes>& members = plainMembers(int(state.range(0)));
    const int who = int(state.range(1));
    for (auto _ : state) {
        for (const Bytes& m : members) {
            const uint32_t crc = who == 0   ? tarrow::crc32(m.data(), m.size())
                                 : who == 1 ? libdeflate_crc32(0, m.data(), m.size())
                                            : uint32_t(crc32(0, m.data(), uInt(m.size())));
            benchmark::DoNotOptimize(crc);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(corpus(int(state.range(0))).total));
}

BENCHMARK(BM_Ours)->DenseRange(0, 3)->ArgName("corpus")->MinTime(1.0);
BENCHMARK(BM_OursBuffer)->DenseRange(0, 3)->ArgName("corpus")->MinTime(1.0);
BENCHMARK(BM_Zlib)->Arg(0)->Arg(1)->ArgName("corpus")->MinTime(1.0);
BENCHMARK(BM_Libdeflate)->Arg(0)->Arg(1)->ArgName("corpus")->MinTime(1.0);
BENCHMARK(BM_OursTest)->Arg(0)->Arg(1)->ArgName("corpus")->MinTime(1.0);
BENCHMARK(BM_LibdeflateTest)->Arg(0)->Arg(1)->ArgName("corpus")->MinTime(1.0);
BENCHMARK(BM_Crc32)->ArgsProduct({{0, 1}, {0, 1, 2}})->ArgNames({"corpus", "crc"})->MinTime(0.5);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const char* names[] = {"skin bitmaps", "text"};
    auto time = [&](const char* name, int which) {
        return reporter.seconds[std::string(name) + "/corpus:" + std::to_string(which) + "/min_time:1.000"];
    };
    for (int i = 0; i < 2; ++i) {
        const double window = time("BM_Ours", i), buffer = time("BM_OursBuffer", i);
        const double zlib = time("BM_Zlib", i), libdeflate = time("BM_Libdeflate", i);
        if (window > 0 && buffer > 0 && zlib > 0 && libdeflate > 0)
            std::printf(
                "inflate %-12s (%zu streams, %zu bytes): peer time / our time: zlib %.2f (window) %.2f "
                "(buffer); libdeflate %.2f (window) %.2f (buffer)\n",
                names[i], corpus(i).streams.size(), corpus(i).total, zlib / window, zlib / buffer, libdeflate / window,
                libdeflate / buffer);
    }
    for (int i = 0; i < 2; ++i) {
        const double ours = time("BM_OursTest", i), libdeflate = time("BM_LibdeflateTest", i);
        if (ours > 0 && libdeflate > 0)
            std::printf("test mode (inflate + CRC-32) %-12s: libdeflate + its CRC-32 time / our time: %.2f\n", names[i],
                        libdeflate / ours);
    }
    for (int i = 0; i < 2; ++i) {
        auto crcTime = [&](int who) {
            return reporter
                .seconds["BM_Crc32/corpus:" + std::to_string(i) + "/crc:" + std::to_string(who) + "/min_time:0.500"];
        };
        const double ours = crcTime(0), libdeflate = crcTime(1), zlib = crcTime(2);
        if (ours > 0 && libdeflate > 0 && zlib > 0)
            std::printf("CRC-32 %-12s (%s): peer time / our time: libdeflate %.2f, zlib %.2f\n", names[i],
                        tarrow::crc32FoldingAvailable() ? "folding" : "tables", libdeflate / ours, zlib / ours);
    }
    if (time("BM_Ours", 2) > 0 && time("BM_Ours", 3) > 0)
        std::printf("Deflate64 time / deflate time on the text as 7-Zip packs it: %.2f (window) %.2f (buffer)\n",
                    time("BM_Ours", 3) / time("BM_Ours", 2), time("BM_OursBuffer", 3) / time("BM_OursBuffer", 2));
    benchmark::Shutdown();
    return 0;
}
