// tarrow l --json: one JSON object per line for each member, read through the handle interface,
// which decides each member's facts (damage included) once.
#pragma once

#include "tarrow.h"

#include <functional>
#include <ostream>
#include <string>

namespace tarrowcli {

// text as a JSON string literal (base/Json: any byte that is not UTF-8 written as U+FFFD); wasUtf8,
// when given, tells whether text was valid UTF-8.
std::string jsonString(const std::string& text, bool* wasUtf8 = nullptr);

// One member as a JSON object on one line (no line feed).
std::string jsonEntry(const tarrow_entry& entry);

// Writes a line for each member of the archive at path, opened with `options`, that `selected`
// accepts (by name), in the order of the central directory, and counts the damaged ones it wrote.
// False with `error` set when the archive cannot be read.
bool listJson(const std::string& path, const tarrow_open_options& options,
              const std::function<bool(const std::string&)>& selected, std::ostream& out, size_t& damaged,
              std::string& error);

}  // namespace tarrowcli
