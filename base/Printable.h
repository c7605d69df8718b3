// Text from file names, member names and comments made safe to print on a terminal.
#pragma once

#include <string>

namespace veltrane::text {

// How a byte that is not well-formed UTF-8 is printed.
enum class InvalidBytes { Keep, Escape };

// The text with its control characters (C0, DEL and, when invalid bytes are escaped, C1) shown as
// \xNN escapes of their bytes, so that a name can neither break a line nor drive the terminal.
// keepLines leaves line feeds, returns and tabs alone. With InvalidBytes::Escape, bytes that are
// not part of a well-formed UTF-8 sequence are escaped too and valid sequences are kept as they are.
std::string Printable(const std::string& text, bool keepLines = false, InvalidBytes invalid = InvalidBytes::Escape);

}  // namespace veltrane::text
