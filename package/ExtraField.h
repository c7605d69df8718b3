// The blocks of a header's extra field that the catalogue reads: the zip64 extended information
// (0x0001), the Unicode path and comment fields (0x7075, 0x6375) and the modification time of the
// NTFS and extended-timestamp fields (0x000a, 0x5455).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace tarrow {

constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint16_t kNtfsExtraId = 0x000a;
constexpr uint16_t kTimestampExtraId = 0x5455;
constexpr uint16_t kUnicodeCommentId = 0x6375;
constexpr uint16_t kUnicodePathId = 0x7075;

constexpr uint32_t kSaturated32 = 0xFFFFFFFF;
constexpr uint16_t kSaturated16 = 0xFFFF;

// The data of the first block with this header ID. A block whose stated size runs past the end of
// the field ends the search: what follows it cannot be told apart from its data.
std::optional<std::span<const uint8_t>> findExtraBlock(std::span<const uint8_t> extra, uint16_t id);

// The values a zip64 block may replace. Only the fields whose 16- or 32-bit value is saturated are
// present in the block, in this order; a field the block is too short for keeps its value.
struct Zip64Fields {
    uint64_t uncompressedSize = 0;
    uint64_t compressedSize = 0;
    uint64_t localHeaderOffset = 0;
    uint32_t disk = 0;
};

// Central directory header: replaces each saturated value by the block's.
void applyZip64Central(std::span<const uint8_t> extra, Zip64Fields& fields);
// Local header: the block holds both sizes whenever one of them is saturated (writers that follow
// the central rule and write only the saturated one are read too).
void applyZip64Local(std::span<const uint8_t> extra, uint64_t& uncompressedSize, uint64_t& compressedSize);

// The modification time the extra field states, in seconds since 1970 (UTC): that of an NTFS field
// (tag 1, 100-ns ticks since 1601) first, as it has the finer grain and the wider range, else that of
// an extended-timestamp field (flag bit 0, 32-bit seconds). A field too short for what it announces,
// or an NTFS time of 0 (not set), states nothing. The extended timestamp is defined as signed, yet
// writers store times past January 2038 as unsigned: with its top bit set it is read as a time from
// 2038 to 2106 unless the member's DOS date (dosDate) is a valid one before 2038, which tells of a
// time before 1970.
std::optional<int64_t> extraFieldTime(std::span<const uint8_t> extra, uint16_t dosDate);

}  // namespace tarrow
