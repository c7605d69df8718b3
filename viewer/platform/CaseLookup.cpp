#include "platform/CaseLookup.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace veltrane {

namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

}  // namespace

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::string ResolveCaseInsensitive(const std::string& folder, const std::string& name) {
    namespace fs = std::filesystem;
    const std::string exact = folder + name;
    std::error_code ec;
    if (name.empty() || fs::exists(fs::symlink_status(exact, ec))) return exact;

    // Of several entries differing only in case, the smallest name wins, so the answer is stable.
    std::string best;
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (EqualIgnoringAsciiCase(entry, name) && (best.empty() || entry < best)) best = entry;
    }
    return best.empty() ? exact : folder + best;
}

}  // namespace veltrane
