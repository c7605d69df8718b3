// The stored method: the member's bytes are its content, copied through the window in 32 KB blocks.
#pragma once

#include "OutputWindow.h"

namespace tarrow {

// Copies source into window (started by the caller); TooLong when the data exceeds the declared size.
DecodeStatus copyStored(ByteSource& source, OutputWindow& window);

}  // namespace tarrow
