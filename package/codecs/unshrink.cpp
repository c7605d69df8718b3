#include "unshrink.h"

#include <memory>
#include <new>

namespace tarrow {

namespace {

constexpr unsigned kTableSize = 8192;  // codes 0..8191, the most 13 bits can name
constexpr unsigned kMaxCodeBits = 13;
constexpr uint16_t kEscape = 256;  // followed by 1 (one more code bit) or 2 (partial clear)
constexpr uint16_t kFirstFree = 257;
constexpr uint16_t kFree = 0xFFFF;  // prefix of an unused code

struct Tables {
    uint16_t prefix[kTableSize];
    uint8_t suffix[kTableSize];
    uint8_t stack[kTableSize];
    bool hasChild[kTableSize];
    uint8_t out[kUnshrinkBlock];
};

class Unshrinker {
public:
    Unshrinker(Tables& t, OutputSink& sink, uint64_t limit) : t_(t), sink_(sink), limit_(limit) {
        for (unsigned c = 0; c < 256; ++c) t_.prefix[c] = 0, t_.suffix[c] = uint8_t(c);
        for (unsigned c = 256; c < kTableSize; ++c) t_.prefix[c] = kFree;
    }

    DecodeStatus run(ByteSource& source) {
        BitInput in(source);
        unsigned codeBits = 9;
        uint32_t code;
        if (!read(in, codeBits, code)) return flushOut();
        uint16_t previous = uint16_t(code);
        uint8_t first = uint8_t(code);
        if (DecodeStatus s = put(&first, 1); s != DecodeStatus::Ok) return s;

        while (read(in, codeBits, code)) {
            if (code == kEscape) {
                uint32_t sub;
                if (!read(in, codeBits, sub)) break;
                if (sub == 1 && ++codeBits > kMaxCodeBits) return stop();
                if (sub == 2) partialClear();
                continue;
            }
            // Unwind the string of `code` onto the stack, last character first. A code not yet defined
            // is the one about to be defined: the previous string plus its own first character.
            uint8_t* top = t_.stack + kTableSize;
            uint16_t c = uint16_t(code);
            if (c >= kFirstFree && t_.prefix[c] == kFree) {
                *--top = first;
                c = previous;
            }
            while (c >= kFirstFree) {
                if (t_.prefix[c] == kFree || top == t_.stack + 1) return stop();
                *--top = t_.suffix[c];
                c = t_.prefix[c];
            }
            *--top = first = uint8_t(c);
            if (DecodeStatus s = put(top, size_t(t_.stack + kTableSize - top)); s != DecodeStatus::Ok) return s;

            if (next_ < kTableSize) {
                t_.prefix[next_] = previous;
                t_.suffix[next_] = first;
                while (++next_ < kTableSize && t_.prefix[next_] != kFree) {
                }
            }
            previous = uint16_t(code);
        }
        return flushOut();
    }

private:
    bool read(BitInput& in, unsigned bits, uint32_t& code) {
        // A partial code at the end of the data is padding.
        if (!in.need(bits)) return false;
        code = in.peek(bits);
        in.drop(bits);
        return !in.overran();
    }

    // Frees every code that is no other code's prefix: the leaves of the tree.
    void partialClear() {
        for (unsigned c = kFirstFree; c < kTableSize; ++c) t_.hasChild[c] = false;
        for (unsigned c = kFirstFree; c < kTableSize; ++c)
            if (t_.prefix[c] != kFree && t_.prefix[c] >= kFirstFree) t_.hasChild[t_.prefix[c]] = true;
        for (unsigned c = kFirstFree; c < kTableSize; ++c)
            if (!t_.hasChild[c]) t_.prefix[c] = kFree;
        next_ = kFirstFree;
        while (next_ < kTableSize && t_.prefix[next_] != kFree) ++next_;
    }

    DecodeStatus put(const uint8_t* data, size_t size) {
        while (size > 0) {
            size_t n = std::min(size, kUnshrinkBlock - used_);
            std::memcpy(t_.out + used_, data, n);
            used_ += n;
            data += n;
            size -= n;
            if (used_ == kUnshrinkBlock)
                if (DecodeStatus s = flushOut(); s != DecodeStatus::Ok) return s;
        }
        return DecodeStatus::Ok;
    }

    DecodeStatus flushOut() {
        DecodeStatus status = DecodeStatus::Ok;
        size_t n = used_;
        if (n > limit_ - emitted_) {
            n = size_t(limit_ - emitted_);
            status = DecodeStatus::TooLong;
        }
        if (n > 0 && !sink_.write({t_.out, n})) return DecodeStatus::Stopped;
        emitted_ += n;
        used_ = 0;
        return status;
    }

    DecodeStatus stop() {
        DecodeStatus s = flushOut();
        return s == DecodeStatus::Ok ? DecodeStatus::DataError : s;
    }

    Tables& t_;
    OutputSink& sink_;
    uint64_t limit_;
    uint64_t emitted_ = 0;
    size_t used_ = 0;
    unsigned next_ = kFirstFree;
};

}  // namespace

DecodeStatus unshrink(ByteSource& source, OutputSink& sink, uint64_t limit) {
    std::unique_ptr<Tables> tables(new (std::nothrow) Tables);
    if (!tables) return DecodeStatus::NoMemory;
    return Unshrinker(*tables, sink, limit).run(source);
}

}  // namespace tarrow
