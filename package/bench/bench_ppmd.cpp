// PPMd decoding speed of the library beside 7z's own, on one archive that 7z compresses in the same
// run: 8 MB of text and binary-like data, model order 6 with 16 MB (7z's settings for ZIP's default
// level), and order 16 with 64 MB. 7z runs as a program (`7z t`); both are timed by the processor time
// they use (ours: this thread's, 7z's: the child's), which a loaded machine disturbs less than the wall
// clock. 7z's figure includes its start-up and CRC check, ours the CRC check as well.
#include "crc32.h"
#include "ppmd.h"

#include "RatioReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr size_t kSize = 8 << 20;

Bytes readFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

// Text from the system's licence files, with stretches of numeric tables and noise in between.
Bytes sampleData() {
    Bytes text;
    if (fs::is_directory("/usr/share/common-licenses"))
        for (const auto& e : fs::directory_iterator("/usr/share/common-licenses"))
            if (e.is_regular_file()) {
                Bytes b = readFile(e.path());
                text.insert(text.end(), b.begin(), b.end());
            }
    if (text.empty()) text.assign(1000, 'x');
    std::mt19937 rng(1);
    Bytes out;
    while (out.size() < kSize) {
        size_t at = rng() % text.size(), n = std::min<size_t>(text.size() - at, 1 + rng() % 20000);
        out.insert(out.end(), text.begin() + long(at), text.begin() + long(at + n));
        for (int i = rng() % 2000; i > 0; --i) {
            uint32_t v = rng() % 4096;
            out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8), 0, 0});
        }
    }
    out.resize(kSize);
    return out;
}

struct Archive {
    fs::path zip;
    Bytes stream;  // the member's compressed data
    uint32_t crc = 0;
};

uint32_t le(const Bytes& b, size_t at, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | b[at + size_t(i)];
    return v;
}

// The folder of the data and archives, removed at the end of main.
const fs::path& scratchDir() {
    static const fs::path dir = [] {
        std::string tmpl = (fs::temp_directory_path() / "bench-ppmd-XXXXXX").string();
        return mkdtemp(tmpl.data()) ? fs::path(tmpl) : fs::path();
    }();
    return dir;
}

Archive makeArchive(int order, int memoryMb) {
    const fs::path& dir = scratchDir();
    if (dir.empty()) return {};
    static const Bytes data = [&dir] {
        Bytes d = sampleData();
        std::ofstream(dir / "member", std::ios::binary).write(reinterpret_cast<const char*>(d.data()), long(d.size()));
        return d;
    }();
    Archive a;
    a.zip = dir / ("o" + std::to_string(order) + ".zip");
    std::string cmd = "cd '" + dir.string() + "' && rm -f '" + a.zip.string() +
                      "' && 7z a -tzip -mm=PPMd -mo=" + std::to_string(order) + " -mmem=" + std::to_string(memoryMb) +
                      "m '" + a.zip.string() + "' member >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return a;
    Bytes zip = readFile(a.zip);
    if (zip.size() < 30 || le(zip, 8, 2) != 98) return a;
    size_t start = 30 + le(zip, 26, 2) + le(zip, 28, 2);
    a.stream.assign(zip.begin() + long(start), zip.begin() + long(start + le(zip, 18, 4)));
    a.crc = le(zip, 14, 4);
    return a;
}

const Archive& archive(int which) {
    static const Archive a6 = makeArchive(6, 16), a16 = makeArchive(16, 64);
    return which == 0 ? a6 : a16;
}

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double childSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    auto s = [](const timeval& v) { return double(v.tv_sec) + double(v.tv_usec) * 1e-6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

struct CrcSink : tarrow::OutputSink {
    uint32_t crc = tarrow::kCrcStart;
    bool write(std::span<const uint8_t> block) override {
        crc = tarrow::crc32Update(crc, block.data(), block.size());
        return true;
    }
};

void BM_Ours(benchmark::State& state) {
    const Archive& a = archive(int(state.range(0)));
    if (a.stream.empty()) return state.SkipWithError("7z missing");
    tarrow::OutputWindow window;
    for (auto _ : state) {
        const double start = threadSeconds();
        CrcSink sink;
        tarrow::MemorySource source(a.stream);
        window.start(sink, kSize);
        if (tarrow::unppmd(source, window, kSize) != tarrow::DecodeStatus::Ok || ~sink.crc != a.crc)
            state.SkipWithError("decode failed");
        state.SetIterationTime(threadSeconds() - start);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

void BM_SevenZip(benchmark::State& state) {
    const Archive& a = archive(int(state.range(0)));
    if (a.stream.empty()) return state.SkipWithError("7z missing");
    const std::string cmd = "7z t '" + a.zip.string() + "' >/dev/null 2>&1";
    for (auto _ : state) {
        const double start = childSeconds();
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("7z t failed");
        state.SetIterationTime(childSeconds() - start);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

BENCHMARK(BM_Ours)->Arg(0)->Arg(1)->ArgName("order16")->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_SevenZip)->Arg(0)->Arg(1)->ArgName("order16")->UseManualTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const char* names[] = {"order 6, 16 MB", "order 16, 64 MB"};
    for (int i = 0; i < 2; ++i) {
        std::string arg = "/order16:" + std::to_string(i) + "/min_time:2.000/manual_time";
        double ours = reporter.seconds["BM_Ours" + arg], peer = reporter.seconds["BM_SevenZip" + arg];
        if (ours > 0 && peer > 0)
            std::printf("ppmd %-16s (%zu bytes): 7z time / our time = %.2f\n", names[i], kSize, peer / ours);
    }
    if (!scratchDir().empty()) fs::remove_all(scratchDir());
    benchmark::Shutdown();
    return 0;
}
