// The batch preview pipeline, stage by stage and as a whole:
//  1. one typical corpus skin archive, stage by stage (unpack, load, compose, JPEG encode, write,
//     clean-up), medians over many runs in CPU time (this process, kernel time included) and wall
//     time, for the unpacking pipeline and for the in-memory reading the tool uses by default;
//  2. veltrane-preview itself over the corpus repeated to at least 2000 skins, in memory and with
//     --via-files, at -j 1 and -j 2: skins per second (wall), CPU time per skin (all workers), and
//     the peak resident size of the largest process of the run (the parent or any worker).
// The working folders go where the tool puts them (see WorkingFolderBase); the file system type is
// printed, because unpacking is file creation and deletion and costs what that file system costs.
#include "InMemorySkin.h"
#include "PreviewOutput.h"
#include "SkinRender.h"
#include "SkinSources.h"
#include "WorkingFolder.h"

#include "app/Commands.h"
#include "platform/FileHandling.h"
#include "app/ProgramValues.h"
#include "archive/UnZIP.h"
#include "imaging/JpegSave.h"
#include "rendering/WinAMPGraphics.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace veltrane;
using namespace veltrane::preview;

namespace {

constexpr int kStageRuns = 300;
constexpr std::size_t kThroughputSkins = 2000;
constexpr const char* kTypicalSkin = "XMMS-Turquoise.wsz";

struct Clock {
    double cpu, wall;  // milliseconds
};

Clock Now() {
    timespec cpu{}, wall{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    clock_gettime(CLOCK_MONOTONIC, &wall);
    return {cpu.tv_sec * 1e3 + cpu.tv_nsec / 1e6, wall.tv_sec * 1e3 + wall.tv_nsec / 1e6};
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string FileSystemOf(const std::string& path) {
    struct statfs info {};
    if (statfs(path.c_str(), &info) != 0) return "unknown";
    switch (info.f_type) {
    case 0x01021994: return "tmpfs";
    case 0xEF53: return "ext4";
    case 0x794C7630: return "overlayfs";
    case 0x9123683E: return "btrfs";
    case 0x58465342: return "xfs";
    default: return "type " + std::to_string(info.f_type);
    }
}

// Stage times of one run, CPU and wall.
struct Stages {
    std::map<std::string, std::vector<double>> cpu, wall;
    void Add(const std::string& stage, Clock from, Clock to) {
        cpu[stage].push_back(to.cpu - from.cpu);
        wall[stage].push_back(to.wall - from.wall);
    }
};

void StageBreakdown(const std::string& archive, const std::string& temp) {
    SkinWindows started;
    started.LoadDefault();
    NoEventPump pump;
    Stages stages;
    const std::string output = temp + "bench-preview.jpg";
    for (int run = 0; run < kStageRuns; ++run) {
        Dib canvas(kPreviewWidth, kPreviewHeight, 24);
        Clock start = Now(), unpacked{}, loaded{}, composed{};
        LoadSkinArchive(archive, temp, pump, [&](std::string& folder) {
            unpacked = Now();
            SkinWindows windows = started;
            windows.LoadSkin(folder);
            loaded = Now();
            windows.Main.DrawMainWindow();
            windows.Equalizer.DrawEqualizerWindow();
            windows.Playlist.DrawPlaylistWindow();
            ComposePreview(windows, canvas);
            composed = Now();
        });
        const Clock cleaned = Now();
        const std::vector<uint8_t> jpeg = EncodeDibAsJpeg(canvas, kPreviewJpegQuality);
        const Clock encoded = Now();
        std::string error;
        if (WritePreviewFile(output, jpeg, true, error) != WriteResult::Written)
            std::fprintf(stderr, "%s\n", error.c_str());
        const Clock written = Now();
        if (run == 0) continue;  // the first run binds the library and warms the caches
        stages.Add("unpack (copy, extract, find main.bmp)", start, unpacked);
        stages.Add("load bitmaps and first draw", unpacked, loaded);
        stages.Add("compose (draw 3 windows, stack)", loaded, composed);
        stages.Add("clean-up (delete, remove folders)", composed, cleaned);
        stages.Add("JPEG encode (quality 90)", cleaned, encoded);
        stages.Add("write file", encoded, written);
        stages.Add("total", start, written);
    }
    std::printf("Stage breakdown for %s, %d runs, medians (CPU = this process incl. kernel):\n",
                fs::path(archive).filename().c_str(), kStageRuns - 1);
    for (const char* stage :
         {"unpack (copy, extract, find main.bmp)", "load bitmaps and first draw", "compose (draw 3 windows, stack)",
          "clean-up (delete, remove folders)", "JPEG encode (quality 90)", "write file", "total"})
        std::printf("  %-40s %7.3f ms CPU  %7.3f ms wall\n", stage, Median(stages.cpu[stage]),
                    Median(stages.wall[stage]));
    fs::remove(output);
}

// The same stages for the in-memory reading: read and catalogue the archive, then decode the
// members the windows look up while they load (one stage, as the loading asks for them).
void InMemoryStageBreakdown(const std::string& archive, const std::string& temp) {
    Stages stages;
    const std::string output = temp + "bench-preview.jpg";
    for (int run = 0; run < kStageRuns; ++run) {
        const Clock start = Now();
        Dib canvas;
        std::string error;
        if (!RenderArchiveInMemory(archive, canvas, error)) std::fprintf(stderr, "%s\n", error.c_str());
        const Clock rendered = Now();
        const std::vector<uint8_t> jpeg = EncodeDibAsJpeg(canvas, kPreviewJpegQuality);
        const Clock encoded = Now();
        if (WritePreviewFile(output, jpeg, true, error) != WriteResult::Written)
            std::fprintf(stderr, "%s\n", error.c_str());
        const Clock written = Now();
        if (run == 0) continue;
        stages.Add("read, decode and load, compose", start, rendered);
        stages.Add("JPEG encode (quality 90)", rendered, encoded);
        stages.Add("write file", encoded, written);
        stages.Add("total", start, written);
    }
    std::printf("In memory, %s, %d runs, medians:\n", fs::path(archive).filename().c_str(), kStageRuns - 1);
    for (const char* stage : {"read, decode and load, compose", "JPEG encode (quality 90)", "write file", "total"})
        std::printf("  %-40s %7.3f ms CPU  %7.3f ms wall\n", stage, Median(stages.cpu[stage]),
                    Median(stages.wall[stage]));
    fs::remove(output);
}

struct RunFigures {
    double wallSeconds = 0, cpuSeconds = 0, peakMb = 0;
    int status = -1;
};

RunFigures RunTool(const std::string& tool, const std::vector<std::string>& args) {
    RunFigures figures;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv{const_cast<char*>(tool.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        freopen("/dev/null", "w", stderr);
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    figures.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto seconds = [](timeval t) { return t.tv_sec + t.tv_usec / 1e6; };
    figures.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    figures.peakMb = usage.ru_maxrss / 1024.0;  // the largest process of the tree the tool waited for
    figures.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return figures;
}

void Throughput(const std::string& corpus, const std::string& temp) {
    // At least kThroughputSkins distinct names, each a link to a corpus skin.
    std::vector<fs::path> skins;
    for (const auto& entry : fs::directory_iterator(corpus))
        if (entry.path().extension() == ".wsz") skins.push_back(entry.path());
    std::sort(skins.begin(), skins.end());
    if (skins.empty()) return;
    const std::string many = temp + "skins/", out = temp + "out/";
    fs::create_directories(many);
    std::size_t n = 0;
    while (n < kThroughputSkins)
        for (const fs::path& skin : skins) {
            char name[32];
            std::snprintf(name, sizeof name, "skin%05zu.wsz", n++);
            fs::create_symlink(skin, many + name);
        }
    const std::string tool = ProgramFolder() + "veltrane-preview";
    std::printf("Throughput of veltrane-preview over %zu corpus archives (--force, JPEG):\n", n);
    std::map<std::string, double> cpuPerSkin;
    for (const char* mode : {"in memory", "--via-files"}) {
        const bool files = mode[0] == '-';
        double wallOne = 0, cpuOne = 0;
        for (const char* jobs : {"1", "2"}) {
            RunFigures best;
            for (int attempt = 0; attempt < 3; ++attempt) {  // the best of three: others' load only slows a run down
                std::vector<std::string> args = {"-j", jobs, "--force", "-o", out, many};
                if (files) args.insert(args.begin(), "--via-files");
                const RunFigures f = RunTool(tool, args);
                if (f.status != 0) std::printf("  (run ended with status %d)\n", f.status);
                if (attempt == 0 || f.wallSeconds < best.wallSeconds) best = f;
            }
            std::printf(
                "  %-11s -j %s: %7.1f skins/s wall (%.2f s), %.3f ms CPU per skin (all processes), peak %.1f MB\n",
                mode, jobs, double(n) / best.wallSeconds, best.wallSeconds, best.cpuSeconds * 1e3 / double(n),
                best.peakMb);
            cpuPerSkin[std::string(mode) + jobs] = best.cpuSeconds / double(n);
            if (jobs[0] == '1') wallOne = best.wallSeconds, cpuOne = best.cpuSeconds;
            else
                std::printf("  %-11s speed-up -j 2 over -j 1: %.2f (wall); CPU per skin grew by %.0f%%\n", mode,
                            wallOne / best.wallSeconds, (best.cpuSeconds / cpuOne - 1) * 100);
        }
    }
    std::printf("  CPU per skin, --via-files / in memory: %.2f at -j 1, %.2f at -j 2\n",
                cpuPerSkin["--via-files1"] / cpuPerSkin["in memory1"],
                cpuPerSkin["--via-files2"] / cpuPerSkin["in memory2"]);
    fs::remove_all(many);
    fs::remove_all(out);
}

}  // namespace

int main() {
    const std::string corpus = std::string(VELTRANE_SHARED_DIR) + "/corpus/skins";
    if (!fs::is_directory(corpus)) {
        std::printf("bench_preview: no corpus at %s\n", corpus.c_str());
        return 0;
    }
    SetPackageLibraryFolder(ProgramFolder());
    KeepLargeBuffersOnTheHeap();  // as the tool does
    std::string pattern = WorkingFolderBase() + "veltrane-bench-XXXXXX";
    if (!mkdtemp(pattern.data())) return 1;
    const std::string temp = pattern + "/";
    std::printf("Working folders in %s (%s); load average now: ", WorkingFolderBase().c_str(),
                FileSystemOf(temp).c_str());
    double load[3] = {};
    if (getloadavg(load, 3) == 3) std::printf("%.2f %.2f %.2f\n", load[0], load[1], load[2]);

    std::string archive = corpus + "/" + kTypicalSkin;
    if (!fs::exists(archive)) archive = corpus + "/base-2.91.wsz";
    StageBreakdown(archive, temp);
    InMemoryStageBreakdown(archive, temp);
    if (!PackageLibraryLoaded())
        std::printf("  (libPackage.so was not found beside the benchmark: nothing was unpacked)\n");
    Throughput(corpus, temp);
    fs::remove_all(temp);
    return 0;
}
