// Decoder of the imploded method: a 4 KB or 8 KB sliding dictionary whose literals, lengths and
// distances are coded with two or three Shannon-Fano trees sent at the start of the data.
#pragma once

#include "OutputWindow.h"

namespace tarrow {

struct ExplodeParams {
    uint16_t flags = 0;           // general-purpose flags: bit 1 = 8 KB dictionary, bit 2 = literal tree
    uint64_t size = 0;            // declared uncompressed size: decoding stops when it is reached
    uint64_t compressedSize = 0;  // decides the distance tree's lookup width
};

// Decodes one member into window, which the caller has started for it. InputUnused and InputOverrun
// report data that did not match the compressed size; the output is complete in the first case.
DecodeStatus explode(ByteSource& source, OutputWindow& window, const ExplodeParams& params);

}  // namespace tarrow
