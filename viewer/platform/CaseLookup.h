// Skins come from a case-insensitive file system: a name inside a folder resolves to the entry that
// matches without regard to ASCII case, an exact match preferred.
#pragma once

#include <string>
#include <string_view>

namespace veltrane {

// True when the two names differ at most in the case of ASCII letters.
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);

// folder ends with "/" or is empty (the current folder). Returns the full path of the matching
// entry, or folder + name when nothing matches (so a later open fails as the missing file would).
std::string ResolveCaseInsensitive(const std::string& folder, const std::string& name);

}  // namespace veltrane
