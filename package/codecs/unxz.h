// The xz method (95) through liblzma: one xz stream, its integrity check verified by the library.
#pragma once

#include "OutputWindow.h"

namespace tarrow {

// Decodes one xz stream from source into window (started by the caller). A stream that needs more
// decoder memory than memoryLimit is refused as damaged.
DecodeStatus unxz(ByteSource& source, OutputWindow& window, uint64_t memoryLimit);

}  // namespace tarrow
