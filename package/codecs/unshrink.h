// Decoder of the shrunk method: LZW with codes of 9 to 13 bits whose size the compressor raises, and
// partial clearing, which frees the leaves of the code tree for reuse.
#pragma once

#include "decode_io.h"

namespace tarrow {

// Output is handed on in blocks of this size, and at the end of the data.
constexpr size_t kUnshrinkBlock = 0xFF80;

// Decodes one member into sink, at most limit bytes. The method carries no check of its own: DataError
// means the code stream became impossible to follow, and decoding stopped there.
DecodeStatus unshrink(ByteSource& source, OutputSink& sink, uint64_t limit);

}  // namespace tarrow
