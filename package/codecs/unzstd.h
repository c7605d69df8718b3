// The zstd method (93, and 20 where early writers used that number) through libzstd: one or more
// frames, their checksums verified by the library.
#pragma once

#include "OutputWindow.h"

namespace tarrow {

// The largest window a frame may ask for (as a power of two); larger frames are refused as damaged.
constexpr int kZstdWindowLogMax = 27;

// Decodes the member's frames from source into window (started by the caller).
DecodeStatus unzstd(ByteSource& source, OutputWindow& window, int windowLogMax = kZstdWindowLogMax);

}  // namespace tarrow
