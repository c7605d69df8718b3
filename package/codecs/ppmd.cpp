#include "ppmd.h"

#include "ppmd_model.h"

#include <memory>
#include <new>
#include <utility>

namespace tarrow {

namespace {

// Reads the two header bytes, which may straddle chunks.
bool readHeader(ByteSource& source, std::span<const uint8_t>& rest, unsigned& value) {
    uint8_t b[2];
    size_t got = 0;
    while (got < 2) {
        rest = source.next();
        if (rest.empty()) return false;
        while (got < 2 && !rest.empty()) {
            b[got++] = rest.front();
            rest = rest.subspan(1);
        }
    }
    value = b[0] | unsigned(b[1]) << 8;
    return true;
}

// Hands the rest of the first chunk to the range decoder before the source's next ones.
class PrefixedSource : public ByteSource {
public:
    PrefixedSource(std::span<const uint8_t> first, ByteSource& source) : first_(first), source_(source) {}
    std::span<const uint8_t> next() override {
        if (!first_.empty()) return std::exchange(first_, {});
        return source_.next();
    }

private:
    std::span<const uint8_t> first_;
    ByteSource& source_;
};

}  // namespace

DecodeStatus unppmd(ByteSource& source, OutputWindow& window, uint64_t size) {
    std::span<const uint8_t> rest;
    unsigned header;
    if (!readHeader(source, rest, header)) return DecodeStatus::DataError;
    const unsigned order = (header & 0xF) + 1;
    const uint32_t memory = (((header >> 4) & 0xFF) + 1) << 20;
    const unsigned restore = header >> 12;
    if (order < ppmd::kMinOrder || restore > unsigned(ppmd::Restore::CutOff)) return DecodeStatus::BadInput;

    std::unique_ptr<ppmd::Model> model(new (std::nothrow) ppmd::Model);
    if (!model || !model->allocate(memory)) return DecodeStatus::NoMemory;
    PrefixedSource input(rest, source);
    ppmd::RangeDecoder rc(input);
    if (!rc.init()) return DecodeStatus::DataError;
    model->init(order, ppmd::Restore(restore));

    for (uint64_t left = size; left > 0;) {
        // Fill up to the next flush point at most.
        size_t room = size_t(window.flushAt - window.pos);
        if (room > left) room = size_t(left);
        uint8_t* out = window.pos;
        uint8_t* const stop = out + room;
        int sym = 0;
        while (out < stop) {
            sym = model->decodeSymbol(rc);
            if (sym < 0) break;
            *out++ = uint8_t(sym);
            // Running past the end of the data means it was cut short; no valid stream does before
            // its last symbol.
            if (rc.overrun() > 0) {
                sym = -2;
                break;
            }
        }
        left -= uint64_t(out - window.pos);
        window.pos = out;
        if (sym == -2) {
            DecodeStatus s = window.finish();
            return s == DecodeStatus::Ok ? DecodeStatus::DataError : s;
        }
        if (sym == -1) break;  // the end mark: output shorter than declared shows in the size check
        if (window.pos >= window.flushAt)
            if (DecodeStatus s = window.flush(); s != DecodeStatus::Ok) return s;
    }
    return window.finish();
}

}  // namespace tarrow
