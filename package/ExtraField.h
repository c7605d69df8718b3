// The blocks of a header's extra field that the catalogue reads: the zip64 extended information
// (0x0001) and the Unicode path and comment fields (0x7075, 0x6375).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace tarrow {

constexpr uint16_t kZip64ExtraId = 0x0001;
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

}  // namespace tarrow
