// The profile (INI file) reader behind ReadIniValue, with the Windows reader's behaviour: sections
// and keys match without regard to case, blanks around keys and values are dropped, lines starting
// with ";" are comments, and a value is cut to 2047 characters.
#pragma once

#include <string>

namespace veltrane {

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path);

}  // namespace veltrane
