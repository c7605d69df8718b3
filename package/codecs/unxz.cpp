#include "unxz.h"

#include "stream_codec.h"

#include <lzma.h>

namespace tarrow {

namespace {

class XzCodec : public StreamCodec {
public:
    explicit XzCodec(uint64_t memoryLimit) { rc_ = lzma_stream_decoder(&z_, memoryLimit, 0); }
    ~XzCodec() override { lzma_end(&z_); }
    bool ready() const override { return rc_ == LZMA_OK; }

    CodecStep step(std::span<const uint8_t> in, std::span<uint8_t> out, bool last) override {
        z_.next_in = in.data();
        z_.avail_in = in.size();
        z_.next_out = out.data();
        z_.avail_out = out.size();
        lzma_ret rc = lzma_code(&z_, last ? LZMA_FINISH : LZMA_RUN);
        CodecStep s;
        s.consumed = in.size() - z_.avail_in;
        s.produced = out.size() - z_.avail_out;
        s.ended = rc == LZMA_STREAM_END;
        // No progress (LZMA_BUF_ERROR) is left to the driver; a stream beyond the memory limit
        // (LZMA_MEMLIMIT_ERROR) is refused like a damaged one.
        if (rc == LZMA_MEM_ERROR) s.status = DecodeStatus::NoMemory;
        else if (rc != LZMA_OK && rc != LZMA_STREAM_END && rc != LZMA_BUF_ERROR) s.status = DecodeStatus::DataError;
        return s;
    }

private:
    lzma_stream z_ = LZMA_STREAM_INIT;
    lzma_ret rc_;
};

}  // namespace

DecodeStatus unxz(ByteSource& source, OutputWindow& window, uint64_t memoryLimit) {
    XzCodec codec(memoryLimit);
    return runCodec(codec, source, window);
}

}  // namespace tarrow
