// The sliding window of the stored, imploded and deflated methods. Decoders write straight into a linear
// buffer behind which the last 65536 bytes of output always lie (the farthest reach of any method), so
// back-references never wrap and copies may move eight bytes at a time. Output leaves in blocks of 32768
// bytes, and never beyond the member's declared size.
//
// Decoders that keep their own history (the compression libraries) use the window without one: they
// write long runs across the whole buffer, which then leaves block by block, and nothing is moved.
#pragma once

#include "decode_io.h"

#include <memory>

namespace tarrow {

// Copies n bytes from `from` to `out`, Step bytes at a time; `from` lies at least Step bytes before `out`,
// so every chunk read is already written. May write up to Step - 1 bytes past the end (the window keeps
// slack for it).
template <size_t Step>
inline uint8_t* copyInSteps(uint8_t* out, const uint8_t* from, size_t n) {
    uint8_t* stop = out + n;
    do {
        std::memcpy(out, from, Step);
        out += Step;
        from += Step;
    } while (out < stop);
    return stop;
}

// Copies n bytes from dist (1 to 7) bytes back, a pattern of dist bytes repeated. The pattern is widened
// to sixteen bytes in registers and stored at steps of the largest multiple of dist up to sixteen, so no
// store waits on the one before. Reads up to 7 bytes past `out` and may write up to 15 bytes past the
// end (the window keeps slack for both).
inline uint8_t* copyPattern(uint8_t* out, size_t dist, size_t n) {
    const unsigned shift = unsigned(dist) * 8;
    uint64_t v = loadLittle64(out - dist) & ((uint64_t(1) << shift) - 1);
    for (unsigned s = shift; s < 64; s *= 2) v |= v << s;
    // v holds the pattern from its first byte up to the largest multiple of dist within eight bytes
    // (step8), and on. The next eight bytes continue it from its byte r = 8 - step8: v shifted down by
    // r bytes, with the bytes from step8 - r on taken again from v's start.
    static constexpr uint8_t kStep8[8] = {8, 8, 8, 6, 8, 5, 6, 7};
    static constexpr uint8_t kStep16[8] = {16, 16, 16, 15, 16, 15, 12, 14};
    const unsigned r = 8 - kStep8[dist];
    const uint64_t next = r ? (v >> (8 * r)) | (v << (8 * (kStep8[dist] - r))) : v;
    const uint64_t both[2] = {v, next};
    const size_t step = kStep16[dist];
    uint8_t* stop = out + n;
    do {
        std::memcpy(out, both, 16);
        out += step;
    } while (out < stop);
    return stop;
}

// A match of n bytes from dist (at least 1) bytes back, every byte of it written already: a word at a
// time, or a repeated pattern. May write up to 15 bytes past the end.
inline uint8_t* copyMatchFast(uint8_t* out, size_t dist, size_t n) {
    if (dist >= 16) return copyInSteps<16>(out, out - dist, n);
    if (dist >= 8) return copyInSteps<8>(out, out - dist, n);
    return copyPattern(out, dist, n);
}

// A match of n bytes from dist (at least 1) bytes back with every read and write inside [floor, end):
// positions before floor read as zero and bytes that would land at or past end are not written.
void copyMatchClipped(uint8_t* out, const uint8_t* floor, const uint8_t* end, size_t dist, size_t n);

class OutputWindow {
public:
    static constexpr size_t kBlock = 32768;         // unit in which output is handed on
    static constexpr size_t kHistory = 65536;       // farthest back-reference of any method
    static constexpr size_t kBlocks = 4;            // blocks written before the history is moved down
    static constexpr size_t kSlack = 65536 + 1024;  // room for a copy that starts just before a flush point
    static constexpr size_t kBufferSize = kHistory + kBlocks * kBlock + kSlack;
    // The part of the buffer a decoder without history fills before it is handed on: whole blocks, and
    // small enough to stay in the cache while the sink reads it.
    static constexpr size_t kDirectArea = kBufferSize / kBlock * kBlock;

    OutputWindow();
    bool valid() const { return buffer_ != nullptr; }

    // Begins a member whose output goes to sink and may not exceed limit bytes.
    void start(OutputSink& sink, uint64_t limit);
    // Keeps no history for the member begun, before any of its output is written: pos may then run up
    // to flushAt over the whole buffer (kDirectArea bytes), and floor is of no use (copyMatch neither).
    void dropHistory();

    // Hands complete blocks on once pos has reached flushAt. Past the declared size it hands on what
    // fits and reports TooLong.
    DecodeStatus flush();
    // Hands the rest of the member's output on.
    DecodeStatus finish();

    // Copies n bytes from dist bytes back; bytes before the member's first output read as zero.
    void copyMatch(size_t dist, size_t n);

    uint8_t* pos = nullptr;          // next byte of output
    uint8_t* flushAt = nullptr;      // end of the block being filled, or just past the declared size
    const uint8_t* floor = nullptr;  // first byte of this member's output still in the buffer

private:
    DecodeStatus emit(const uint8_t* data, size_t size);
    DecodeStatus emitRun(const uint8_t* from, const uint8_t* to);
    void setFlushPoint();

    std::unique_ptr<uint8_t[]> buffer_;
    uint8_t* mark_ = nullptr;      // first byte of output not yet handed on
    uint8_t* blockEnd_ = nullptr;  // end of the block being filled; with no history, of the area
    bool history_ = true;
    OutputSink* sink_ = nullptr;
    uint64_t limit_ = 0;
    uint64_t emitted_ = 0;
    bool stopped_ = false;
};

}  // namespace tarrow
