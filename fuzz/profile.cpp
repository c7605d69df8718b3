// The profile reader over arbitrary text. The first line of the input names the section, the second
// the key; the rest is the profile. Values never exceed the reader's limit.
#include "platform/Profile.h"

#include <cstdlib>
#include <string_view>

using namespace veltrane;

namespace {

std::string_view TakeLine(std::string_view& text) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string section(TakeLine(text)), key(TakeLine(text));
    const std::string value = GetProfileStringFromText(text, section, key, "default");
    if (value.size() > kProfileValueMax) std::abort();
    // A key that was found gives the same value however its name is cased.
    std::string upper = key;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    if (GetProfileStringFromText(text, section, upper, "default") != value) std::abort();
    return 0;
}
