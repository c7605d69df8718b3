// The LZMA method (14) through liblzma: a 4-byte header (the encoder's version, the size of the
// properties), the 5 properties bytes (lc/lp/pb, dictionary size), then the raw LZMA stream, which
// ends with an end-of-stream marker when the member's general-purpose bit 1 says so and otherwise
// at the member's declared size.
#pragma once

#include "OutputWindow.h"

namespace tarrow {

// Largest dictionary (or, for xz, decoder memory) a member may ask for; beyond it the member is
// refused as damaged rather than allocated.
constexpr uint64_t kMaxDecoderMemory = uint64_t(256) << 20;

struct LzmaMember {
    uint64_t size = 0;       // declared uncompressed size
    bool endMarker = false;  // general-purpose bit 1: the stream ends with the marker
};

// Decodes one member from source into window (started by the caller).
DecodeStatus unlzma(ByteSource& source, OutputWindow& window, const LzmaMember& member);

}  // namespace tarrow
