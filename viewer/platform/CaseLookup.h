// Skins come from a case-insensitive file system: a name inside a folder resolves to the entry that
// matches without regard to ASCII case, an exact match preferred.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veltrane {

// True when the two names differ at most in the case of ASCII letters.
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);

// folder ends with "/" or is empty (the current folder). Returns the full path of the matching
// entry, or folder + name when nothing matches (so a later open fails as the missing file would).
std::string ResolveCaseInsensitive(const std::string& folder, const std::string& name);

// A whole path resolved component by component, each as ResolveCaseInsensitive resolves it in the
// folder resolved before it; a trailing "/" is kept. Components that match nothing stay as given.
// Files written through it behave as on a case-insensitive file system: "Skin/Main.bmp" written
// after "skin/MAIN.BMP" replaces that file instead of lying beside it.
std::string ResolvePathCaseInsensitive(const std::string& path);

// One listing of a folder answering many lookups, for code that resolves a dozen names in the same
// folder at once (loading a skin). Resolve gives the answers ResolveCaseInsensitive gives for the
// folder as it was when listed. A folder that cannot be listed resolves every name as asked.
class CaseInsensitiveFolder {
public:
    explicit CaseInsensitiveFolder(const std::string& folder);
    std::string Resolve(const std::string& name) const;

private:
    std::string m_folder;
    bool m_listed = false;
    std::vector<std::string> m_names;  // sorted, so the first match in case is the smallest
};

}  // namespace veltrane
