#include "ExtraField.h"

#include "ArchiveInput.h"

namespace tarrow {

std::optional<std::span<const uint8_t>> findExtraBlock(std::span<const uint8_t> extra, uint16_t id) {
    size_t at = 0;
    while (extra.size() - at >= 4) {
        const uint16_t blockId = le16(extra.data() + at);
        const size_t size = le16(extra.data() + at + 2);
        if (size > extra.size() - at - 4) return std::nullopt;
        if (blockId == id) return extra.subspan(at + 4, size);
        at += 4 + size;
    }
    return std::nullopt;
}

namespace {

// Reads the next 8-byte value of the block into value when the block still holds one.
void take64(std::span<const uint8_t> block, size_t& at, uint64_t& value) {
    if (block.size() - at < 8) return;
    value = le64(block.data() + at);
    at += 8;
}

}  // namespace

void applyZip64Central(std::span<const uint8_t> extra, Zip64Fields& f) {
    auto block = findExtraBlock(extra, kZip64ExtraId);
    if (!block) return;
    size_t at = 0;
    if (f.uncompressedSize == kSaturated32) take64(*block, at, f.uncompressedSize);
    if (f.compressedSize == kSaturated32) take64(*block, at, f.compressedSize);
    if (f.localHeaderOffset == kSaturated32) take64(*block, at, f.localHeaderOffset);
    if (f.disk == kSaturated16 && block->size() - at >= 4) f.disk = le32(block->data() + at);
}

void applyZip64Local(std::span<const uint8_t> extra, uint64_t& uncompressedSize, uint64_t& compressedSize) {
    if (uncompressedSize != kSaturated32 && compressedSize != kSaturated32) return;
    auto block = findExtraBlock(extra, kZip64ExtraId);
    if (!block) return;
    if (block->size() >= 16) {
        uncompressedSize = le64(block->data());
        compressedSize = le64(block->data() + 8);
        return;
    }
    Zip64Fields f{uncompressedSize, compressedSize, 0, 0};
    applyZip64Central(extra, f);
    uncompressedSize = f.uncompressedSize;
    compressedSize = f.compressedSize;
}

namespace {

constexpr uint16_t kNtfsTimesTag = 1;
constexpr uint16_t kNtfsTimesSize = 24;  // modification, access and creation time
constexpr uint64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;

std::optional<int64_t> ntfsTime(std::span<const uint8_t> block) {
    // Four reserved bytes, then tagged attributes.
    size_t at = 4;
    while (block.size() >= at && block.size() - at >= 4) {
        const uint16_t tag = le16(block.data() + at), size = le16(block.data() + at + 2);
        at += 4;
        if (size > block.size() - at) return std::nullopt;
        if (tag == kNtfsTimesTag) {
            if (size != kNtfsTimesSize) return std::nullopt;
            const uint64_t ticks = le64(block.data() + at);
            if (ticks == 0) return std::nullopt;
            return int64_t(ticks / kTicksPerSecond) - kSecondsFrom1601To1970;
        }
        at += size;
    }
    return std::nullopt;
}

// Whether a DOS date is a valid one before 2038.
bool dosDateBefore2038(uint16_t dosDate) {
    const unsigned year = 1980 + (dosDate >> 9), month = (dosDate >> 5) & 15, day = dosDate & 31;
    return year < 2038 && month >= 1 && month <= 12 && day >= 1;
}

std::optional<int64_t> extendedTime(std::span<const uint8_t> block, uint16_t dosDate) {
    // A flags byte; bit 0 announces the modification time, which comes first.
    if (block.size() < 5 || !(block[0] & 1)) return std::nullopt;
    const uint32_t seconds = le32(block.data() + 1);
    return dosDateBefore2038(dosDate) ? int64_t(int32_t(seconds)) : int64_t(seconds);
}

}  // namespace

std::optional<int64_t> extraFieldTime(std::span<const uint8_t> extra, uint16_t dosDate) {
    if (auto block = findExtraBlock(extra, kNtfsExtraId))
        if (auto when = ntfsTime(*block)) return when;
    if (auto block = findExtraBlock(extra, kTimestampExtraId)) return extendedTime(*block, dosDate);
    return std::nullopt;
}

}  // namespace tarrow
