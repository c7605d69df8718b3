#include "JpegOracle.h"
#include "imaging/cJpeg.h"
#include <chrono>
#include <gtest/gtest.h>
using namespace veltrane;
using namespace veltrane::testing;
TEST(Scratch, Compare) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        Dib d = MakePreviewLike(275, 350, seed);
        cJpeg j; j.SetQuality(90);
        double best = 1e9; std::vector<uint8_t> f;
        for (int i = 0; i < 20; ++i) {
            auto t0 = std::chrono::steady_clock::now();
            j.SampleHDC(&d, 275, 350, 0, 0); f = j.Encode();
            best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        }
        double bestRef = 1e9; std::vector<uint8_t> r;
        for (int i = 0; i < 20; ++i) {
            auto t0 = std::chrono::steady_clock::now();
            r = ReferenceEncode(d, 90);
            bestRef = std::min(bestRef, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        }
        uint16_t tables[128];
        for (int k = 0; k < 64; ++k) { tables[k] = j.QuantTables()[0].Qk[k]; tables[64 + k] = j.QuantTables()[1].Qk[k]; }
        auto same = ReferenceEncode(d, 90, tables);
        auto dec = DecodeJpeg(f); auto decR = DecodeJpeg(r); auto decS = DecodeJpeg(same);
        printf("ours %zu B %.2f dB %.3f ms | ref q90 %zu B %.2f dB %.3f ms | ref our tables %zu B %.2f dB  [%s]\n", f.size(), Psnr(d, dec), best,
               r.size(), Psnr(d, decR), bestRef, same.size(), Psnr(d, decS), dec.error.c_str());
    }
}
