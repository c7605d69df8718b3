// veltrane-preview: renders skin previews without a display, as the viewer would save them.
// Exit status 0 when every skin was rendered or skipped, 1 when any failed, 2 for a usage error.
#include "PreviewOptions.h"
#include "SkinSources.h"

#include "imaging/JpegSave.h"
#include "platform/Picture.h"
#include "rendering/SkinPreview.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace veltrane;
using namespace veltrane::preview;

namespace {

enum class Outcome { Written, Skipped, Failed };

struct Job {
    SkinSource source;
    std::string output;
    bool duplicate = false;  // another skin of this run has the same name
    Outcome outcome = Outcome::Failed;
    std::string error;
};

// The skin's preview picture, or false with error set.
bool RenderSource(const SkinSource& source, Dib& canvas, std::string& error) {
    if (source.kind == SkinSource::Kind::Archive) {
        error = "skin archives cannot be unpacked yet";
        return false;
    }
    canvas = RenderSkinPreview(source.path);
    return true;
}

// The preview as the viewer saves it, at the chosen quality. Written in one piece; with --force an
// existing file is replaced, as for BMP.
bool WriteJpeg(const Dib& canvas, int quality, const std::string& path, std::string& error) {
    const std::vector<uint8_t> bytes = EncodeDibAsJpeg(canvas, quality);
    if (bytes.empty()) {
        error = "cannot encode the preview as JPEG";
        return false;
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    file.close();
    if (!file) {
        std::error_code ec;
        fs::remove(path, ec);
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool WriteImage(const Dib& canvas, const PreviewOptions& options, const std::string& path, std::string& error) {
    if (options.format == ImageFormat::Jpeg) return WriteJpeg(canvas, options.quality, path, error);
    if (!SavePicture(canvas, path)) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

void RunJob(Job& job, const PreviewOptions& options) {
    std::error_code ec;
    if (job.duplicate || (!options.force && fs::exists(job.output, ec))) {
        job.outcome = Outcome::Skipped;
        return;
    }
    Dib canvas;
    if (RenderSource(job.source, canvas, job.error) && WriteImage(canvas, options, job.output, job.error))
        job.outcome = Outcome::Written;
}

// A one-line progress bar on standard error, redrawn in place.
class Progress {
public:
    explicit Progress(std::size_t total) : m_total(total), m_enabled(isatty(STDERR_FILENO) != 0) {}
    void Step() {
        if (!m_enabled) return;
        const std::lock_guard lock(m_mutex);
        ++m_done;
        const std::size_t width = 30, filled = m_done * width / m_total;
        std::fprintf(stderr, "\r[%s%s] %zu/%zu", std::string(filled, '#').c_str(),
                     std::string(width - filled, ' ').c_str(), m_done, m_total);
        if (m_done == m_total) std::fputc('\n', stderr);
    }

private:
    std::size_t m_total, m_done = 0;
    bool m_enabled;
    std::mutex m_mutex;
};

void RunAll(std::vector<Job>& jobs, const PreviewOptions& options) {
    unsigned workers = options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    workers = unsigned(std::min<std::size_t>(workers, jobs.size()));
    Progress progress(jobs.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i; (i = next++) < jobs.size();) {
            RunJob(jobs[i], options);
            progress.Step();
        }
    };
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < workers; ++i) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = ParsePreviewOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "veltrane-preview: %s\n%s", error.c_str(), kUsage);
        return 2;
    }

    bool failed = false;
    std::vector<SkinSource> sources;
    for (const std::string& argument : options->skins) {
        const std::size_t before = sources.size();
        if (!ExpandSkinArgument(argument, sources, error)) {
            std::fprintf(stderr, "veltrane-preview: %s\n", error.c_str());
            failed = true;
        } else if (sources.size() == before) {
            std::fprintf(stderr, "veltrane-preview: %s: no skins in this folder\n", argument.c_str());
        }
    }

    const std::string folder = options->outputFolder.empty() ? "." : options->outputFolder;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) {
        std::fprintf(stderr, "veltrane-preview: cannot create the output folder %s\n", folder.c_str());
        return 1;
    }
    const char* extension = options->format == ImageFormat::Jpeg ? ".jpg" : ".bmp";
    std::vector<Job> jobs;
    std::set<std::string> claimed;
    for (const SkinSource& source : sources) {
        Job job;
        job.source = source;
        job.output = (fs::path(folder) / (source.name + extension)).string();
        job.duplicate = !claimed.insert(job.output).second;
        jobs.push_back(std::move(job));
    }
    if (!jobs.empty()) RunAll(jobs, *options);

    for (const Job& job : jobs)
        if (job.outcome == Outcome::Failed) {
            std::fprintf(stderr, "veltrane-preview: %s: %s\n", job.source.path.c_str(), job.error.c_str());
            failed = true;
        }
    return failed ? 1 : 0;
}
