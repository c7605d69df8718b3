// Huffman tables of the encoder: building a length-limited optimal table from symbol counts
// (T.81 Annex K.2) and assigning the canonical codes of a table (T.81 Annex C).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace veltrane {

struct HuffmanTable {
    std::array<uint8_t, 16> Bits{};      // number of codes of each length 1 to 16
    std::array<uint8_t, 256> HuffVal{};  // symbols in order of increasing code length
    // Per symbol: mask of the code's first bit, 2^(length - 1), or 0 without a code; and the code.
    std::array<uint32_t, 256> CodeSize{};
    std::array<uint32_t, 256> Code{};
};

// How often each symbol 0 to 255 occurs; entry 256 is the reserved symbol the generator adds.
using SymbolCounts = std::array<int32_t, 257>;

namespace jpeg {

// Fills Bits and HuffVal with an optimal code for the counts, no code longer than 16 bits and none
// made of 1-bits only. The counts are consumed: all zero afterwards.
void GenerateHuffmanTable(HuffmanTable& table, SymbolCounts& counts);

// Assigns CodeSize and Code from Bits and HuffVal. Throws JpegError("Bad Huffman Table") for a
// table that holds no symbol, a symbol above maxSymbol or twice, or lengths that over-fill the
// code space.
void BuildHuffmanCodes(HuffmanTable& table, int maxSymbol);

// Length in bits of a symbol's code (0 without a code).
inline int CodeLength(const HuffmanTable& table, int symbol) {
    return int(std::bit_width(table.CodeSize[std::size_t(symbol)]));
}

}  // namespace jpeg
}  // namespace veltrane
