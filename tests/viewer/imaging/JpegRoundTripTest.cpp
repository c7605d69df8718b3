// Every file the encoder writes must decode with an independent decoder to the picture it came
// from, at every sampling set-up and at awkward sizes.
#include "JpegOracle.h"
#include "imaging/cJpeg.h"
#include "rendering/WinAMPGraphics.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace veltrane;
using namespace veltrane::testing;
namespace fs = std::filesystem;

namespace {

struct SamplingCase {
    const char* name;
    int32_t factors[6];
    int32_t width, height;
    double floor;   // PSNR in dB that any sound encoding of the picture clears
    double margin;  // how far below the reference encoder it may fall
};

class JpegRoundTrip : public ::testing::TestWithParam<SamplingCase> {};

}  // namespace

TEST_P(JpegRoundTrip, DecodesToThePicture) {
    const SamplingCase& s = GetParam();
    cJpeg j;
    j.SetQuality(90);
    j.SetSamplingFrequencies(s.factors[0], s.factors[1], s.factors[2], s.factors[3], s.factors[4], s.factors[5]);
    const Dib picture = MakePreviewLike(s.width, s.height, uint32_t(s.width * 7 + s.height));
    ASSERT_EQ(j.SampleHDC(&picture, s.width, s.height, 0, 0), 0);
    const DecodedJpeg decoded = DecodeJpeg(j.Encode());
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.width, s.width);
    EXPECT_EQ(decoded.height, s.height);
    const bool grey = s.factors[2] == 0;
    EXPECT_EQ(decoded.components, grey ? 1 : 3);
    const auto psnr = [&](const DecodedJpeg& d) { return grey ? PsnrGrey(picture, d) : Psnr(picture, d); };
    const double ours = psnr(decoded);
    EXPECT_GT(ours, s.floor);
    // The reference encoder at the same quality and factors. Its tables round a little finer, and
    // it subsamples whole pixel pairs where we scale the picture to the component's size (which
    // for odd sizes shifts chroma samples slightly against a decoder's upsampling).
    const int32_t* f = s.factors;
    if (!grey && f[0] * f[1] + f[2] * f[3] + f[4] * f[5] > 10) return;  // one scan in libjpeg-turbo: refused
    const double reference = psnr(DecodeJpeg(ReferenceEncode(picture, 90, nullptr, s.factors)));
    EXPECT_GT(ours, reference - s.margin);
}

