#include "JpegOracle.h"
#include "imaging/JpegSave.h"
#include "imaging/cImage.h"
#include "imaging/cJpeg.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace veltrane;
using namespace veltrane::testing;
namespace fs = std::filesystem;

TEST(JpegSave, SameFileAsThePreviewSavingSequence) {
    const Dib preview = MakePreviewLike(275, 350, 11);
    // The viewer's sequence: a cImage copy of the picture, then the encoder on its bitmap.
    cImage image;
    ASSERT_TRUE(image.CopyStdPicture(preview, 0));
    cJpeg encoder;
    encoder.SetQuality(90);
    ASSERT_EQ(encoder.SampleHDC(image.hDC(), image.Width(), image.Height(), 0, 0), 0);
    const std::vector<uint8_t> expected = encoder.Encode();

    const std::vector<uint8_t> inMemory = EncodeDibAsJpeg(preview, 90);
    EXPECT_EQ(inMemory, expected);
    const DecodedJpeg decoded = DecodeJpeg(inMemory);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.width, 275);
    EXPECT_EQ(decoded.height, 350);
    EXPECT_EQ(decoded.components, 3);
}

TEST(JpegSave, WritesOnceAndNeverReplaces) {
    char pattern[] = "/tmp/veltrane-save-XXXXXX";
    const fs::path dir = mkdtemp(pattern);
    const Dib preview = MakePreviewLike(40, 30, 12);
    const std::string path = (dir / "Blue.jpg").string();
    EXPECT_EQ(SaveDibAsJpeg(preview, 90, path), JpegSaveResult::Written);
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> written{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(written, EncodeDibAsJpeg(preview, 90));
    EXPECT_EQ(SaveDibAsJpeg(MakePreviewLike(40, 30, 13), 90, path), JpegSaveResult::Exists);
    EXPECT_EQ(SaveDibAsJpeg(preview, 90, ""), JpegSaveResult::EmptyName);
    std::string error;
    EXPECT_EQ(SaveDibAsJpeg(preview, 90, (dir / "no" / "x.jpg").string(), &error), JpegSaveResult::Failed);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(SaveDibAsJpeg(Dib(), 90, (dir / "empty.jpg").string()), JpegSaveResult::Failed);
    EXPECT_FALSE(fs::exists(dir / "empty.jpg"));
    EXPECT_TRUE(EncodeDibAsJpeg(Dib(), 90).empty());
    fs::remove_all(dir);
}
