#include "unzstd.h"

#include "stream_codec.h"

// For ZSTD_d_stableOutBuffer, a parameter libzstd has had since 1.4.4; should a library refuse it,
// every frame is decoded through the library's own buffer.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace tarrow {

namespace {

// The decoder context of this thread, kept from member to member: setting one up and its buffers
// costs as much as decoding a small member. One that grew for a wide window is let go afterwards.
constexpr size_t kKeptContextSize = 8 << 20;

struct ContextFree {
    void operator()(ZSTD_DCtx* z) const { ZSTD_freeDCtx(z); }
};
using Context = std::unique_ptr<ZSTD_DCtx, ContextFree>;

Context& threadContext() {
    static thread_local Context context;
    return context;
}

class ZstdCodec : public StreamCodec {
public:
    explicit ZstdCodec(int windowLogMax) {
        Context& kept = threadContext();
        if (!kept) kept.reset(ZSTD_createDCtx());
        z_ = kept.get();
        if (z_ && (ZSTD_isError(ZSTD_DCtx_reset(z_, ZSTD_reset_session_and_parameters)) ||
                   ZSTD_isError(ZSTD_DCtx_setParameter(z_, ZSTD_d_windowLogMax, windowLogMax))))
            z_ = nullptr;
    }
    ~ZstdCodec() override {
        Context& kept = threadContext();
        if (kept && ZSTD_sizeof_DCtx(kept.get()) > kKeptContextSize) kept.reset();
    }
    bool ready() const override { return z_ != nullptr; }

    CodecStep step(std::span<const uint8_t> in, std::span<uint8_t> out, bool last) override {
        CodecStep s;
        // The data ends cleanly only between frames, with nothing held back.
        if (in.empty() && last && betweenFrames_) {
            s.ended = true;
            return s;
        }
        if (!magicKnown(in)) {
            s.status = DecodeStatus::DataError;
            return s;
        }
        if (frameBytes_ == 0) chooseOutput(in, out);
        ZSTD_outBuffer output{out.data(), out.size(), 0};
        if (stable_) {
            // The library writes the frame straight into the window and must see the same buffer on
            // every call. Only once all of it is written may the window have handed it on (the
            // frame's checksum may still be to read).
            if (out.data() != static_cast<uint8_t*>(frame_.dst) + frame_.pos && frame_.pos != frame_.size) {
                s.status = DecodeStatus::DataError;
                return s;
            }
            output = frame_;
        }
        const size_t before = output.pos;
        ZSTD_inBuffer input{in.data(), in.size(), 0};
        size_t rc = ZSTD_decompressStream(z_, &output, &input);
        s.consumed = input.pos;
        s.produced = output.pos - before;
        frameBytes_ += std::min(s.consumed, sizeof magic_ - frameBytes_);
        if (stable_) frame_ = output;
        if (ZSTD_isError(rc)) {
            s.status = ZSTD_getErrorCode(rc) == ZSTD_error_memory_allocation ? DecodeStatus::NoMemory
                                                                             : DecodeStatus::DataError;
            return s;
        }
        betweenFrames_ = rc == 0;
        if (betweenFrames_) frameBytes_ = 0;
        if (betweenFrames_ && last && s.consumed == in.size()) s.ended = true;
        return s;
    }

private:
    // Whether the frame begun is of the format every writer uses (or a skippable frame), checked once
    // its first four bytes are there (the library is given them as they come). The library also
    // decodes the formats of its own pre-releases, which no archiver writes, and its two decoders of
    // those disagree on damaged frames; they are refused as damaged.
    bool magicKnown(std::span<const uint8_t> in) {
        if (frameBytes_ >= sizeof magic_) return true;
        const size_t n = std::min(in.size(), sizeof magic_ - frameBytes_);
        if (n > 0) std::memcpy(magic_ + frameBytes_, in.data(), n);
        if (frameBytes_ + n < sizeof magic_) return true;
        const uint32_t magic = uint32_t(magic_[0] | magic_[1] << 8 | magic_[2] << 16) | uint32_t(magic_[3]) << 24;
        return magic == ZSTD_MAGICNUMBER || (magic & ZSTD_MAGIC_SKIPPABLE_MASK) == ZSTD_MAGIC_SKIPPABLE_START;
    }

    // At the start of a frame: a frame that says its size, and fits in the window's free space, is
    // decoded straight into it, which spares the library's buffer and one copy of all the output.
    // Any other frame (size not given, too long for the member, header split across reads) goes
    // through the library's buffer as usual.
    void chooseOutput(std::span<const uint8_t> in, std::span<uint8_t> out) {
        const unsigned long long size = ZSTD_getFrameContentSize(in.data(), in.size());
        const bool fits =
            size != ZSTD_CONTENTSIZE_UNKNOWN && size != ZSTD_CONTENTSIZE_ERROR && size > 0 && size <= out.size();
        if (fits != stable_ && !ZSTD_isError(ZSTD_DCtx_setParameter(z_, ZSTD_d_stableOutBuffer, fits))) stable_ = fits;
        frame_ = {out.data(), out.size(), 0};
    }

    ZSTD_DCtx* z_;
    bool betweenFrames_ = false;
    bool stable_ = false;
    uint8_t magic_[4];
    size_t frameBytes_ = 0;  // bytes of the frame begun given to the library, counted up to its magic's four
    ZSTD_outBuffer frame_{};
};

}  // namespace

DecodeStatus unzstd(ByteSource& source, OutputWindow& window, int windowLogMax) {
    ZstdCodec codec(windowLogMax);
    return runCodec(codec, source, window);
}

}  // namespace tarrow
