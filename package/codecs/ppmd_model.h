// The PPMd context model of variant I (revision 1) and its range decoder. Contexts of up to the model
// order predict the next byte; a context that has not seen it escapes to its suffix, binary contexts (one
// symbol seen) use adaptive bit probabilities, and escapes from larger ones are estimated by secondary
// (SEE) statistics. When the memory is full the model restarts or cuts off its deepest branches.
#pragma once

#include "decode_io.h"
#include "ppmd_heap.h"

namespace tarrow::ppmd {

// The carry-less range decoder of the method, reading from a ByteSource. Past the end of the data it
// reads zero bytes and counts them.
class RangeDecoder {
public:
    explicit RangeDecoder(ByteSource& source) : source_(source) {}

    // Reads the first four bytes; false when they cannot start a valid stream.
    bool init();

    // The position of the code within `total` equal parts of the range, which it narrows to one part.
    // Returns a value >= total when the code lies outside (damaged data).
    uint32_t threshold(uint32_t total) {
        if (total == 0 || (range_ /= total) == 0) return UINT32_MAX;
        return code_ / range_;
    }
    // Narrows the range to [start, start + size) of the parts chosen by threshold().
    void decode(uint32_t start, uint32_t size) {
        start *= range_;
        low_ += start;
        code_ -= start;
        range_ *= size;
        normalize();
    }
    // Binary decisions: the range is divided into 2^14 parts first.
    uint32_t binaryThreshold() {
        range_ >>= 14;
        return code_ / range_;
    }

    // Number of bytes read past the end of the data.
    unsigned overrun() const { return overrun_; }
    bool finishedCleanly() const { return code_ == 0; }

private:
    static constexpr uint32_t kTop = 1 << 24, kBottom = 1 << 15;

    void normalize() {
        while ((low_ ^ (low_ + range_)) < kTop || (range_ < kBottom && ((range_ = (0 - low_) & (kBottom - 1)), true))) {
            code_ = (code_ << 8) | readByte();
            range_ <<= 8;
            low_ <<= 8;
        }
    }
    uint8_t readByte() {
        if (in_ == end_ && !pull()) {
            ++overrun_;
            return 0;
        }
        return *in_++;
    }
    bool pull();

    ByteSource& source_;
    const uint8_t* in_ = nullptr;
    const uint8_t* end_ = nullptr;
    unsigned overrun_ = 0;
    uint32_t low_ = 0, range_ = 0xFFFFFFFF, code_ = 0;
};

// Restoration when the memory is full: start the model afresh, or cut off its deepest contexts.
enum class Restore { Restart = 0, CutOff = 1 };

constexpr unsigned kMinOrder = 2, kMaxOrder = 16;

class Model {
public:
    // False when the memory cannot be reserved.
    bool allocate(uint32_t memorySize) { return heap_.allocate(memorySize); }
    void init(unsigned maxOrder, Restore restore);

    // The next byte (0..255), -1 at the end mark of the stream, -2 on damaged data.
    int decodeSymbol(RangeDecoder& rc);

private:
    struct See {
        uint16_t summ;
        uint8_t shift, count;
    };

    // Field access. A state (6 bytes): symbol, frequency, successor (32 bits, 2-aligned). A context
    // (12 bytes): number of states minus one, flags, total frequency, states, suffix; a context of one
    // state holds that state in place of the total frequency and the reference to the states.
    uint8_t* at(Ref r) const { return heap_.bytes() + r; }
    uint16_t load16(Ref r) const {
        uint16_t v;
        std::memcpy(&v, at(r), 2);
        return v;
    }
    uint32_t load32(Ref r) const {
        uint32_t v;
        std::memcpy(&v, at(r), 4);
        return v;
    }
    void store16(Ref r, unsigned v) {
        uint16_t w = uint16_t(v);
        std::memcpy(at(r), &w, 2);
    }
    void store32(Ref r, uint32_t v) { std::memcpy(at(r), &v, 4); }

    uint8_t& symbol(Ref s) { return *at(s); }
    uint8_t& freq(Ref s) { return *at(s + 1); }
    Ref successor(Ref s) const { return load32(s + 2); }
    void setSuccessor(Ref s, Ref v) { store32(s + 2, v); }

    uint8_t& numStats(Ref c) { return *at(c); }
    uint8_t& flags(Ref c) { return *at(c + 1); }
    unsigned summFreq(Ref c) const { return load16(c + 2); }
    void setSummFreq(Ref c, unsigned v) { store16(c + 2, v); }
    Ref stats(Ref c) const { return load32(c + 4); }
    void setStats(Ref c, Ref v) { store32(c + 4, v); }
    Ref suffix(Ref c) const { return load32(c + 8); }
    void setSuffix(Ref c, Ref v) { store32(c + 8, v); }
    static Ref oneState(Ref c) { return c + 2; }

    static constexpr unsigned kStateSize = 6;
    void copyState(Ref to, Ref from) { std::memmove(at(to), at(from), kStateSize); }
    void swapStates(Ref a, Ref b) {
        uint8_t t[kStateSize];
        std::memcpy(t, at(a), kStateSize);
        std::memcpy(at(a), at(b), kStateSize);
        std::memcpy(at(b), t, kStateSize);
    }
    static uint8_t highFlag(unsigned sym) { return sym >= 0x40 ? 0x08 : 0; }

    Ref findState(Ref c, uint8_t sym);  // the state of sym in context c, which has more than one
    void restartModel();
    See* makeEscFreq(unsigned numMasked, uint32_t& escFreq);
    void rescale();
    void refresh(Ref c, unsigned oldUnits, unsigned scale);
    Ref cutOff(Ref c, unsigned order);
    void restoreModel(Ref c1);
    Ref createSuccessors(bool skip, Ref s1, Ref c);
    Ref reduceOrder(Ref s1, Ref c);
    void updateModel();
    void nextContext();
    void update1();
    void update1First();
    void update2();
    void updateBinary();

    Heap heap_;
    Ref minContext_ = 0, maxContext_ = 0, foundState_ = 0;
    unsigned orderFall_ = 0, initEsc_ = 0, prevSuccess_ = 0, maxOrder_ = 0;
    Restore restore_ = Restore::Restart;
    bool broken_ = false;
    int32_t runLength_ = 0, initRunLength_ = 0;

    uint8_t ns2BSIndex_[256];
    uint8_t ns2Index_[260];
    See dummySee_{};
    See see_[24][32];
    uint16_t binSumm_[25][64];
};

}  // namespace tarrow::ppmd
