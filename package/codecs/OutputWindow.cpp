#include "OutputWindow.h"

#include <algorithm>
#include <new>

namespace tarrow {

void copyMatchClipped(uint8_t* out, const uint8_t* floor, const uint8_t* end, size_t dist, size_t n) {
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
    // From at least 16 bytes back, whole runs of dist bytes at a time: each run's source is written.
    if (dist >= 16)
        for (size_t run; i < n; i += run) {
            run = std::min(dist, n - i);
            std::memcpy(out + i, floor + back + i - dist, run);
        }
    for (; i < n; ++i) out[i] = floor[back + i - dist];
}

OutputWindow::OutputWindow() : buffer_(new (std::nothrow) uint8_t[kBufferSize]) {}

void OutputWindow::start(OutputSink& sink, uint64_t limit) {
    sink_ = &sink;
    limit_ = limit;
    emitted_ = 0;
    stopped_ = false;
    history_ = true;
    pos = buffer_.get() + kHistory;
    mark_ = pos;
    blockEnd_ = pos + kBlock;
    floor = pos;
    setFlushPoint();
}

void OutputWindow::dropHistory() {
    history_ = false;
    pos = buffer_.get();
    mark_ = pos;
    blockEnd_ = pos + kDirectArea;
    floor = pos;
    setFlushPoint();
}

// The end of what may be written before output is handed on, or the first byte past the declared size
// when that comes first: decoders check pos against flushAt after every step, so output past the
// declared size is noticed at once.
void OutputWindow::setFlushPoint() {
    const uint64_t room = limit_ - std::min(limit_, emitted_);
    flushAt = room < uint64_t(blockEnd_ - mark_) ? mark_ + room + 1 : blockEnd_;
}

DecodeStatus OutputWindow::emit(const uint8_t* data, size_t size) {
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

// Hands on [from, to) in blocks, so that a sink sees the same blocks with or without history.
DecodeStatus OutputWindow::emitRun(const uint8_t* from, const uint8_t* to) {
    for (size_t n; from < to; from += n) {
        n = std::min(kBlock, size_t(to - from));
        if (DecodeStatus s = emit(from, n); s != DecodeStatus::Ok) return s;
    }
    return DecodeStatus::Ok;
}

DecodeStatus OutputWindow::flush() {
    uint8_t* base = buffer_.get();
    if (!history_) {
        // The area is full, or the output passed the declared size (emit then stops with TooLong).
        if (pos < flushAt) return DecodeStatus::Ok;
        if (DecodeStatus s = emitRun(mark_, pos); s != DecodeStatus::Ok) return s;
        pos = mark_ = base;
        setFlushPoint();
        return DecodeStatus::Ok;
    }
    while (pos >= flushAt) {
        // Short of the block's end only when the output has passed the declared size.
        if (pos < blockEnd_) return emit(mark_, size_t(pos - mark_));
        if (DecodeStatus s = emit(mark_, kBlock); s != DecodeStatus::Ok) return s;
        mark_ = blockEnd_;
        blockEnd_ += kBlock;
        if (mark_ == base + kHistory + kBlocks * kBlock) {
            // Move the history and anything already written past the flush point down to the start.
            constexpr size_t shift = kBlocks * kBlock;
            std::memmove(base, base + shift, size_t(pos - base) - shift);
            pos -= shift;
            mark_ -= shift;
            blockEnd_ -= shift;
            floor = base;
        }
        setFlushPoint();
    }
    return DecodeStatus::Ok;
}

DecodeStatus OutputWindow::finish() {
    if (DecodeStatus s = flush(); s != DecodeStatus::Ok) return s;
    if (stopped_) return DecodeStatus::Stopped;
    return emitRun(mark_, pos);
}

void OutputWindow::copyMatch(size_t dist, size_t n) {
    uint8_t* out = pos;
    if (dist > size_t(out - floor)) {
        copyMatchClipped(out, floor, out + n, dist, n);
        out += n;
    } else {
        const uint8_t* from = out - dist;
        out = dist >= 8 ? copyInSteps<8>(out, from, n) : copyPattern(out, dist, n);
    }
    pos = out;
}

}  // namespace tarrow
