#include "OutputWindow.h"

#include <algorithm>
#include <new>

namespace tarrow {

void copyMatchClipped(uint8_t *out, const uint8_t *floor, const uint8_t *end, size_t dist, size_t n) {
    if (out >= end) return;
    n = std::min(n, size_t(end - out));
    // Positions before floor hold zeros; the rest copy forward byte by byte, counted from floor so that
    // no pointer before it is ever formed.
    const size_t back = size_t(out - floor);
    size_t i = 0;
    if (dist > back) {
        i = std::min(n, dist - back);
        std::memset(out, 0, i);
    }
    for (; i < n; ++i) out[i] = floor[back + i - dist];
}

OutputWindow::OutputWindow()
    : buffer_(new (std::nothrow) uint8_t[kHistory + kBlocks * kBlock + kSlack]) {}

void OutputWindow::start(OutputSink &sink, uint64_t limit) {
    sink_ = &sink;
    limit_ = limit;
    emitted_ = 0;
    stopped_ = false;
    pos = buffer_.get() + kHistory;
    blockEnd_ = pos + kBlock;
    floor = pos;
    setFlushPoint();
}

// The block's end, or the first byte past the declared size when that comes first: decoders check
// pos against flushAt after every step, so output past the declared size is noticed at once.
void OutputWindow::setFlushPoint() {
    const uint64_t room = limit_ - std::min(limit_, emitted_);
    flushAt = room < kBlock ? blockEnd_ - kBlock + room + 1 : blockEnd_;
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
        uint8_t *blockStart = blockEnd_ - kBlock;
        // Short of the block's end only when the output has passed the declared size.
        if (pos < blockEnd_) return emit(blockStart, size_t(pos - blockStart));
        if (DecodeStatus s = emit(blockStart, kBlock); s != DecodeStatus::Ok) return s;
        blockEnd_ += kBlock;
        if (blockStart + kBlock == base + kHistory + kBlocks * kBlock) {
            // Move the history and anything already written past the flush point down to the start.
            constexpr size_t shift = kBlocks * kBlock;
            std::memmove(base, base + shift, size_t(pos - base) - shift);
            pos -= shift;
            blockEnd_ -= shift;
            floor = base;
        }
        setFlushPoint();
    }
    return DecodeStatus::Ok;
}

DecodeStatus OutputWindow::finish() {
    if (DecodeStatus s = flush(); s != DecodeStatus::Ok) return s;
    uint8_t *mark = blockEnd_ - kBlock;
    return emit(mark, size_t(pos - mark));
}

void OutputWindow::copyMatch(size_t dist, size_t n) {
    uint8_t *out = pos;
    if (dist > size_t(out - floor)) {
        copyMatchClipped(out, floor, out + n, dist, n);
        out += n;
    } else {
        const uint8_t *from = out - dist;
        out = dist >= 8 ? copyInSteps<8>(out, from, n) : copyPattern(out, dist, n);
    }
    pos = out;
}

} // namespace tarrow
