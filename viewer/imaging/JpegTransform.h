// The forward DCT of the encoder (the scaled transform of Arai, Agui and Nakajima in single
// precision with double-precision constants) and the quantization of its output.
#pragma once

#include <array>
#include <cstdint>

namespace veltrane::jpeg {

// One 8 x 8 block of samples, row r and pixel k at [r * 8 + k].
using Block = std::array<float, 64>;

// Transforms the block in place: output (v, u) at [v * 8 + u] is the DCT coefficient of vertical
// frequency v and horizontal frequency u, multiplied by 8 * a_v * a_u.
void ForwardDCT(Block& block);
// The same with the output left transposed: coefficient (v, u) at [u * 8 + v]. Saves a transpose
// when the quantizer reads the block through its own index table.
void ForwardDCTTransposed(Block& block);

// A quantizer in the order of a transformed block: for each of its 64 places the multiplier and
// the zig-zag position the rounded result goes to.
struct BlockQuantizer {
    alignas(16) std::array<float, 64> multiplier{};
    std::array<uint8_t, 64> zigzag{};
};

// out[zigzag[i]] = block[i] * multiplier[i], rounded to nearest with ties to even. Throws
// std::overflow_error when a result does not fit 16 bits.
void QuantizeBlock(const Block& block, const BlockQuantizer& quantizer, int16_t* out);

// A component's weights on (R, G, B) and the offset added to their sum, in single precision:
// sample = R * r + G * g + B * b + offset, evaluated left to right.
struct ColourWeights {
    float r, g, b, offset;
};

// One component of a pixel block: its weights, its quantizer and where its 64 coefficients go.
struct BlockTarget {
    const ColourWeights* weights;
    const BlockQuantizer* quantizer;
    int16_t* out;
};

// Eight lines of eight pixels, 3 or 4 bytes each (blue, green, red first). For every target:
// converts the pixels to its samples, transforms them (as ForwardDCTTransposed) and quantizes
// them (as QuantizeBlock with the T.81 zig-zag order, which the quantizer's own order is not
// consulted for). One pass over the pixels serves all the targets, and the block stays
// in registers from the pixels to the rounded coefficients.
void TransformPixelBlock(const uint8_t* const lines[8], int bytesPerPixel, const BlockTarget* targets, int count);

}  // namespace veltrane::jpeg
