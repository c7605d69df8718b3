#include "unzstd.h"

#include "stream_codec.h"

#include <zstd.h>
#include <zstd_errors.h>

#include <memory>

namespace tarrow {

namespace {

// The decoder context of this thread, kept from member to member: setting one up and its buffers
// costs as much as decoding a small member. One that grew for a wide window is let go afterwards.
constexpr size_t kKeptContextSize = 8 << 20;

struct ContextFree {
    void operator()(ZSTD_DCtx *z) const { ZSTD_freeDCtx(z); }
};
using Context = std::unique_ptr<ZSTD_DCtx, ContextFree>;

Context &threadContext() {
    static thread_local Context context;
    return context;
}

class ZstdCodec : public StreamCodec {
public:
    explicit ZstdCodec(int windowLogMax) {
        Context &kept = threadContext();
        if (!kept) kept.reset(ZSTD_createDCtx());
        z_ = kept.get();
        if (z_ && (ZSTD_isError(ZSTD_DCtx_reset(z_, ZSTD_reset_session_and_parameters)) ||
                   ZSTD_isError(ZSTD_DCtx_setParameter(z_, ZSTD_d_windowLogMax, windowLogMax))))
            z_ = nullptr;
    }
    ~ZstdCodec() override {
        Context &kept = threadContext();
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
        ZSTD_inBuffer input{in.data(), in.size(), 0};
        ZSTD_outBuffer output{out.data(), out.size(), 0};
        size_t rc = ZSTD_decompressStream(z_, &output, &input);
        s.consumed = input.pos;
        s.produced = output.pos;
        if (ZSTD_isError(rc)) {
            s.status = ZSTD_getErrorCode(rc) == ZSTD_error_memory_allocation ? DecodeStatus::NoMemory
                                                                             : DecodeStatus::DataError;
            return s;
        }
        betweenFrames_ = rc == 0;
        if (betweenFrames_ && last && s.consumed == in.size()) s.ended = true;
        return s;
    }

private:
    ZSTD_DCtx *z_;
    bool betweenFrames_ = false;
};

} // namespace

DecodeStatus unzstd(ByteSource &source, OutputWindow &window, int windowLogMax) {
    ZstdCodec codec(windowLogMax);
    return runCodec(codec, source, window);
}

} // namespace tarrow
