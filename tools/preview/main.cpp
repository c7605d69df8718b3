// veltrane-preview: renders skin previews without a display, as the viewer would save them.
// Exit status 0 when every skin was rendered or skipped, 1 when any failed, 2 for a usage error.
#include "Gallery.h"
#include "base/Printable.h"
#include "PreviewOptions.h"
#include "PreviewOutput.h"
#include "SkinFacts.h"
#include "SkinRender.h"
#include "SkinSources.h"
#include "Thumbnail.h"
#include "WorkerProcesses.h"
#include "WorkingFolder.h"

#include "platform/FileHandling.h"
#include "app/ProgramValues.h"
#include "archive/UnZIP.h"
#include "rendering/SkinPreview.h"
#include "rendering/SkinRegion.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <numeric>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

#ifndef VELTRANE_VERSION
#define VELTRANE_VERSION "unknown"
#endif

namespace fs = std::filesystem;
using namespace veltrane;
using namespace veltrane::preview;

namespace {

// Paths, member names and the messages that hold them go to the terminal escaped, so that a
// file name cannot drive it.
std::string Shown(const std::string& text) { return text::Printable(text); }

// One message line on standard error.
void Complain(const std::string& message) { std::fprintf(stderr, "veltrane-preview: %s\n", Shown(message).c_str()); }

enum Status : uint8_t { kRendered, kSkipped, kFailed };

struct Job {
    SkinSource source;
    std::string output;
    bool replace = false;  // an existing file at output is replaced rather than skipped
};

// Renders, encodes and writes one skin; the message names the reason of a failure.
JobResult RunJob(const Job& job, const PreviewOptions& options, const std::string& tempFolder) {
    JobResult result;
    std::error_code ec;
    if (!job.replace && fs::exists(fs::symlink_status(job.output, ec))) {
        result.status = kSkipped;
        return result;
    }
    Dib canvas;
    const ArchiveReading reading = options.viaFiles ? ArchiveReading::ViaFiles : ArchiveReading::InMemory;
    // Texts, facts and the pixel hash are for the gallery; a shaped preview needs the region.
    const bool gallery = !options.galleryFolder.empty();
    SkinFacts facts;
    const bool rendered = RenderSkinSource(job.source, tempFolder, canvas, result.message, reading,
                                           gallery || options.shape ? &facts : nullptr);
    std::vector<uint8_t> alpha;
    if (rendered && options.shape) alpha = PreviewRegionMask(facts.outline);
    if (gallery) {
        facts.shaped = !alpha.empty();
        if (rendered) facts.hash = PixelHash(canvas, alpha);
        result.data = SerializeFacts(facts);
    }
    if (!rendered) {
        result.status = kFailed;
        return result;
    }
    const std::vector<uint8_t> bytes = EncodePreview(canvas, options.format, options.quality, alpha);
    if (bytes.empty()) {
        result.status = kFailed;
        result.message = "cannot encode the preview";
        return result;
    }
    switch (WritePreviewFile(job.output, bytes, job.replace, result.message)) {
    case WriteResult::Written: result.status = kRendered; break;
    case WriteResult::Exists: result.status = kSkipped; break;
    case WriteResult::Failed: result.status = kFailed; break;
    }
    return result;
}

// A one-line progress bar on standard error, redrawn in place; only on a terminal.
class Progress {
public:
    explicit Progress(std::size_t total) : m_total(total), m_enabled(isatty(STDERR_FILENO) != 0) {}
    void Step() {
        ++m_done;
        Draw();
    }
    // Prints a line above the bar.
    void Say(const std::string& line) {
        if (m_enabled) std::fputs("\r\033[K", stderr);
        std::fprintf(stderr, "%s\n", line.c_str());
        Draw();
    }
    void Finish() {
        if (m_enabled && m_total > 0) std::fputs("\r\033[K", stderr);
    }

private:
    void Draw() const {
        if (!m_enabled || m_total == 0) return;
        const std::size_t width = 30, filled = m_done * width / m_total;
        std::fprintf(stderr, "\r[%s%s] %zu/%zu", std::string(filled, '#').c_str(),
                     std::string(width - filled, ' ').c_str(), m_done, m_total);
        std::fflush(stderr);
    }

