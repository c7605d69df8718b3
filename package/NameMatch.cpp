#include "NameMatch.h"

#include "NameText.h"

#include <algorithm>
#include <cstdio>

namespace tarrow {
namespace {

enum class Match { No, Yes, Abort };

// Names and patterns are matched character by character (UTF-8 decoded); letter case is ignored for
// the Latin, Greek and Cyrillic capitals that have a single small letter.
char32_t lower(char32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x178 && c != 0x17F)
        return (c >= 0x139 && c <= 0x148) || c >= 0x179 ? ((c & 1) ? c + 1 : c) : (c | 1);
    return c;
}

// Matches one character against the set that starts after "[" at p; on return p is past the "]".
// An unterminated set matches nothing.
bool matchSet(std::u32string_view pat, size_t& p, char32_t c, bool& valid) {
    bool negate = p < pat.size() && (pat[p] == '!' || pat[p] == '^');
    if (negate) ++p;
    bool found = false;
    bool first = true;
    while (p < pat.size() && (pat[p] != ']' || first)) {
        first = false;
        char32_t low = pat[p];
        if (low == '\\' && p + 1 < pat.size()) low = pat[++p];
        ++p;
        char32_t high = low;
        if (p + 1 < pat.size() && pat[p] == '-' && pat[p + 1] != ']') {
            ++p;  // past the "-"
            if (pat[p] == '\\' && p + 1 < pat.size()) ++p;
            high = pat[p++];
        }
        if (lower(c) >= lower(low) && lower(c) <= lower(high)) found = true;
    }
    valid = p < pat.size();
    if (valid) ++p;  // the "]"
    return found != negate;
}

// Classic wildcard match. A "*" that finds no position for the rest of the pattern answers Abort:
// no later start of an earlier "*" can succeed either, which keeps the match polynomial.
Match wildcard(std::u32string_view pat, size_t p, std::u32string_view text, size_t t) {
    for (; p < pat.size(); ++p, ++t) {
        char32_t pc = pat[p];
        if (pc == '*') {
            while (p < pat.size() && pat[p] == '*') ++p;
            if (p == pat.size()) return Match::Yes;
            for (; t <= text.size(); ++t) {
                Match m = wildcard(pat, p, text, t);
                if (m != Match::No) return m;
            }
            return Match::Abort;
        }
        if (t >= text.size()) return Match::Abort;
        if (pc == '?') continue;
        if (pc == '[') {
            size_t q = p + 1;
            bool valid = false;
            if (!matchSet(pat, q, text[t], valid) || !valid) return Match::No;
            p = q - 1;
            continue;
        }
        if (pc == '\\' && p + 1 < pat.size()) pc = pat[++p];
        if (lower(pc) != lower(text[t])) return Match::No;
    }
    return t == text.size() ? Match::Yes : Match::No;
}

void addPattern(std::vector<std::string>& list, std::string_view piece) {
    if (piece.empty()) return;
    std::string pattern(piece.substr(0, kMaxPatternLength));
    std::replace(pattern.begin(), pattern.end(), '\\', '/');
    list.push_back(std::move(pattern));
}

}  // namespace

bool matchName(std::string_view pattern, std::string_view name, bool base) {
    pattern = pattern.substr(0, std::min(pattern.size(), kMaxPatternLength));
    if (base && pattern.find('/') == std::string_view::npos) {
        if (size_t slash = name.rfind('/'); slash != std::string_view::npos) name = name.substr(slash + 1);
    }
    auto endsWith = [&](std::string_view end) {
        return pattern.size() >= end.size() && pattern.substr(pattern.size() - end.size()) == end;
    };
    // DOS conventions: "*.*" means every name, "*." means names without an extension.
    if (endsWith("*.*")) {
        pattern.remove_suffix(2);
    } else if (endsWith("*.")) {
        if (name.find('.') != std::string_view::npos) return false;
        pattern.remove_suffix(1);
    }
    const std::u32string p = codePoints(pattern), n = codePoints(name);
    return wildcard(p, 0, n, 0) == Match::Yes;
}

void addPatterns(std::vector<std::string>& list, std::string_view patterns) {
    size_t start = 0;
    while (start <= patterns.size()) {
        size_t bar = patterns.find('|', start);
        if (bar == std::string_view::npos) bar = patterns.size();
        addPattern(list, patterns.substr(start, bar - start));
        start = bar + 1;
    }
}

void addListFile(std::vector<std::string>& list, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return;
    std::string pattern;
    size_t lineLength = 0;
    bool comment = false;
    auto endLine = [&] {
        addPattern(list, pattern);
        pattern.clear();
        lineLength = 0;
        comment = false;
    };
    for (int c; (c = std::fgetc(file)) != EOF;) {
        if (c == '\n') {
            endLine();
            continue;
        }
        if (++lineLength > kMaxListLineLength || comment || c == '\r') continue;
        if (c == ';') {
            comment = true;
            continue;
        }
        pattern += char(c);
    }
    endLine();
    std::fclose(file);
}

bool isSelected(const std::vector<std::string>& include, const std::vector<std::string>& exclude, std::string_view name,
                bool base) {
    auto matches = [&](const std::string& p) { return matchName(p, name, base); };
    return std::any_of(include.begin(), include.end(), matches) &&
           std::none_of(exclude.begin(), exclude.end(), matches);
}

}  // namespace tarrow
