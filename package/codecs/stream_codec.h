// The driver shared by the decoders that wrap a compression library: the library decodes into the
// output window's free space (the window keeps no history for it, as the library has its own), the
// window hands blocks on and bounds the output, and the member's data is fed in as the source
// delivers it. A codec only translates one call of its library.
#pragma once

#include "OutputWindow.h"

namespace tarrow {

// What one call of a library's decoder took and gave.
struct CodecStep {
    size_t consumed = 0;
    size_t produced = 0;
    DecodeStatus status = DecodeStatus::Ok;
    bool ended = false;  // the compressed stream is complete
};

class StreamCodec {
public:
    virtual ~StreamCodec() = default;
    // False when the library could not set the decoder up (no memory).
    virtual bool ready() const { return true; }
    // Decodes from in into out (never empty); `last` says no data follows in.
    virtual CodecStep step(std::span<const uint8_t> in, std::span<uint8_t> out, bool last) = 0;
};

// Runs codec over the member's data into window (started by the caller). A codec that is not ready
// is NoMemory; a stream that stops making progress or breaks off before its end is a data error;
// data after the end is ignored.
DecodeStatus runCodec(StreamCodec& codec, ByteSource& source, OutputWindow& window);

}  // namespace tarrow
