#include "OutputWindow.h"

#include <new>

namespace tarrow {

OutputWindow::OutputWindow()
    : buffer_(new (std::nothrow) uint8_t[kHistory + kBlocks * kBlock + kSlack]) {}

void OutputWindow::start(OutputSink &sink, uint64_t limit) {
    sink_ = &sink;
    limit_ = limit;
    emitted_ = 0;
    stopped_ = false;
    pos = buffer_.get() + kHistory;
    flushAt = pos + kBlock;
    floor = pos;
}

DecodeStatus OutputWindow::emit(const uint8_t *data, size_t size) {
    if (stopped_) return DecodeStatus::Stopped;
    DecodeStatus status = DecodeStatus::Ok;
    if (size > limit_ - emitted_) {
        size = size_t(limit_ - emitted_);
        status = DecodeStatus::TooLong;
    }
    if (size > 0 && !sink_->write({data, size})) status = DecodeStatus::Stopped;
    emitted_ += size;
    if (status != DecodeStatus::Ok) stopped_ = true;
    return status;
}

DecodeStatus OutputWindow::flush() {
    uint8_t *base = buffer_.get();
    while (pos >= flushAt) {
        if (DecodeStatus s = emit(flushAt - kBlock, kBlock); s != DecodeStatus::Ok) return s;
        flushAt += kBlock;
        if (flushAt - kBlock == base + kHistory + kBlocks * kBlock) {
            // Move the last 32 KB and anything already written past the flush point down to the start.
            constexpr size_t shift = kBlocks * kBlock;
            std::memmove(base, base + shift, size_t(pos - base) - shift);
            pos -= shift;
            flushAt -= shift;
            floor = base;
        }
    }
    return DecodeStatus::Ok;
}

DecodeStatus OutputWindow::finish() {
    if (DecodeStatus s = flush(); s != DecodeStatus::Ok) return s;
    uint8_t *mark = flushAt - kBlock;
    return emit(mark, size_t(pos - mark));
}

void OutputWindow::copyMatch(size_t dist, size_t n) {
    uint8_t *out = pos;
    if (dist > size_t(out - floor)) {
        // Reaches before the member's first byte: those positions hold zeros.
        for (size_t i = 0; i < n; ++i, ++out) {
            const uint8_t *from = out - dist;
            *out = from < floor ? 0 : *from;
        }
    } else {
        const uint8_t *from = out - dist;
        if (dist >= 8) {
            out = copyInSteps<8>(out, from, n);
        } else if (dist > 0) {
            out = copyPattern(out, dist, n);
        } else {
            for (size_t i = 0; i < n; ++i) out[i] = from[i];
            out += n;
        }
    }
    pos = out;
}

} // namespace tarrow
