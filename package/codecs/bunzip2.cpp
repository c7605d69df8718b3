#include "bunzip2.h"

#include "stream_codec.h"

#include <bzlib.h>

namespace tarrow {

namespace {

class Bzip2Codec : public StreamCodec {
public:
    Bzip2Codec() { ready_ = BZ2_bzDecompressInit(&z_, 0, 0) == BZ_OK; }
    ~Bzip2Codec() override {
        if (ready_) BZ2_bzDecompressEnd(&z_);
    }
    bool ready() const override { return ready_; }

    CodecStep step(std::span<const uint8_t> in, std::span<uint8_t> out, bool) override {
        z_.next_in = const_cast<char*>(reinterpret_cast<const char*>(in.data()));
        z_.avail_in = unsigned(in.size());
        z_.next_out = reinterpret_cast<char*>(out.data());
        z_.avail_out = unsigned(out.size());
        int rc = BZ2_bzDecompress(&z_);
        CodecStep s;
        s.consumed = in.size() - z_.avail_in;
        s.produced = out.size() - z_.avail_out;
        s.ended = rc == BZ_STREAM_END;
        if (rc == BZ_MEM_ERROR) s.status = DecodeStatus::NoMemory;
        else if (rc != BZ_OK && rc != BZ_STREAM_END) s.status = DecodeStatus::DataError;
        return s;
    }

private:
    bz_stream z_{};
    bool ready_ = false;
};

}  // namespace

DecodeStatus bunzip2(ByteSource& source, OutputWindow& window) {
    Bzip2Codec codec;
    return runCodec(codec, source, window);
}

}  // namespace tarrow
