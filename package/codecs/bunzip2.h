// The bzip2 method (12) through libbz2. Its memory is bounded by the format: at most 900 kB blocks.
#pragma once

#include "OutputWindow.h"

namespace tarrow {

// Decodes one bzip2 stream from source into window (started by the caller).
DecodeStatus bunzip2(ByteSource& source, OutputWindow& window);

}  // namespace tarrow
