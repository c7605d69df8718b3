// PNG writer for thumbnails: 8-bit RGB or RGBA, rows filtered per line, compressed by a small
// deflate encoder (greedy LZ77 over a hash chain, fixed Huffman codes) unless the caller brings
// its own. Enough for pictures of a few hundred pixels; no PNG reader is needed anywhere in the
// viewer.
#pragma once

#include "platform/Dib.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltrane {

// Makes the zlib stream (RFC 1950) of the filtered rows; empty on failure.
using PngCompressor = std::vector<uint8_t> (*)(const std::vector<uint8_t>& rows);

// The picture as PNG; with alpha (width x height bytes, top row first, 0 transparent) as RGBA.
// compress defaults to ZlibFixed. Empty when the picture is empty, alpha has the wrong size or
// the compressor fails.
std::vector<uint8_t> EncodePng(const Dib& picture, const std::vector<uint8_t>& alpha = {},
                               PngCompressor compress = nullptr);
// Writes the picture as a PNG file; false when it cannot be written (the file is then removed).
bool SavePng(const Dib& picture, const std::string& path);

// Raw deflate (RFC 1951) of data, in fixed-Huffman blocks. Exposed for its tests.
std::vector<uint8_t> DeflateFixed(const std::vector<uint8_t>& data);
// DeflateFixed wrapped as a zlib stream.
std::vector<uint8_t> ZlibFixed(const std::vector<uint8_t>& data);

}  // namespace veltrane
