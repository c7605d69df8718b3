// Plumbing shared by the member decoders: where a member's bytes come from (a ByteSource, which the
// reading layer implements and which hands over data already decrypted), where decoded bytes go (an
// OutputSink), the bit reader, and the outcome a decoder reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace tarrow {

// What a decoder reports. The numbers of the first five follow the table builder's results so that a
// caller can map them onto the library's warnings.
enum class DecodeStatus {
    Ok = 0,
    DataError = 1,  // incomplete code set, invalid code, bad stored length, data ran out
    BadInput = 2,   // over-subscribed code set, reserved block type
    NoMemory = 4,
    BadTree = 6,       // a compressed Shannon-Fano tree whose counts do not add up
    InputUnused = 5,   // the decoder finished before it used all of the member's data
    InputOverrun = 7,  // the decoder needed more data than the member holds
    TooLong = 8,       // the data decodes to more than the member's declared size; output stops there
    Stopped = 9,       // the sink refused a block (write error or abort); nothing more is written
};

// A member's data, chunk by chunk.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The next run of data; an empty span once the member's data is used up.
    virtual std::span<const uint8_t> next() = 0;
};

// A source over bytes in memory, optionally cut into chunks of a given size.
class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> data, size_t chunk = SIZE_MAX)
        : data_(data), chunk_(chunk ? chunk : 1) {}
    std::span<const uint8_t> next() override {
        size_t n = data_.size() < chunk_ ? data_.size() : chunk_;
        auto run = data_.first(n);
        data_ = data_.subspan(n);
        return run;
    }

private:
    std::span<const uint8_t> data_;
    size_t chunk_;
};

// Receives decoded bytes block by block.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    // Returns false to stop the decoder at once.
    virtual bool write(std::span<const uint8_t> block) = 0;
};

inline uint64_t loadLittle64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;  // the library targets little-endian machines only
}

// Little-endian bit reader over a ByteSource: the codes of every method are packed starting at the least
// significant bit of each byte. The buffer is refilled by whole bytes. Past the end of the data, zero
// bytes stand in so that look-ahead never fails; `overrun` counts them, and a decoder has run out of data
// only when it consumed some of them.
struct BitInput {
    static constexpr unsigned kMaxOverrun = 8;  // more padding than the buffer holds: bits were consumed

    explicit BitInput(ByteSource& source) : source(source) {}

    // Makes at least n bits (n <= 56) available; false once the decoder has certainly run out of data.
    bool need(unsigned n) {
        while (count < n) {
            if (in == end && !pull()) {
                if (++overrun > kMaxOverrun) return false;
            } else {
                bits |= uint64_t(*in++) << count;
            }
            count += 8;
        }
        return true;
    }
    // As need(56), with one unaligned load while 8 bytes of the chunk are at hand. The buffer then holds
    // whole bytes beyond the count, which are the input bytes that follow.
    bool refill() {
        if (end - in >= 8) {
            bits |= loadLittle64(in) << count;
            in += (63 - count) >> 3;
            count |= 56;
            return true;
        }
        return need(56);
    }
    uint32_t peek(unsigned n) const { return uint32_t(bits & ((uint64_t(1) << n) - 1)); }
    void drop(unsigned n) {
        bits >>= n;
        count -= n;
    }
    // Reads n bits (n <= 32); false when the data has run out.
    bool take(unsigned n, uint32_t& value) {
        if (!need(n)) return false;
        value = peek(n);
        drop(n);
        return true;
    }
    // True when some of the padding bytes were consumed: the stream needed more than it holds.
    bool overran() const { return overrun * 8 > count; }
    // Fetches the next chunk; false at the end of the data.
    bool pull() {
        auto run = source.next();
        in = run.data();
        end = in + run.size();
        return !run.empty();
    }
    // Whole bytes of real data taken from the source that the decoder has not used; the source is not
    // read further.
    uint64_t heldBytes() const { return (count / 8 > overrun ? count / 8 - overrun : 0) + uint64_t(end - in); }
    // Whole bytes of real data that the decoder has not used, counting those still in the source.
    uint64_t unusedBytes() {
        uint64_t n = heldBytes();
        while (pull()) n += uint64_t(end - in);
        in = end;
        return n;
    }

    ByteSource& source;
    const uint8_t* in = nullptr;
    const uint8_t* end = nullptr;
    uint64_t bits = 0;   // bits above `count` may hold the next input bytes already; they are never used
    unsigned count = 0;  // valid bits in `bits`
    unsigned overrun = 0;
};

}  // namespace tarrow
