#include "archive/SkinBudget.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace veltrane {

std::string DescribeByteCount(uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double value = double(bytes) / 1024;
    int unit = 0;
    while (value >= 1024 && unit < 5) value /= 1024, ++unit;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

namespace {

// The folders a member's name puts it in: "a/b/c.bmp" is two deep, the folder entry "a/b/" too.
std::size_t FolderDepth(const std::string& name) {
    std::size_t components = 0;
    bool inComponent = false;
    for (char c : name) {
        const bool separator = c == '/' || c == '\\';
        if (!separator && !inComponent) ++components;
        inComponent = !separator;
    }
    const bool folder = !name.empty() && (name.back() == '/' || name.back() == '\\');
    return folder || components == 0 ? components : components - 1;
}

}  // namespace

SkinBudgetVerdict CheckSkinBudget(std::span<const SkinArchiveEntry> entries) {
    SkinBudgetVerdict verdict;
    verdict.members = entries.size();
    constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
    for (const SkinArchiveEntry& entry : entries) {
        verdict.declaredTotal = entry.size > kMax - verdict.declaredTotal ? kMax : verdict.declaredTotal + entry.size;
        verdict.folderDepth = std::max(verdict.folderDepth, FolderDepth(entry.name));
    }
    if (verdict.members > kSkinMemberLimit) {
        verdict.withinBudget = false;
        verdict.reason = "holds " + std::to_string(verdict.members) + " members, more than the " +
                         std::to_string(kSkinMemberLimit) + " a skin may have";
    } else if (verdict.declaredTotal > kSkinUnpackedLimit) {
        verdict.withinBudget = false;
        verdict.reason = "declares " + DescribeByteCount(verdict.declaredTotal) + " unpacked, more than the " +
                         std::to_string(kSkinUnpackedLimit >> 20) + " MiB a skin may hold";
    } else if (verdict.folderDepth > kSkinFolderDepthLimit) {
        verdict.withinBudget = false;
        verdict.reason = "nests folders " + std::to_string(verdict.folderDepth) + " deep, more than the " +
                         std::to_string(kSkinFolderDepthLimit) + " a skin may have";
    }
    return verdict;
}

}  // namespace veltrane
