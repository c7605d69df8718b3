// Our JPEG encoder (SampleHDC + coding) against libjpeg-turbo at quality 90, 4:4:4 and optimised
// Huffman codes, both reading the same bitmap and writing to memory, on a skin preview and on a
// 2000 x 2000 picture. After the timings it prints the speed ratio and the size ratio at equal
// PSNR (libjpeg-turbo's size interpolated between the qualities that bracket our PSNR). The
// ratios use CPU time, which other processes on a shared machine disturb less than wall time.
#include "imaging/cJpeg.h"
#include "imaging/JpegSave.h"
#include "rendering/SkinPreview.h"
#include "rendering/WinAMPGraphics.h"

#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace veltrane;

namespace {

constexpr int kQuality = 90;

// The preview of the base skin from the shared corpus, as the batch tool renders it; the built-in
// default skin when the corpus is missing.
Dib PreviewPicture() {
    SkinWindows windows;
    windows.LoadDefault();
    const std::filesystem::path base = std::filesystem::path(VELTRANE_SHARED_DIR) / "corpus/skins/base-2.91";
    if (std::filesystem::is_directory(base)) windows.LoadSkin(base.string() + "/");
    Dib canvas(kPreviewWidth, kPreviewHeight, 24);
    ComposePreview(windows, canvas);
    return canvas;
}

// A large photo-like picture: smooth colour fields, hard-edged shapes and sensor-like noise.
Dib LargePicture() {
    constexpr int32_t kSide = 2000;
    Dib d(kSide, kSide, 24);
    std::mt19937 rng(2000);
    std::normal_distribution<float> noise(0.0f, 3.0f);
    for (int32_t y = 0; y < kSide; ++y) {
        uint8_t* p = d.Row(y);
        for (int32_t x = 0; x < kSide; ++x, p += 3) {
            const float fx = float(x) / kSide, fy = float(y) / kSide;
            float r = 128 + 90 * std::sin(6.1f * fx + 2.3f * fy) + 20 * std::sin(40 * fx * fy);
            float g = 120 + 80 * std::cos(4.3f * fy - 1.7f * fx);
            float b = 110 + 70 * std::sin(3.7f * (fx + fy)) + 30 * std::cos(25 * fy);
            if ((x / 250 + y / 250) % 3 == 0 && (x % 250) < 180 && (y % 250) < 120) r = 240, g = 230, b = 40;
            const auto clamp = [&](float v) {
                return uint8_t(std::lround(std::fmin(255.f, std::fmax(0.f, v + noise(rng)))));
            };
            p[0] = clamp(b);
            p[1] = clamp(g);
            p[2] = clamp(r);
        }
    }
    return d;
}

std::vector<uint8_t> EncodeOurs(const Dib& picture, int quality = kQuality) {
    cJpeg encoder;
    encoder.SetQuality(quality);
    encoder.SampleHDC(&picture, picture.Width(), picture.Height(), 0, 0);
    return encoder.Encode();
}

// libjpeg-turbo reads the bitmap's rows in place (BGR order, any row order through the pointers).
std::vector<uint8_t> EncodeTurbo(const Dib& picture, int quality = kQuality) {
    jpeg_compress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(picture.Width());
    info.image_height = JDIMENSION(picture.Height());
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.optimize_coding = TRUE;
    for (int c = 0; c < 3; ++c) info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(picture.Row(int32_t(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

// PSNR over the three channels of the decoded file against the bitmap.
double Psnr(const Dib& picture, const std::vector<uint8_t>& file) {
    jpeg_decompress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    std::vector<uint8_t> row(size_t(info.output_width) * 3);
    double squares = 0;
    while (info.output_scanline < info.output_height) {
        const int32_t y = int32_t(info.output_scanline);
        JSAMPROW p = row.data();
        jpeg_read_scanlines(&info, &p, 1);
        const uint8_t* original = picture.Row(y);
        for (size_t i = 0; i < row.size(); ++i) {
            const double d = double(row[i]) - original[i];
            squares += d * d;
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    const double samples = double(picture.Width()) * picture.Height() * 3;
    return 10 * std::log10(255.0 * 255.0 * samples / std::max(squares, 1e-9));
}

const Dib& Picture(int which) {
    static const Dib preview = PreviewPicture();
    static const Dib large = LargePicture();
    return which == 0 ? preview : large;
}

void BM_Ours(benchmark::State& state) {
    const Dib& picture = Picture(int(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(EncodeOurs(picture));
    state.SetItemsProcessed(int64_t(state.iterations()) * picture.Width() * picture.Height());
}

void BM_LibjpegTurbo(benchmark::State& state) {
    const Dib& picture = Picture(int(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(EncodeTurbo(picture));
    state.SetItemsProcessed(int64_t(state.iterations()) * picture.Width() * picture.Height());
}

// What the batch tool does per skin: load the skin folder's bitmaps, render the preview and
// encode it.
void BM_RenderAndEncodePreview(benchmark::State& state) {
    const std::filesystem::path base = std::filesystem::path(VELTRANE_SHARED_DIR) / "corpus/skins/base-2.91";
    if (!std::filesystem::is_directory(base)) {
        state.SkipWithError("no skin corpus");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(EncodeDibAsJpeg(RenderSkinPreview(base.string() + "/"), kQuality));
}

BENCHMARK(BM_Ours)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderAndEncodePreview)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibjpegTurbo)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Remembers the time per iteration of every run for the summary.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration) times[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

// libjpeg-turbo's file size at our PSNR: linear between the two qualities that bracket it.
double TurboSizeAtPsnr(const Dib& picture, double psnr) {
    double lastPsnr = 0, lastSize = 0;
    for (int q = 70; q <= 100; ++q) {
        const std::vector<uint8_t> file = EncodeTurbo(picture, q);
        const double p = Psnr(picture, file), size = double(file.size());
        if (p >= psnr) {
            if (q == 70 || p == lastPsnr) return size;
            return lastSize + (size - lastSize) * (psnr - lastPsnr) / (p - lastPsnr);
        }
        lastPsnr = p;
        lastSize = size;
    }
    return lastSize;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const char* names[2] = {"preview 275x350", "2000x2000"};
    std::printf(
        "\nJPEG q%d 4:4:4 optimised: speed = libjpeg-turbo time / our time (goal >= 0.5);\n"
        "size = our size / libjpeg-turbo's size at our PSNR (goal <= 1.03)\n",
        kQuality);
    for (int which = 0; which < 2; ++which) {
        char ourName[32], turboName[32];
        std::snprintf(ourName, sizeof ourName, "BM_Ours/%d", which);
        std::snprintf(turboName, sizeof turboName, "BM_LibjpegTurbo/%d", which);
        const double ours = reporter.times[ourName], turbo = reporter.times[turboName];
        const Dib& picture = Picture(which);
        const std::vector<uint8_t> ourFile = EncodeOurs(picture), turboFile = EncodeTurbo(picture);
        const double ourPsnr = Psnr(picture, ourFile), turboPsnr = Psnr(picture, turboFile);
        const double turboAtOurs = TurboSizeAtPsnr(picture, ourPsnr);
        std::printf(
            "%-16s speed %.2fx (ours %.3f ms, libjpeg-turbo %.3f ms)  size %.3f "
            "(ours %zu B at %.2f dB; libjpeg-turbo %.0f B at that PSNR, %zu B at %.2f dB at q%d)\n",
            names[which], ours > 0 ? turbo / ours : 0.0, ours, turbo, double(ourFile.size()) / turboAtOurs,
            ourFile.size(), ourPsnr, turboAtOurs, turboFile.size(), turboPsnr, kQuality);
    }
    benchmark::Shutdown();
    return 0;
}
