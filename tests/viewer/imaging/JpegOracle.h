// Test helpers around libjpeg-turbo, the independent decoder and reference encoder the JPEG
// tests compare against, and the pictures they encode.
#pragma once

#include "platform/Dib.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltrane::testing {

struct DecodedJpeg {
    bool ok = false;
    std::string error;
    int width = 0, height = 0, components = 0;
    std::vector<uint8_t> pixels;  // rows top-down; RGB, or grey for one component
};

// Decodes with libjpeg-turbo (accurate integer IDCT, fancy upsampling), converting to RGB.
DecodedJpeg DecodeJpeg(const std::vector<uint8_t>& file);

// Encodes the bitmap with libjpeg-turbo with optimised Huffman codes: the given quality (or, with
// tables, these 64 luminance and 64 chrominance quantizers in zig-zag order), the sampling
// factors H1, V1, H2, V2, H3, V3 (1 x 1 each without them; H2 = 0 for greyscale).
std::vector<uint8_t> ReferenceEncode(const Dib& picture, int quality, const uint16_t* tables = nullptr,
                                     const int32_t* factors = nullptr);

// One marker segment of a JPEG file: its marker code and the bytes after the marker up to the
// next marker (for SOS: its header and the coded data that follows).
struct Segment {
    uint8_t marker = 0;
    std::vector<uint8_t> bytes;
    int Length() const { return bytes.size() >= 2 ? bytes[0] * 256 + bytes[1] : -1; }
};
// Splits a file at its markers (0xFF followed by neither 0x00 nor 0xFF); SOI and EOI have no bytes.
std::vector<Segment> SplitSegments(const std::vector<uint8_t>& file);

// PSNR in dB of the decoded RGB picture against the bitmap (RGB channels alike).
double Psnr(const Dib& original, const DecodedJpeg& decoded);
// PSNR against the bitmap's luminance, for greyscale files, or of the luminance of a colour file.
double PsnrGrey(const Dib& original, const DecodedJpeg& decoded);

// A 24-bit picture shaped like a skin preview: bevelled panels, flat fills, gradients, thin
// lines and pixel text, with some dithered noise. Deterministic for a seed.
Dib MakePreviewLike(int32_t width, int32_t height, uint32_t seed);
// Uniformly random pixels.
Dib MakeNoise(int32_t width, int32_t height, uint32_t seed);

}  // namespace veltrane::testing
