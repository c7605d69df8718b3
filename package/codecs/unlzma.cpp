#include "unlzma.h"

#include "stream_codec.h"

#include <lzma.h>

#include <algorithm>

namespace tarrow {

namespace {

constexpr size_t kHeaderSize = 4;      // version (2 bytes), properties size (2 bytes)
constexpr size_t kPropertiesSize = 5;  // lc/lp/pb, dictionary size

DecodeStatus statusOf(lzma_ret rc) { return rc == LZMA_MEM_ERROR ? DecodeStatus::NoMemory : DecodeStatus::DataError; }

class LzmaCodec : public StreamCodec {
public:
    explicit LzmaCodec(const LzmaMember& member) : member_(member) {}
    ~LzmaCodec() override { lzma_end(&z_); }

    CodecStep step(std::span<const uint8_t> in, std::span<uint8_t> out, bool last) override {
        CodecStep s;
        if (!started_) {
            s.consumed = std::min(in.size(), sizeof header_ - filled_);
            std::copy_n(in.data(), s.consumed, header_ + filled_);
            filled_ += s.consumed;
            if (filled_ < sizeof header_) return s;
            s.status = start();
            if (s.status != DecodeStatus::Ok) return s;
            in = in.subspan(s.consumed);
        }
        if (member_.size == 0 && !member_.endMarker) return stepEmpty(in, out, last, s);
        z_.next_in = in.data();
        z_.avail_in = in.size();
        z_.next_out = out.data();
        z_.avail_out = out.size();
        lzma_ret rc = lzma_code(&z_, last ? LZMA_FINISH : LZMA_RUN);
        s.consumed += in.size() - z_.avail_in;
        s.produced = out.size() - z_.avail_out;
        s.ended = rc == LZMA_STREAM_END;
        // No progress (LZMA_BUF_ERROR) is left to the driver, which knows whether data follows.
        if (rc != LZMA_OK && rc != LZMA_STREAM_END && rc != LZMA_BUF_ERROR) s.status = statusOf(rc);
        return s;
    }

private:
    // An empty member's stream is its range coder's start alone, or that and the end marker, which
    // writers add whatever the flag says. Whether a marker follows the declared size depends on
    // whether its bytes have arrived yet, so the few bytes are gathered and decoded in one call.
    CodecStep& stepEmpty(std::span<const uint8_t> in, std::span<uint8_t> out, bool last, CodecStep& s) {
        if (in.size() > sizeof pending_ - pendingSize_) {
            s.status = DecodeStatus::DataError;  // far longer than any empty stream
            return s;
        }
        std::copy(in.begin(), in.end(), pending_ + pendingSize_);
        pendingSize_ += in.size();
        s.consumed += in.size();
        if (!last) return s;
        z_.next_in = pending_;
        z_.avail_in = pendingSize_;
        z_.next_out = out.data();
        z_.avail_out = out.size();
        const lzma_ret rc = lzma_code(&z_, LZMA_FINISH);
        s.produced = out.size() - z_.avail_out;
        s.ended = rc == LZMA_STREAM_END && z_.avail_in == 0;
        if (!s.ended) s.status = rc == LZMA_MEM_ERROR ? DecodeStatus::NoMemory : DecodeStatus::DataError;
        return s;
    }

    DecodeStatus start() {
        started_ = true;
        if ((header_[2] | header_[3] << 8) != kPropertiesSize) return DecodeStatus::DataError;
        const uint8_t* p = header_ + kHeaderSize;
        unsigned lclppb = p[0];
        if (lclppb >= 9 * 5 * 5) return DecodeStatus::DataError;
        lzma_options_lzma options{};
        options.lc = lclppb % 9;
        options.lp = lclppb / 9 % 5;
        options.pb = lclppb / 45;
        // A dictionary larger than the output never serves; the output is bounded by the declared size.
        uint64_t dictionary = uint32_t(p[1] | p[2] << 8 | p[3] << 16 | uint32_t(p[4]) << 24);
        dictionary = std::clamp<uint64_t>(std::min(dictionary, member_.size), LZMA_DICT_SIZE_MIN, UINT32_MAX);
        if (dictionary > kMaxDecoderMemory) return DecodeStatus::DataError;
        options.dict_size = uint32_t(dictionary);
        // Without the flag the stream ends at the declared size, with the range coder finished and
        // no marker (accepting one there would make the outcome depend on how the input is chunked).
        // An empty member is the exception: writers end its stream with the marker whatever the flag
        // says, and there is no data before it whose end could be in doubt.
        options.ext_flags = member_.size == 0 ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
        const uint64_t size = member_.endMarker ? UINT64_MAX : member_.size;
        options.ext_size_low = uint32_t(size);
        options.ext_size_high = uint32_t(size >> 32);
        lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
        lzma_ret rc = lzma_raw_decoder(&z_, filters);
        return rc == LZMA_OK ? DecodeStatus::Ok : statusOf(rc);
    }

    LzmaMember member_;
    lzma_stream z_ = LZMA_STREAM_INIT;
    uint8_t header_[kHeaderSize + kPropertiesSize];
    size_t filled_ = 0;
    uint8_t pending_[32];
    size_t pendingSize_ = 0;
    bool started_ = false;
};

}  // namespace

DecodeStatus unlzma(ByteSource& source, OutputWindow& window, const LzmaMember& member) {
    LzmaCodec codec(member);
    return runCodec(codec, source, window);
}

}  // namespace tarrow
