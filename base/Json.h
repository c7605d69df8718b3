// JSON string literals for text from strangers: member names, file names, skin texts. Besides what
// JSON requires, "<", ">", "&" and U+2028/U+2029 are written as \u escapes, so a literal cannot end a
// <script> element or open a comment when a page embeds it; bytes that are not UTF-8 become U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace veltrane::text {

// The literal of text, quotes included, appended to out.
void AppendJsonString(std::string& out, std::string_view text);
// The literal of text, quotes included.
std::string JsonString(std::string_view text);

}  // namespace veltrane::text
