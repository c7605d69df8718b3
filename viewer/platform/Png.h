// PNG writer for thumbnails: 8-bit RGB, rows filtered per line, compressed by a small deflate
// encoder (greedy LZ77 over a hash chain, fixed Huffman codes). Enough for pictures of a few
// hundred pixels; no PNG reader is needed anywhere in the viewer.
#pragma once

#include "platform/Dib.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltrane {

std::vector<uint8_t> EncodePng(const Dib& picture);
// Writes the picture as a PNG file; false when it cannot be written (the file is then removed).
bool SavePng(const Dib& picture, const std::string& path);

// Raw deflate (RFC 1951) of data, in fixed-Huffman blocks. Exposed for its tests.
std::vector<uint8_t> DeflateFixed(const std::vector<uint8_t>& data);

}  // namespace veltrane