    std::size_t m_total, m_done = 0;
    bool m_enabled;
};

// The signal that asks the run to end (Ctrl-C, a closed terminal, kill), 0 while none came.
volatile sig_atomic_t g_interruption = 0;

void OnInterruption(int signal) { g_interruption = signal; }

// Without SA_RESTART, so that the wait for the workers' reports is interrupted.
void CatchInterruptions() {
    struct sigaction action {};
    action.sa_handler = OnInterruption;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

// A private folder for the run's working folders, so nothing of a worker that dies mid-skin is
// left behind: the whole folder goes when the run ends.
std::string MakeRunFolder() {
    std::string pattern = WorkingFolderBase() + "veltrane-preview-XXXXXX";
    if (!mkdtemp(pattern.data())) return {};
    return pattern + "/";
}

// For each skin, the index of the first skin of its name (itself when it is the first): skins of
// one name would write the same preview file.
std::vector<uint32_t> FirstOfEachName(const SkinSourceList& sources) {
    std::vector<uint32_t> order(sources.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        const int c = sources.Name(a).compare(sources.Name(b));
        return c != 0 ? c < 0 : a < b;
    });
    std::vector<uint32_t> first(sources.size());
    for (std::size_t k = 0; k < order.size(); ++k)
        first[order[k]] =
            k > 0 && sources.Name(order[k]) == sources.Name(order[k - 1]) ? first[order[k - 1]] : order[k];
    return first;
}

int RenderAll(const PreviewOptions& options) {
    bool failed = false;
    std::string error;
    SkinSourceList sources;
    for (const std::string& argument : options.skins) {
        const std::size_t before = sources.size();
        if (!ExpandSkinArgument(argument, sources, error, options.recursive)) {
            Complain(error);
            failed = true;
        } else if (sources.size() == before) {
            Complain(argument + ": no skins in this folder");
        }
    }
    sources.Compact();

    // A job is the index of its skin, in the sources or in the gallery; the worker that takes it
    // makes the rest, so that a large collection costs the workers little memory.
    std::vector<std::size_t> jobs;
    std::size_t skipped = 0;
    std::error_code ec;
    // A gallery renders the skins that are new or changed into its own folder; the skins it
    // already shows count as skipped.
    // Never destroyed (this runs once per process): freeing the records of 100,000 skins one by
    // one as the program ends would take a good part of a rerun's time.
    static Gallery& gallery = *new Gallery;
    const bool toGallery = !options.galleryFolder.empty();
    if (toGallery) {
        if (!gallery.Open(options.galleryFolder, sources, options.format, options.quality, options.force, error)) {
            Complain(error);
            return 1;
        }
        jobs = gallery.Pending();
        skipped = gallery.Skins().size() - jobs.size();
    }
    // Skins that failed before and are unchanged are not tried again, but still count as failed.
    std::size_t failedBefore = 0;
    for (const Gallery::Skin& skin : gallery.Skins()) {
        if (skin.state != Gallery::State::FailedBefore) continue;
        Complain(skin.source.path + ": " + skin.reason + " (unchanged since it failed; --force tries it again)");
        ++failedBefore;
    }
    skipped -= failedBefore;
    const std::string folder = options.outputFolder.empty() ? "." : options.outputFolder;
    if (!toGallery) fs::create_directories(folder, ec);
    if (!toGallery && !fs::is_directory(folder, ec)) {
        Complain("cannot create the output folder " + folder);
        return 1;
    }
    const char* extension = PreviewExtension(options.format);
    if (!toGallery) {
        const std::vector<uint32_t> first = FirstOfEachName(sources);
        for (std::size_t i = 0; i < sources.size(); ++i) {
            if (first[i] != i) {
                // As in the viewer, the first skin of a name gets the file; the others are skipped.
                Complain(sources.Path(i) + ": skipped, " + sources.Path(first[i]) + " has the same name");
                ++skipped;
                continue;
            }
            jobs.push_back(i);
        }
    }
    const auto jobOf = [&](std::size_t i) -> Job {
        if (toGallery) return {gallery.Skins()[jobs[i]].source, gallery.PreviewPath(jobs[i]), true};
        SkinSource source = sources[jobs[i]];
        std::string output = (fs::path(folder) / (source.name + extension)).string();
        return {std::move(source), std::move(output), options.force};
    };
    const auto pathOf = [&](std::size_t i) {
        return toGallery ? gallery.Skins()[jobs[i]].source.path : sources.Path(jobs[i]);
    };

    CatchInterruptions();  // before the run folder exists, so that it is always removed
    // Only unpacking needs working folders: in memory nothing is written there.
    const bool unpacks = options.viaFiles && !jobs.empty();
    const std::string runFolder = unpacks ? MakeRunFolder() : std::string();
    if (unpacks && runFolder.empty()) {
        Complain("cannot make a working folder in " + WorkingFolderBase());
        return 1;
    }
    SetPackageLibraryFolder(ProgramFolder());
    const unsigned workers = options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    std::size_t rendered = 0, failures = failedBefore;
    Progress progress(jobs.size());
    // What was freed while listing the skins goes back to the system, so that no worker inherits it
    // (large frees are otherwise kept for the next skin, see KeepLargeBuffersOnTheHeap).
    if (!jobs.empty()) {
        malloc_trim(0);
        PrepareSkinPreviews();
    }
    // Each worker makes its working folders in a folder of its own: folders created and removed
    // side by side in one parent contend for that parent's lock in the file system.
    std::string workerFolder;
    const auto work = [&](std::size_t i) {
        if (unpacks && workerFolder.empty()) {
            workerFolder = runFolder + "worker-" + std::to_string(getpid()) + "/";
            if (mkdir(workerFolder.c_str(), 0700) != 0) workerFolder = runFolder;
        }
        return RunJob(jobOf(i), options, workerFolder);
    };
    RunInWorkerProcesses(
        jobs.size(), workers, work,
        [&](std::size_t i, const JobResult& result) {
            if (result.lost || result.status == kFailed) {
                ++failures;
                progress.Say("veltrane-preview: " + Shown(pathOf(i) + ": " + result.message));
            } else if (result.status == kSkipped) {
                ++skipped;
            } else {
                ++rendered;
            }
            if (toGallery) {
                SkinFacts facts;
                DeserializeFacts(result.data, facts);
                gallery.Record(jobs[i], !result.lost && result.status == kRendered, result.message, std::move(facts));
            }
            progress.Step();
        },
        [] { return g_interruption != 0; });
    progress.Finish();
    if (!runFolder.empty()) fs::remove_all(runFolder, ec);
    // Even an interrupted run records what it rendered, so that the next one need not again.
    if (toGallery && !gallery.Write(error)) {
        Complain(error);
        failed = true;
    }
    if (g_interruption) {
        // The working folders are gone; now end as the signal would have ended us.
        const int signal = g_interruption;
        std::signal(signal, SIG_DFL);
        raise(signal);
    }

    std::fprintf(stderr, "%zu rendered, %zu skipped, %zu failed\n", rendered, skipped, failures);
    if (toGallery && !failed) std::printf("%s\n", Shown(gallery.PagePath()).c_str());
    return failed || failures > 0 ? 1 : 0;
}

// The thumbnailer entry's command: one skin, scaled, as PNG. On failure no output file is left.
int WriteThumbnail(const PreviewOptions& options) {
    SkinSourceList sources;
    std::string error;
    const std::string& input = options.thumbnailInput;
    if (!ExpandSkinArgument(input, sources, error) || sources.size() != 1 ||
        (sources.KindOf(0) == SkinSource::Kind::Folder && sources.Path(0) != input)) {
        Complain(input + ": " + (error.empty() ? "not a skin" : error));
        return 1;
    }
    const std::string runFolder = MakeRunFolder();
    if (runFolder.empty()) {
        Complain("cannot make a working folder in " + WorkingFolderBase());
        return 1;
    }
    SetPackageLibraryFolder(ProgramFolder());
    Dib canvas;
    SkinFacts facts;
    const bool rendered = RenderSkinSource(sources[0], runFolder, canvas, error, ArchiveReading::InMemory, &facts);
    std::error_code ec;
    fs::remove_all(runFolder, ec);
    if (!rendered) {
        Complain(input + ": " + error);
        return 1;
    }
    // A file manager shows the thumbnail over its own background: the skin's outline, as on screen.
    const std::vector<uint8_t> alpha = PreviewRegionMask(facts.outline);
    std::vector<uint8_t> scaledAlpha;
    const Dib scaled = ScaleToFit(canvas, alpha, options.thumbnailSize, scaledAlpha);
    const std::vector<uint8_t> png = EncodePreviewPng(scaled, scaledAlpha);
    if (png.empty() || WriteIntoFile(options.thumbnailOutput, png, error) != WriteResult::Written) {
        Complain(error.empty() ? "cannot encode the thumbnail" : error);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    KeepLargeBuffersOnTheHeap();
    std::string error;
    const auto options = ParsePreviewOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "veltrane-preview: %s\n%s", Shown(error).c_str(), kUsage);
        return 2;
    }
    switch (options->mode) {
    case PreviewOptions::Mode::Help: std::printf("%s\n%s", kUsage, kHelp); return 0;
    case PreviewOptions::Mode::Version: std::printf("veltrane-preview %s\n", VELTRANE_VERSION); return 0;
    case PreviewOptions::Mode::Thumbnail: return WriteThumbnail(*options);
    case PreviewOptions::Mode::Render: break;
    }
    return RenderAll(*options);
}
