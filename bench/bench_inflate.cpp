// Inflate throughput of the library's decoder beside zlib's inflate, on the same zlib-compressed data in
// the same run: the bitmaps of the corpus skins (each its own stream, as in a skin archive) and a text
// corpus. Prints the ratio of zlib's time to ours (above 1.0: ours is faster).
#include "inflate.h"

#include "RatioReporter.h"

#include <benchmark/benchmark.h>
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

Bytes readFile(const fs::path &p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

Bytes deflateRaw(const Bytes &in, int level) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, uLong(in.size())));
    z.next_in = const_cast<uint8_t *>(in.data());
    z.avail_in = uInt(in.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

void add(Corpus &c, const Bytes &data) {
    c.streams.push_back({deflateRaw(data, 6), data.size()});
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
        for (const auto &e : fs::directory_iterator(skins)) {
            if (e.path().extension() != ".wsz") continue;
            std::string cmd = "7z x -y -o'" + (dir / e.path().stem()).string() + "' '" + e.path().string() +
                              "' >/dev/null 2>&1";
            if (std::system(cmd.c_str()) != 0) continue;
        }
        for (const auto &e : fs::recursive_directory_iterator(dir)) {
            std::string ext = e.path().extension().string();
            for (auto &ch : ext) ch = char(std::tolower(ch));
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
    for (const char *dir : {"/usr/share/common-licenses"}) {
        if (!fs::is_directory(dir)) continue;
        for (const auto &e : fs::directory_iterator(dir))
            if (e.is_regular_file()) {
                Bytes b = readFile(e.path());
                text.insert(text.end(), b.begin(), b.end());
            }
    }
    if (text.empty()) {
        std::mt19937 rng(1);
        static const char *words[] = {"the ", "skin ", "window ", "of ", "and ", "player ", "equalizer ", ".\n"};
        while (text.size() < 300000) {
            std::string w = words[rng() % 8];
            text.insert(text.end(), w.begin(), w.end());
        }
    }
    Corpus c;
    add(c, text);
    return c;
}

const Corpus &corpus(int which) {
    static const Corpus skins = skinCorpus();
    static const Corpus text = textCorpus();
    return which == 0 ? skins : text;
}

// Gathers the decoder's output in one buffer, as zlib's is.
struct BufferSink : tarrow::OutputSink {
    uint8_t *out = nullptr;
    size_t room = 0;
    bool write(std::span<const uint8_t> block) override {
        if (block.size() > room) return false;
        std::memcpy(out, block.data(), block.size());
        out += block.size(), room -= block.size();
        return true;
    }
};

void BM_Ours(benchmark::State &state) {
    const Corpus &c = corpus(int(state.range(0)));
    Bytes out(1 << 22);
    tarrow::OutputWindow window;
    tarrow::Inflater inflater;
    for (auto _ : state) {
        for (const Stream &s : c.streams) {
            BufferSink sink;
            sink.out = out.data(), sink.room = out.size();
            tarrow::MemorySource source(s.packed);
            window.start(sink, s.size);
            if (inflater.run(source, window) != tarrow::DecodeStatus::Ok) state.SkipWithError("decode failed");
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.total));
}

void BM_Zlib(benchmark::State &state) {
    const Corpus &c = corpus(int(state.range(0)));
    Bytes out(1 << 22);
    z_stream z{};
    inflateInit2(&z, -15);
    for (auto _ : state) {
        for (const Stream &s : c.streams) {
            inflateReset(&z);
            z.next_in = const_cast<uint8_t *>(s.packed.data());
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

BENCHMARK(BM_Ours)->Arg(0)->Arg(1)->ArgName("corpus")->MinTime(1.0);
BENCHMARK(BM_Zlib)->Arg(0)->Arg(1)->ArgName("corpus")->MinTime(1.0);

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const char *names[] = {"skin bitmaps", "text"};
    for (int i = 0; i < 2; ++i) {
        std::string arg = "/corpus:" + std::to_string(i) + "/min_time:1.000";
        double ours = reporter.seconds["BM_Ours" + arg], zlib = reporter.seconds["BM_Zlib" + arg];
        if (ours > 0 && zlib > 0)
            std::printf("inflate %-12s (%zu streams, %zu bytes): zlib time / our time = %.2f\n", names[i],
                        corpus(i).streams.size(), corpus(i).total, zlib / ours);
    }
    benchmark::Shutdown();
    return 0;
}
