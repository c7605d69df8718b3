// Selecting members by name: wildcard patterns ("*", "?", "[a-z]", "[!...]", "\" quoting), matched
// without regard to letter case, and the pattern lists built from "|"-separated strings and list
// files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarrow {

constexpr size_t kMaxPatternLength = 1023;
constexpr size_t kMaxListLineLength = 2047;

// Does `pattern` select the member `name`? With `base` set, a pattern without "/" is matched
// against the part of the name after its last "/" only. Patterns longer than 1023 characters are
// cut to that length.
bool matchName(std::string_view pattern, std::string_view name, bool base);

// Appends the non-empty pieces of a "|"-separated pattern string.
void addPatterns(std::vector<std::string>& list, std::string_view patterns);
// Appends the patterns of a list file: one per line, ";" starts a comment, carriage returns are
// ignored, blanks count, lines are cut at 2047 characters. A file that cannot be opened adds none.
void addListFile(std::vector<std::string>& list, const std::string& path);

// Some include pattern matches and no exclude pattern does.
bool isSelected(const std::vector<std::string>& include, const std::vector<std::string>& exclude, std::string_view name,
                bool base);

}  // namespace tarrow
