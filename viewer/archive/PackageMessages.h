// The fields of the archive library's messages that the viewer reads: one member of a listing
// (view mode) and the byte counts of a progress message. Messages are "|"-separated texts in which
// member names are not escaped, so a name may itself hold "|"; both readers are written so that
// such a name can make them overstate a size, never understate it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltrane {

struct ListedMember {
    std::string name;   // folder part and file name joined by "/" (a folder keeps its whole name)
    uint64_t size = 0;  // uncompressed size as the central directory declares it
};

// A listing message's text (after the library's 6-character prefix) for a member of archive, the
// name the library was given. Where "|" in a name allows more than one reading, the largest size
// read wins. Nothing when the text does not hold a listing of that archive (cut short, say).
std::optional<ListedMember> ParseListingMessage(std::string_view text, std::string_view archive);

struct ProgressFields {
    uint64_t memberSize = 0;   // the member's uncompressed size from its local header
    uint64_t bytesDone = 0;    // bytes output so far for this member
    uint64_t memberIndex = 0;  // 0-based in start and block messages, 1-based in done messages
};

// A progress message's text (extraction or test, started or done): the numeric fields after the
// member's name, read from the end of the text, where no name can reach.
std::optional<ProgressFields> ParseProgressMessage(std::string_view text);

}  // namespace veltrane
