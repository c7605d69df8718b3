// LoadPicture and SavePicture: Windows BMP files to and from Dibs.
#pragma once

#include "platform/Dib.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace veltrane {

// The largest BMP file worth reading for a bitmap of maxPixels: 32 bits a pixel plus generous headers.
constexpr uint64_t MaxPictureFileSize(int64_t maxPixels) { return uint64_t(maxPixels) * 4 + (1u << 20); }
inline constexpr uint64_t kMaxPictureFileSize = MaxPictureFileSize(Dib::kMaxPixels);

// Reads a BMP file into out at its own size and depth (16-bit files become 24-bit, top-down rows
// are stored bottom-up). On any failure returns false and leaves out unchanged. A bitmap whose
// header declares more than maxPixels pixels fails before anything is decoded, and a file too large
// for such a bitmap (MaxPictureFileSize) before it is read.
bool LoadPicture(const std::string& path, Dib& out, int64_t maxPixels = Dib::kMaxPixels);
bool LoadPictureFromMemory(std::span<const uint8_t> bytes, Dib& out, int64_t maxPixels = Dib::kMaxPixels);
// LoadPictureFromMemory for the whole contents of a file, with the bounds LoadPicture applies to a
// file: an empty file or one above MaxPictureFileSize(maxPixels) is not read.
bool LoadPictureFile(std::span<const uint8_t> contents, Dib& out, int64_t maxPixels = Dib::kMaxPixels);

// The bitmap as the bytes of an uncompressed 24-bit BMP file; empty for an empty bitmap.
std::vector<uint8_t> EncodePicture(const Dib& picture);
// Writes the bitmap as an uncompressed 24-bit BMP. Returns false when the file cannot be written.
bool SavePicture(const Dib& picture, const std::string& path);

}  // namespace veltrane
