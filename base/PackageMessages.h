// The one reader of the archive library's messages, for every host of ours (the viewer, tarrow,
// veltrane-preview). A message text is "|"-separated fields, most ending with a "|"; member names
// are not escaped, so a name may itself hold "|", and every reading here takes that into account:
// numbers are found from the end of the text or by their form, never by counting bars from the start.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane {

// Splits text at "|". With fields > 0 the last field keeps every "|" after the first fields - 1.
std::vector<std::string> SplitMessageFields(std::string_view text, std::size_t fields = 0);

// The fields of a message that starts with the archive's path and ends with `numbers` fields:
// {archive, name, numbers...}, the name between them keeping any "|" it holds; a bar that ends the
// text ends its last field. The archive is taken to end where `archive` does when the text starts
// with it and a "|" (its path may hold bars), else at the first "|". Fewer numbers when the text
// has fewer fields; just {text} when it has no "|".
std::vector<std::string> SplitAroundName(std::string_view text, std::string_view archive, std::size_t numbers);

// The 18 fields of a listing message (message 21): archive, folder, file, uncompressed size,
// compressed size, ratio, date, time, attributes, method, encrypted, CRC, text flag, version made
// by, version needed, extra block ID, extra block size, extra data. The folder is the name up to
// its first "|", the file the rest up to where the 14 fixed fields fit by their form; where they
// fit at several places (a name that holds fields), the reading with the largest size is taken, so
// that a name can make a size read larger than it is, never smaller. Nothing when they fit nowhere.
std::optional<std::vector<std::string>> ListingMessageFields(std::string_view text, std::string_view archive);

// Decimal digits as an unsigned number, saturating at the largest; nothing when empty or not all digits.
std::optional<unsigned long long> MessageNumber(std::string_view digits);

}  // namespace veltrane
