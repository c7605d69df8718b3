// Decoder of the deflated method (RFC 1951) and of its 64 KB variant: stored, fixed-code and
// dynamic-code blocks. It decodes either through the output window (any size, output handed on in
// blocks) or straight into a buffer of the member's declared size, with the same results. One Inflater
// keeps its tables between members, so a caller that decodes many members reuses it.
#pragma once

#include "OutputWindow.h"
#include "huffman.h"

#include <span>

namespace tarrow {

// Deflate64 differs from deflate in three codes: length code 285 takes 16 extra bits (lengths 3 to
// 65538), distance codes 30 and 31 reach up to 65536 bytes back.
enum class DeflateFormat { Deflate, Deflate64 };

// The outcome of decoding into a buffer.
struct InflateResult {
    DecodeStatus status = DecodeStatus::Ok;
    size_t produced = 0;  // bytes written to the destination (all of it when the data is too long)
    size_t consumed = 0;  // input bytes used, up to the byte that holds the last bit of the last block
};

class Inflater {
public:
    // Decodes one member from source into window, which the caller has started for the member. When
    // unused is given, it receives the whole input bytes left after the last block.
    DecodeStatus run(ByteSource& source, OutputWindow& window, DeflateFormat format = DeflateFormat::Deflate,
                     uint64_t* unused = nullptr);

    // As run(), for data whose end only the last block tells: `held` receives the bytes taken from
    // source that follow that block, and source is not read further.
    DecodeStatus runToEnd(ByteSource& source, OutputWindow& window, DeflateFormat format, uint64_t& held);

    // Decodes input straight into output, whose size is the member's declared size: status, output
    // and used input as run() gives them with a window started for output.size() bytes.
    InflateResult toBuffer(std::span<const uint8_t> input, std::span<uint8_t> output,
                           DeflateFormat format = DeflateFormat::Deflate);

private:
    struct Format;
    template <class Out>
    DecodeStatus blocks(BitInput& in, Out& out, const Format& format);
    template <class Out>
    DecodeStatus storedBlock(BitInput& in, Out& out);
    DecodeStatus dynamicTables(BitInput& in, const Format& format);
    template <class Out>
    DecodeStatus huffmanBlock(BitInput& in, Out& out, const Format& format, const HuffmanTable& lengths,
                              const HuffmanTable& distances);
    template <bool kWide, class Out>
    DecodeStatus codes(BitInput& in, Out& out, const HuffmanTable& lengths, const HuffmanTable& distances, bool& again);

    HuffmanTable literals_;
    HuffmanTable distances_;
    HuffmanTable codeLengths_;
};

// Convenience for callers with a single member: decodes source into sink, at most limit bytes.
DecodeStatus inflate(ByteSource& source, OutputSink& sink, uint64_t limit,
                     DeflateFormat format = DeflateFormat::Deflate);

// Decodes a member held in memory into a buffer of its declared size, with a decoder kept per thread.
InflateResult inflateToBuffer(std::span<const uint8_t> input, std::span<uint8_t> output,
                              DeflateFormat format = DeflateFormat::Deflate);

}  // namespace tarrow
