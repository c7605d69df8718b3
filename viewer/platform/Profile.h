// The profile (INI file) reader behind ReadIniValue, with the Windows reader's behaviour: sections
// and keys match without regard to case, blanks around keys and values are dropped, lines starting
// with ";" are comments, and a value is cut to 2047 characters.
#pragma once

#include <string>
#include <string_view>

namespace veltrane {

// The longest value the reader returns (its buffer holds 2048 characters with the terminator).
constexpr std::size_t kProfileValueMax = 2047;

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path);

// The same lookup over the text of a profile already in memory.
std::string GetProfileStringFromText(std::string_view text, const std::string& section, const std::string& key,
                                     const std::string& defaultValue);

}  // namespace veltrane
