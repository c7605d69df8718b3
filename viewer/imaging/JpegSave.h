// Saving a picture as JPEG the way the viewer saves its previews: the chosen quality, all three
// components sampled 1 x 1, no comment, the whole picture from its top left corner. The picture
// is handed to the encoder directly; copying it into a cImage first gives the same file.
#pragma once

#include "platform/Dib.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltrane {

enum class JpegSaveResult {
    Written = 0,    // the file was created
    EmptyName = 1,  // nothing done
    Exists = 2,     // a file of that name exists and was left alone
    Failed = 3,     // the picture could not be encoded or the file not written; no file is left
};

// Never throws; on Failed, error (when given) says why.
JpegSaveResult SaveDibAsJpeg(const Dib& picture, int32_t quality, const std::string& path,
                             std::string* error = nullptr);

// The same file in memory; empty when the picture cannot be encoded.
std::vector<uint8_t> EncodeDibAsJpeg(const Dib& picture, int32_t quality);

}  // namespace veltrane
