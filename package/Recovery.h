// Recovery of an archive whose end record or central directory is missing or damaged: its members
// are found by walking the local headers from the start of the archive, each member's data running
// to where the next header begins.
#pragma once

#include "ArchiveCore.h"
#include "Operation.h"

#include <string>
#include <vector>

namespace tarrow {
class CodePage;
}  // namespace tarrow

namespace tarrow::core {

// A member found by the walk.
struct LocalMember {
    // A central header made from the local header, with the CRC and sizes of the data descriptor
    // where the member has one; its host is unknown and taken as MS-DOS unless the name is UTF-8.
    CentralHeader header;
    uint64_t dataOffset = 0;
    std::string damage;  // why its data cannot be read (the archive ends inside it); empty when whole
};

// Walks the local headers of source from its start (after a spanning marker). A member's data ends
// where its local header's sizes say; with a data descriptor and no sizes, at the first descriptor
// (with or without its signature, 32- or 64-bit sizes) whose sizes, and CRC-32 where it can be
// computed, match the data before it. The walk ends cleanly at a central directory header, an end
// record or the end of the source, and ends at the first header it cannot read; a member whose data
// the source does not hold whole ends it too, as the last member, with its damage said. Time and
// memory grow linearly with the source.
// Names without the UTF-8 flag or a Unicode path field are read in codePage where it is given.
std::vector<LocalMember> walkLocalHeaders(const Source& source, const CodePage* codePage = nullptr);

}  // namespace tarrow::core
