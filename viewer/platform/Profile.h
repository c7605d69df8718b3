// The profile (INI file) reader behind ReadIniValue, with the Windows reader's behaviour: sections
// and keys match without regard to case, blanks around keys and values are dropped, lines starting
// with ";" are comments, and a value is cut to 2047 characters.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veltrane {

// The longest value the reader returns (its buffer holds 2048 characters with the terminator).
constexpr std::size_t kProfileValueMax = 2047;
// Profiles are small; a bigger file is read only up to here.
constexpr std::size_t kMaxProfileBytes = std::size_t(16) << 20;

// The text of the profile at path, its first kMaxProfileBytes; nullopt unless path is a regular
// file (or a link to one) that opens.
std::optional<std::string> ReadProfileText(const std::string& path);

std::string GetPrivateProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                                    const std::string& path);

// The same lookup over the text of a profile already in memory.
std::string GetProfileStringFromText(std::string_view text, const std::string& section, const std::string& key,
                                     const std::string& defaultValue);

}  // namespace veltrane
