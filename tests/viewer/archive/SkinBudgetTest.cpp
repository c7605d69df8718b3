// The skin budget over declared catalogue entries: the limits hold at their edges, sums that would
// wrap around stay over the limit, and the reasons name the figures.
#include "archive/SkinBudget.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

using namespace veltrane;

namespace {

std::vector<SkinArchiveEntry> Members(std::size_t count, uint64_t size) {
    std::vector<SkinArchiveEntry> entries;
    for (std::size_t i = 0; i < count; ++i) entries.push_back({"m" + std::to_string(i) + ".bmp", size});
    return entries;
}

}  // namespace

TEST(SkinBudget, LimitsHoldAtTheirEdges) {
    EXPECT_TRUE(CheckSkinBudget(Members(0, 0)).withinBudget);
    EXPECT_TRUE(CheckSkinBudget(Members(1, kSkinUnpackedLimit)).withinBudget);
    EXPECT_FALSE(CheckSkinBudget(Members(1, kSkinUnpackedLimit + 1)).withinBudget);
    // The total counts, not the largest member.
    EXPECT_TRUE(CheckSkinBudget(Members(64, 1 << 20)).withinBudget);
    EXPECT_FALSE(CheckSkinBudget(Members(65, 1 << 20)).withinBudget);
    EXPECT_TRUE(CheckSkinBudget(Members(kSkinMemberLimit, 0)).withinBudget);
    const SkinBudgetVerdict many = CheckSkinBudget(Members(kSkinMemberLimit + 1, 0));
    EXPECT_FALSE(many.withinBudget);
    EXPECT_EQ(many.members, kSkinMemberLimit + 1);
    EXPECT_EQ(many.reason, "holds 257 members, more than the 256 a skin may have");
}

TEST(SkinBudget, FolderDepthCountsTheFoldersAboveEachMember) {
    const auto depth = [](std::string name) {
        return CheckSkinBudget(std::vector<SkinArchiveEntry>{{std::move(name), 1}}).folderDepth;
    };
    EXPECT_EQ(depth("main.bmp"), 0u);
    EXPECT_EQ(depth("skin/main.bmp"), 1u);
    EXPECT_EQ(depth("skin/"), 1u);
    EXPECT_EQ(depth("a\\b/c//main.bmp"), 3u);  // either separator, empty components ignored
    std::string name;
    for (std::size_t i = 0; i < kSkinFolderDepthLimit; ++i) name += "d/";
    EXPECT_TRUE(CheckSkinBudget(std::vector<SkinArchiveEntry>{{name + "main.bmp", 1}}).withinBudget);
    const SkinBudgetVerdict deep = CheckSkinBudget(std::vector<SkinArchiveEntry>{{name + "d/main.bmp", 1}});
    EXPECT_FALSE(deep.withinBudget);
    EXPECT_EQ(deep.reason, "nests folders 17 deep, more than the 16 a skin may have");
}

TEST(SkinBudget, ASumThatWouldWrapAroundSaturates) {
    const uint64_t huge = std::numeric_limits<uint64_t>::max() / 2 + 2;
    // Wrapped, these would add up to 2 bytes.
    const SkinBudgetVerdict verdict = CheckSkinBudget(std::vector<SkinArchiveEntry>{{"a", huge}, {"b", huge}});
    EXPECT_FALSE(verdict.withinBudget);
    EXPECT_EQ(verdict.declaredTotal, std::numeric_limits<uint64_t>::max());
}

TEST(SkinBudget, ReasonsNameTheDeclaredSize) {
    const std::vector<SkinArchiveEntry> bomb{{"main.bmp", 100000}, {"zeros.bin", uint64_t(2) << 30}};
    const SkinBudgetVerdict verdict = CheckSkinBudget(bomb);
    EXPECT_EQ(verdict.reason, "declares 2.0 GiB unpacked, more than the 64 MiB a skin may hold");
    EXPECT_EQ(verdict.declaredTotal, (uint64_t(2) << 30) + 100000);
    EXPECT_EQ(CheckSkinBudget(std::span(bomb.data(), 1)).reason, "");

    EXPECT_EQ(DescribeByteCount(0), "0 bytes");
    EXPECT_EQ(DescribeByteCount(1), "1 byte");
    EXPECT_EQ(DescribeByteCount(1023), "1023 bytes");
    EXPECT_EQ(DescribeByteCount(1024), "1.0 KiB");
    EXPECT_EQ(DescribeByteCount(5033165), "4.8 MiB");
    EXPECT_EQ(DescribeByteCount(std::numeric_limits<uint64_t>::max()), "16.0 EiB");
}
