// The list-file parser and the "|"-separated pattern strings over arbitrary text. Every pattern
// they keep is non-empty, within the pattern length, and free of the characters that separate or
// comment; the patterns then select names without trouble.
#include "NameMatch.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

const std::string& ListPath() {
    static const std::string path = [] {
        char name[] = "/tmp/fuzz-listfile-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0) std::abort();
        close(fd);
        return std::string(name);
    }();
    return path;
}

void CheckPatterns(const std::vector<std::string>& list, std::string_view forbidden) {
    for (const std::string& pattern : list)
        if (pattern.empty() || pattern.size() > tarrow::kMaxPatternLength ||
            pattern.find_first_of(forbidden) != std::string::npos)
            std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(ListPath().c_str(), "wb");
    if (!file) std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    std::vector<std::string> include;
    tarrow::addListFile(include, ListPath());
    CheckPatterns(include, std::string_view("\n\r;\\", 4));

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> exclude;
    tarrow::addPatterns(exclude, text);
    CheckPatterns(exclude, "|\\");

    for (const char* name : {"main.bmp", "skin/Main.BMP", "a/b/c.txt", ""})
        tarrow::isSelected(include, exclude, name, true);
    return 0;
}
