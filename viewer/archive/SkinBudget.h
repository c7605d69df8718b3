// The budget every skin archive is held to before anything of it is unpacked: what its catalogue
// declares, in total bytes, in members and in folder levels. The library stops every member at its declared size, so
// the declared total bounds what an unpacked skin can write. The largest real skin we know unpacks
// to 4.8 MB in some fifty members; a hostile archive (a few megabytes holding gigabytes of zeros,
// or thousands of entries) is refused with a reason instead of being written to the temporary
// folder, which for the batch tool is memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace veltrane {

// 64 MiB: over ten times the largest real skin, and still small beside the memory a temporary
// folder in RAM can spare for one skin per worker.
inline constexpr uint64_t kSkinUnpackedLimit = uint64_t(64) << 20;
// 256 members: five times the fullest real skin (49 members, cursors and texts included). Every
// member costs a file created, listed and deleted, whatever its size: a thousand take a second on
// a busy disk.
inline constexpr std::size_t kSkinMemberLimit = 256;
// 16 folder levels: real skins sit at most a few folders down; every level costs a folder made,
// walked and removed for each member below it, which on a disk takes seconds for a few hundred.
inline constexpr std::size_t kSkinFolderDepthLimit = 16;

// One member as a catalogue declares it: its stored name and its uncompressed size.
struct SkinArchiveEntry {
    std::string name;
    uint64_t size = 0;
};

struct SkinBudgetVerdict {
    bool withinBudget = true;
    uint64_t declaredTotal = 0;  // saturates at UINT64_MAX
    std::size_t members = 0;
    std::size_t folderDepth = 0;  // folders above the deepest member (a folder entry counts itself)
    std::string reason;           // empty within budget, else a sentence for the user
};

// Holds the entries to the three limits. Names separate folders by "/" or "\\". Reasons read, for instance,
// "declares 2.0 GiB unpacked, more than the 64 MiB a skin may hold".
SkinBudgetVerdict CheckSkinBudget(std::span<const SkinArchiveEntry> entries);

// A byte count for people: "512 bytes", "4.8 MiB", "2.0 GiB" (one decimal from KiB upwards).
std::string DescribeByteCount(uint64_t bytes);

}  // namespace veltrane
