// One member's data through the decoder of its method: the dispatch that listing-free readers (the
// extraction pass and the archive handles) share. It reports the decoder's outcome as it is; what
// that outcome means for the member (a warning, an error value) is the caller's to decide.
#pragma once

#include "OutputWindow.h"

#include <cstdint>

namespace tarrow {

constexpr uint16_t kFlagLzmaEndMarker = 2;

// What a decoder needs of a member besides its data.
struct MethodParams {
    uint16_t method = 0;  // the data's method (for an AES member, the one its 0x9901 field names)
    uint16_t flags = 0;
    uint64_t compressedSize = 0;  // of the data the decoder reads
};

bool supportedMethod(uint16_t method);

// Decodes the member's data from source into out, at most `limit` bytes, through this thread's
// window and inflater. Stored and shrunk data that runs past `limit` reports TooLong.
DecodeStatus decodeMethod(const MethodParams& member, ByteSource& source, OutputSink& out, uint64_t limit);

}  // namespace tarrow
