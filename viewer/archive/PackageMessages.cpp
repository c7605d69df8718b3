#include "archive/PackageMessages.h"

#include "base/PackageMessages.h"

namespace veltrane {

std::optional<ListedMember> ParseListingMessage(std::string_view text, std::string_view archive) {
    const auto fields = ListingMessageFields(text, archive);
    if (!fields || (*fields)[0] != archive) return std::nullopt;
    const std::string& folder = (*fields)[1];
    const std::string& file = (*fields)[2];
    // A member with the folder attribute comes as its whole name with an empty file part.
    std::string name = folder.empty() ? file : file.empty() ? folder : folder + "/" + file;
    if (file.empty() && !name.empty() && name.back() != '/') name += '/';
    return ListedMember{std::move(name), *MessageNumber((*fields)[3])};
}

std::optional<ProgressFields> ParseProgressMessage(std::string_view text) {
    // ...|size|bytes done|per cent|selected|index|compressed total|compressed read|
    if (text.empty() || text.back() != '|') return std::nullopt;
    const std::vector<std::string> fields = SplitAroundName(text, {}, 7);
    if (fields.size() != 9) return std::nullopt;
    const auto size = MessageNumber(fields[2]), done = MessageNumber(fields[3]), index = MessageNumber(fields[6]);
    if (!size || !done || !index) return std::nullopt;
    return ProgressFields{*size, *done, *index};
}

}  // namespace veltrane
