#include "imaging/JpegSave.h"

#include "imaging/cJpeg.h"

#include <exception>

namespace veltrane {

namespace {

// Sets the encoder up as the preview saving does and samples the picture; false when the
// picture cannot be read.
bool Prepare(cJpeg& encoder, const Dib& picture, int32_t quality) {
    encoder.SetQuality(quality);
    return encoder.SampleHDC(&picture, picture.Width(), picture.Height(), 0, 0) == 0;
}

}  // namespace

JpegSaveResult SaveDibAsJpeg(const Dib& picture, int32_t quality, const std::string& path, std::string* error) {
    try {
        cJpeg encoder;
        if (path.empty()) return JpegSaveResult::EmptyName;
        if (!Prepare(encoder, picture, quality)) {
            if (error) *error = "the picture cannot be read";
            return JpegSaveResult::Failed;
        }
        return JpegSaveResult(encoder.SaveFile(path));
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return JpegSaveResult::Failed;
    }
}

std::vector<uint8_t> EncodeDibAsJpeg(const Dib& picture, int32_t quality) {
    try {
        cJpeg encoder;
        if (!Prepare(encoder, picture, quality)) return {};
        return encoder.Encode();
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace veltrane
