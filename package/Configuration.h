// The settings written out as text, one "key=value" line per setting with the export names as keys.
#pragma once

#include <string>

namespace tarrow {

struct Settings;

std::string configurationText(const Settings& settings);
// Writes configurationText to path; false when the file cannot be created.
bool saveConfiguration(const Settings& settings, const std::string& path);

}  // namespace tarrow
