// A member of just over 4 GiB (deflated zeros, a 4 MB archive made here): it lists and tests with
// its real size and CRC. Extracting it writes 4 GiB, so that test runs only with
// VELTRANE_BIG_TESTS=1 set and 10 GB free; its speed beside an ordinary archive of the same data is
// bench_zip64's job. Not in the sanitizer build (decoding 4 GiB there takes minutes).
#include "LibraryFixture.h"

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kBigSize = (uint64_t(4) << 30) + (uint64_t(3) << 20);  // just over 4 GiB

using Zip64BigTest = LibraryTest;

}  // namespace

TEST_F(Zip64BigTest, MemberBeyond4GiBListsAndTests) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "big-data test: not in the sanitizer build";
#endif
    const std::string big = path("big.zip");
    ziptest::writeZeros(big, "zeros.bin", kBigSize);
    EXPECT_EQ(list(big), 1);
    ASSERT_EQ(texts(TARROW_MSG_LISTING).size(), 1u);
    EXPECT_NE(texts(TARROW_MSG_LISTING)[0].find("|zeros.bin|" + std::to_string(kBigSize) + "|"), std::string::npos);
    messages.clear();
    EXPECT_EQ(test(big), 1);
    EXPECT_TRUE(texts(TARROW_MSG_WARNING).empty());
    EXPECT_TRUE(texts(TARROW_MSG_ERROR).empty());
}

TEST_F(Zip64BigTest, MemberBeyond4GiBExtracts) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "big-data test: not in the sanitizer build";
#endif
    if (!std::getenv("VELTRANE_BIG_TESTS")) GTEST_SKIP() << "writes 4 GiB: set VELTRANE_BIG_TESTS=1 to run it";
    if (fs::space(path("")).available < uint64_t(10) * 1000 * 1000 * 1000)
        GTEST_SKIP() << "writes 4 GiB: less than 10 GB free in " << path("");
    const std::string big = path("big.zip");
    ziptest::writeZeros(big, "zeros.bin", kBigSize);
    Tarrow_Initialise();
    Tarrow_ArchiveName(big.c_str());
    Tarrow_ExtractTo(path("b").c_str());
    EXPECT_EQ(Tarrow(), 1);
    EXPECT_EQ(fs::file_size(path("b/zeros.bin")), kBigSize);
    EXPECT_TRUE(texts(TARROW_MSG_WARNING).empty());
    fs::remove_all(path("b"));
}
