// Skins come from a case-insensitive file system: a name inside a folder resolves to the entry that
// matches without regard to ASCII case, an exact match preferred.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrane {

// True when the two names differ at most in the case of ASCII letters.
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);

// folder ends with "/" or is empty (the current folder). Returns the full path of the matching
// entry, or folder + name when nothing matches (so a later open fails as the missing file would).
std::string ResolveCaseInsensitive(const std::string& folder, const std::string& name);

// Whole paths of files about to be written, resolved as a case-insensitive file system would: each
// component is the entry that exists under that exact name, else one that differs only in ASCII
// case, else the component as given, which from then on counts as there (it is about to be made).
// Written through it, "Skin/Main.bmp" after "skin/MAIN.BMP" replaces that file instead of lying
// beside it. A folder is listed at most once, so thousands of members cost no more than their
// files; paths must only be written through one object while it lives.
class CaseInsensitivePaths {
public:
    // A trailing "/" is kept; "//" and a leading "/" as well.
    std::string Resolve(const std::string& path);

private:
    // The names in folder as listed once, plus those resolved into it since.
    std::vector<std::string>& Listing(const std::string& folder);

    std::vector<std::pair<std::string, std::vector<std::string>>> m_folders;
};

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
