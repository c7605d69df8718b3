// Decoder of the deflated method (RFC 1951): stored, fixed-code and dynamic-code blocks over a 32 KB
// window. One Inflater keeps its tables between members, so a caller that decodes many members reuses it.
#pragma once

#include "OutputWindow.h"
#include "huffman.h"

namespace tarrow {

class Inflater {
public:
    // Decodes one member from source into window, which the caller has started for the member.
    DecodeStatus run(ByteSource &source, OutputWindow &window);

private:
    DecodeStatus storedBlock(BitInput &in, OutputWindow &window);
    DecodeStatus dynamicTables(BitInput &in);
    DecodeStatus codes(BitInput &in, OutputWindow &window, const HuffmanTable &lengths,
                       const HuffmanTable &distances);

    HuffmanTable literals_;
    HuffmanTable distances_;
    HuffmanTable codeLengths_;
};

// Convenience for callers with a single member: decodes source into sink, at most limit bytes.
DecodeStatus inflate(ByteSource &source, OutputSink &sink, uint64_t limit);

} // namespace tarrow
