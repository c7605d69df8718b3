// LoadPicture and SavePicture: Windows BMP files to and from Dibs.
#pragma once

#include "platform/Dib.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace veltrane {

// The largest BMP file worth reading: a 32-bit bitmap at Dib's pixel bound plus generous headers.
inline constexpr uint64_t kMaxPictureFileSize = uint64_t(Dib::kMaxPixels) * 4 + (1u << 20);

// Reads a BMP file into out at its own size and depth (16-bit files become 24-bit, top-down rows
// are stored bottom-up). On any failure returns false and leaves out unchanged.
bool LoadPicture(const std::string& path, Dib& out);
bool LoadPictureFromMemory(std::span<const uint8_t> bytes, Dib& out);
// LoadPictureFromMemory for the whole contents of a file, with the bounds LoadPicture applies to a
// file: an empty file or one above kMaxPictureFileSize is not read.
bool LoadPictureFile(std::span<const uint8_t> contents, Dib& out);

// The bitmap as the bytes of an uncompressed 24-bit BMP file; empty for an empty bitmap.
std::vector<uint8_t> EncodePicture(const Dib& picture);
// Writes the bitmap as an uncompressed 24-bit BMP. Returns false when the file cannot be written.
bool SavePicture(const Dib& picture, const std::string& path);

}  // namespace veltrane
