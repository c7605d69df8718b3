#include "stream_codec.h"

namespace tarrow {

DecodeStatus runCodec(StreamCodec& codec, ByteSource& source, OutputWindow& window) {
    if (!codec.ready()) return DecodeStatus::NoMemory;
    window.dropHistory();  // the library keeps its own
    std::span<const uint8_t> in = source.next();
    bool last = in.empty();
    for (;;) {
        CodecStep s = codec.step(in, {window.pos, size_t(window.flushAt - window.pos)}, last);
        in = in.subspan(s.consumed);
        window.pos += s.produced;
        if (window.pos >= window.flushAt)
            if (DecodeStatus f = window.flush(); f != DecodeStatus::Ok) return f;
        if (s.status != DecodeStatus::Ok) return s.status;
        if (s.ended) return window.finish();
        if (in.empty() && !last) {
            in = source.next();
            last = in.empty();
        } else if (s.consumed == 0 && s.produced == 0) {
            return DecodeStatus::DataError;  // truncated, or a codec that cannot go on
        }
    }
}

}  // namespace tarrow
