// Encoding a preview and putting its file in place without ever damaging what is there: an
// existing file is only replaced on request, and then atomically.
#pragma once

#include "PreviewOptions.h"

#include "platform/Dib.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltrane::preview {

// The preview's file contents: a 24-bit BMP, a JPEG as the viewer saves it, or a PNG (lossless;
// with alpha, width x height bytes from the top row, as RGBA). Empty on failure. BMP and JPEG
// ignore alpha.
std::vector<uint8_t> EncodePreview(const Dib& canvas, ImageFormat format, int quality,
                                   const std::vector<uint8_t>& alpha = {});
// A PNG of the picture, compressed by libdeflate.
std::vector<uint8_t> EncodePreviewPng(const Dib& picture, const std::vector<uint8_t>& alpha = {});
// The file extension of the format, with its dot.
const char* PreviewExtension(ImageFormat format);

enum class WriteResult { Written, Exists, Failed };

// Writes bytes as the file path. Without replace, anything already at path (a file, a folder, a
// dangling link) is left alone and Exists returned; the file is created exclusively, so a file
// that appears meanwhile is not overwritten either. With replace, the bytes go into a temporary
// file beside path that is then renamed over it, so path never holds half a picture. On Failed,
// error says why and no partial file is left.
WriteResult WritePreviewFile(const std::string& path, const std::vector<uint8_t>& bytes, bool replace,
                             std::string& error);

// Writes bytes into the file path itself, created or truncated, never replaced by another file:
// a thumbnail host makes the output file and reads back what it holds through its own open
// descriptor, which a renamed file would leave empty. On Failed the file is removed.
WriteResult WriteIntoFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

}  // namespace veltrane::preview
