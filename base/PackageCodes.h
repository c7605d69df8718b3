// The archive library's error and warning codes in words: one table for every host of ours, so
// that tarrow, veltrane-preview and the viewer give the same reason for the same code.
#pragma once

#include <string>

namespace veltrane {

// What an error code of the library means ("error N" for a code it does not have).
std::string PackageErrorText(int code);

// What a warning code of the library means ("warning N" for a code it does not have).
std::string PackageWarningText(int code);

}  // namespace veltrane
