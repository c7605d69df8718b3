// A member of just over 4 GiB (deflated zeros, generated here and removed afterwards): it lists,
// tests and extracts with its real size, and its extraction costs per byte what an ordinary
// archive's does. It writes 4 GiB to disk (over three minutes on a loaded machine), so it runs only
// with VELTRANE_BIG_TESTS=1 set; skipped in the sanitizer build and when the disk has less than
// 10 GB free.
#include "LibraryFixture.h"

#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kChunk = 1 << 20;
constexpr uint64_t kBigSize = (uint64_t(4) << 30) + 3 * kChunk; // just over 4 GiB
constexpr uint64_t kOrdinarySize = uint64_t(1) << 30;

// Writes a one-member archive of `size` zeros, deflated; zip64 fields when the size needs them.
void writeZeros(const std::string &file, uint64_t size)
{
    ziptest::Member m;
    m.name = "zeros.bin";
    m.method = 8;
    m.versionNeeded = 45;
    m.zip64 = {size > UINT32_MAX, false, false, true};
    std::ofstream out(file, std::ios::binary);
    // The local header needs the sizes, which are known only after compressing: write a placeholder
    // of the same length first and the real header at the end.
    ziptest::Bytes header = ziptest::localHeader(m, 0, size, 0);
    out.write(reinterpret_cast<const char *>(header.data()), std::streamsize(header.size()));

    z_stream z{};
    deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> zeros(kChunk, 0), packed(kChunk);
    uLong crc = crc32(0, nullptr, 0);
    uint64_t packedSize = 0;
    for (uint64_t done = 0; done < size;) {
        const uint64_t n = std::min(kChunk, size - done);
        done += n;
        crc = crc32(crc, zeros.data(), uInt(n));
        z.next_in = zeros.data();
        z.avail_in = uInt(n);
        const int flush = done == size ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = packed.data();
            z.avail_out = uInt(packed.size());
            deflate(&z, flush);
            const size_t got = packed.size() - z.avail_out;
            out.write(reinterpret_cast<const char *>(packed.data()), std::streamsize(got));
            packedSize += got;
        } while (z.avail_out == 0 || (flush == Z_FINISH && z.avail_in > 0));
    }
    deflateEnd(&z);
    const uint64_t central = header.size() + packedSize;
    ziptest::Bytes tail = ziptest::centralAndEnd(m, packedSize, size, uint32_t(crc), central);
    out.write(reinterpret_cast<const char *>(tail.data()), std::streamsize(tail.size()));
    header = ziptest::localHeader(m, packedSize, size, uint32_t(crc));
    out.seekp(0);
    out.write(reinterpret_cast<const char *>(header.data()), std::streamsize(header.size()));
}

double secondsToExtract(const std::string &archive, const std::string &folder)
{
    const auto start = std::chrono::steady_clock::now();
    Tarrow_Initialise();
    Tarrow_ArchiveName(archive.c_str());
    Tarrow_ExtractTo(folder.c_str());
    Tarrow_Overwrite(TARROW_OVERWRITE_ALWAYS);
    EXPECT_EQ(Tarrow(), 1);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

using Zip64BigTest = LibraryTest;

} // namespace

TEST_F(Zip64BigTest, MemberBeyond4GiBListsTestsAndExtracts)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "big-data test: not in the sanitizer build";
#endif
    if (!std::getenv("VELTRANE_BIG_TESTS"))
        GTEST_SKIP() << "big-data test: set VELTRANE_BIG_TESTS=1 to run it";
    if (fs::space(path("")).available < uint64_t(10) * 1000 * 1000 * 1000)
        GTEST_SKIP() << "less than 10 GB free in " << path("");
    const std::string big = path("big.zip"), ordinary = path("ordinary.zip");
    writeZeros(big, kBigSize);
    writeZeros(ordinary, kOrdinarySize);

    EXPECT_EQ(list(big), 1);
    ASSERT_EQ(texts(TARROW_MSG_LISTING).size(), 1u);
    EXPECT_NE(texts(TARROW_MSG_LISTING)[0].find("|zeros.bin|" + std::to_string(kBigSize) + "|"), std::string::npos);
    messages.clear();
    EXPECT_EQ(test(big), 1);
    EXPECT_TRUE(texts(TARROW_MSG_WARNING).empty());
    EXPECT_TRUE(texts(TARROW_MSG_ERROR).empty());

    const double ordinarySeconds = secondsToExtract(ordinary, path("o"));
    EXPECT_EQ(fs::file_size(path("o/zeros.bin")), kOrdinarySize);
    fs::remove_all(path("o"));
    messages.clear();
    const double bigSeconds = secondsToExtract(big, path("b"));
    EXPECT_EQ(fs::file_size(path("b/zeros.bin")), kBigSize);
    EXPECT_TRUE(texts(TARROW_MSG_WARNING).empty());
    fs::remove_all(path("b"));
    const double ratio = (bigSeconds / double(kBigSize)) / (ordinarySeconds / double(kOrdinarySize));
    std::cout << "extraction per byte, zip64 member of " << kBigSize << " bytes vs ordinary of " << kOrdinarySize
              << ": " << bigSeconds << " s vs " << ordinarySeconds << " s, ratio " << ratio << "\n";
}
