#include "unzstd.h"

#include "stream_codec.h"

#include <zstd.h>
#include <zstd_errors.h>

namespace tarrow {

namespace {

class ZstdCodec : public StreamCodec {
public:
    explicit ZstdCodec(int windowLogMax) : z_(ZSTD_createDCtx()) {
        if (z_ && ZSTD_isError(ZSTD_DCtx_setParameter(z_, ZSTD_d_windowLogMax, windowLogMax))) {
            ZSTD_freeDCtx(z_);
            z_ = nullptr;
        }
    }
    ~ZstdCodec() override { ZSTD_freeDCtx(z_); }
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
