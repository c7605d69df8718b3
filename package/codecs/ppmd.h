// Decoder of ZIP method 98: PPMd, variant I revision 1. The data starts with two bytes (little-endian):
// model order minus one (4 bits), memory size in MB minus one (8 bits), restoration method (4 bits).
#pragma once

#include "OutputWindow.h"

namespace tarrow {

// Decodes one member of `size` bytes into window, which the caller has started for it. BadInput: the
// header names an order below 2 or a restoration method other than restart (0) and cut-off (1);
// NoMemory: the model's memory (up to 256 MB, reserved lazily) is not there; DataError: the stream is
// damaged or ends before `size` bytes.
DecodeStatus unppmd(ByteSource& source, OutputWindow& window, uint64_t size);

}  // namespace tarrow