INSTANTIATE_TEST_SUITE_P(Setups, JpegRoundTrip,
                         ::testing::Values(SamplingCase{"OnePixel", {1, 1, 1, 1, 1, 1}, 1, 1, 40.0, 1.0},
                                           SamplingCase{"SeventeenByNine", {1, 1, 1, 1, 1, 1}, 17, 9, 30.0, 1.0},
                                           SamplingCase{"Preview", {1, 1, 1, 1, 1, 1}, 275, 350, 32.0, 1.0},
                                           SamplingCase{"ThinStrip", {1, 1, 1, 1, 1, 1}, 1000, 3, 30.0, 1.0},
                                           SamplingCase{"TwoByTwo", {2, 2, 1, 1, 1, 1}, 275, 350, 18.0, 1.0},
                                           SamplingCase{"TwoByTwoOdd", {2, 2, 1, 1, 1, 1}, 17, 9, 18.0, 2.0},
                                           SamplingCase{"TwoByOne", {2, 1, 1, 1, 1, 1}, 275, 350, 18.0, 1.0},
                                           SamplingCase{"FourByFourAlone", {4, 4, 1, 1, 1, 1}, 61, 37, 14.0, 2.0},
                                           SamplingCase{"AllTwoByTwo", {2, 2, 2, 2, 2, 2}, 61, 37, 30.0, 1.0},
                                           SamplingCase{"ChromaWider", {1, 1, 2, 1, 1, 2}, 33, 19, 14.0, 2.0},
                                           SamplingCase{"Greyscale", {1, 1, 0, 0, 0, 0}, 275, 350, 35.0, 1.0},
                                           SamplingCase{"GreyscaleOdd", {3, 2, 0, 0, 0, 0}, 1000, 3, 35.0, 1.0}),
                         [](const ::testing::TestParamInfo<SamplingCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(JpegQuality, CloseToTheReferenceEncoderOnPreviewLikePictures) {
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        const Dib picture = MakePreviewLike(275, 350, seed);
        cJpeg j;
        j.SetQuality(90);
        ASSERT_EQ(j.SampleHDC(&picture, 275, 350, 0, 0), 0);
        const std::vector<uint8_t> ours = j.Encode();
        const double psnr = Psnr(picture, DecodeJpeg(ours));
        const double reference = Psnr(picture, DecodeJpeg(ReferenceEncode(picture, 90)));
        EXPECT_GE(psnr, reference - 0.3) << "seed " << seed;
        // With the same quantizers, the same quality and a size within 3 %.
        uint16_t tables[128];
        for (size_t k = 0; k < 64; ++k) {
            tables[k] = j.QuantTables()[0].Qk[k];
            tables[64 + k] = j.QuantTables()[1].Qk[k];
        }
        const std::vector<uint8_t> same = ReferenceEncode(picture, 90, tables);
        EXPECT_GE(psnr, Psnr(picture, DecodeJpeg(same)) - 0.05) << "seed " << seed;
        EXPECT_LE(double(ours.size()), double(same.size()) * 1.03) << "seed " << seed;
    }
}

namespace {

// The folder inside root that holds a main.bmp, in any letter case.
fs::path SkinFolderIn(const fs::path& root) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::string name = it->path().filename().string();
        for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
        if (name == "main.bmp") return it->path().parent_path();
    }
    return {};
}

}  // namespace

TEST(JpegQuality, RealSkinPreviewsMatchTheReferenceEncoder) {
    const fs::path corpus = fs::path(VELTRANE_SHARED_DIR) / "corpus" / "skins";
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no skin corpus";
    const bool have7z = std::system("7z i > /dev/null 2>&1") == 0;
    char pattern[] = "/tmp/veltrane-skins-XXXXXX";
    const fs::path work = mkdtemp(pattern);
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        fs::path folder;
        if (entry.is_directory()) {
            folder = entry.path();
        } else if (entry.path().extension() == ".wsz" && have7z) {
            const fs::path target = work / entry.path().stem();
            const std::string command =
                "7z x -y -o'" + target.string() + "' '" + entry.path().string() + "' > /dev/null 2>&1";
            if (std::system(command.c_str()) != 0) continue;
            folder = SkinFolderIn(target);
        }
        if (folder.empty()) continue;
        SkinWindows windows;
        windows.LoadDefault();
        windows.LoadSkin(folder.string() + "/");
        Dib preview(kPreviewWidth, kPreviewHeight, 24);
        ComposePreview(windows, preview);

        cJpeg j;
        j.SetQuality(90);
        ASSERT_EQ(j.SampleHDC(&preview, kPreviewWidth, kPreviewHeight, 0, 0), 0);
        const DecodedJpeg ours = DecodeJpeg(j.Encode());
        ASSERT_TRUE(ours.ok) << entry.path() << ": " << ours.error;
        const double psnr = Psnr(preview, ours);
        const double reference = Psnr(preview, DecodeJpeg(ReferenceEncode(preview, 90)));
        EXPECT_GE(psnr, reference - 0.3) << entry.path();
        ++compared;
    }
    fs::remove_all(work);
    EXPECT_GT(compared, 0);
}

TEST(JpegQuality, NoiseAtQuality100KeepsTheLargestCoefficients) {
    // Random pixels with unit quantizers give the longest codes and the most 0xFF bytes to stuff.
    const Dib noise = MakeNoise(64, 48, 9);
    cJpeg j;
    j.SetQuality(100);
    ASSERT_EQ(j.SampleHDC(&noise, 64, 48, 0, 0), 0);
    const DecodedJpeg decoded = DecodeJpeg(j.Encode());
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_GT(Psnr(noise, decoded), 45.0);
}
