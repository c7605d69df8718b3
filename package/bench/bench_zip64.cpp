// Extraction of a zip64 member of just over 4 GiB beside an ordinary archive of the same data (the
// same 4 GiB of deflated zeros in five members under 4 GiB each, no zip64 field), in the same run:
// test mode (decode and CRC, nothing written) and extraction to disk, each timed three times in
// turn, best of three. Writing 4 GiB costs the kernel more than decoding it costs us, and varies
// from run to run with the page cache and the disk; so plain writes of the same files (32 KB at a
// time, as extraction writes) are timed in the same rounds, and user time (ours) is shown apart
// from system time (the kernel's). Needs 10 GB free in the temporary folder ($TMPDIR, else /tmp).
#include "tarrow.h"
#include "ZipWriter.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kGiB = uint64_t(1) << 30;
constexpr uint64_t kRest = uint64_t(3) << 20;
constexpr uint64_t kTotal = 4 * kGiB + kRest;
constexpr int kRounds = 3;

void writeOrdinary(const std::string& path) {
    ziptest::Archive a;
    const ziptest::PackedZeros gib = ziptest::deflateZeros(kGiB), rest = ziptest::deflateZeros(kRest);
    for (int i = 0; i < 5; ++i) {
        const ziptest::PackedZeros& z = i < 4 ? gib : rest;
        ziptest::Member m;
        m.name = "zeros" + std::to_string(i) + ".bin";
        m.method = 8;
        m.versionNeeded = 20;
        m.packed = z.packed;
        m.crc = z.crc;
        m.uncompressedSize = uint32_t(i < 4 ? kGiB : kRest);
        a.members.push_back(m);
    }
    ziptest::writeFile(path, ziptest::build(a));
}

double seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

struct Times {
    double wall = 1e30, user = 1e30, system = 1e30;
};

// Times `work`, then removes `folder` and syncs the disk so that no round inherits the previous
// one's write-back. Keeps the best of each figure in `best`.
template <typename Work>
void timed(const fs::path& folder, Times& best, Work work) {
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    work();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    getrusage(RUSAGE_SELF, &after);
    fs::remove_all(folder);
    sync();
    best.wall = std::min(best.wall, wall);
    best.user = std::min(best.user, seconds(after.ru_utime) - seconds(before.ru_utime));
    best.system = std::min(best.system, seconds(after.ru_stime) - seconds(before.ru_stime));
}

// Tests the archive, or extracts it into `folder`, expecting `members` members done.
void unpack(const std::string& archive, const fs::path& folder, bool extract, int32_t members, Times& best) {
    Tarrow_Initialise();
    Tarrow_ArchiveName(archive.c_str());
    Tarrow_Test(extract ? 0 : 1);
    Tarrow_ExtractTo(folder.c_str());
    Tarrow_Overwrite(TARROW_OVERWRITE_ALWAYS);
    timed(folder, best, [&] {
        if (const int32_t done = Tarrow(); done != members)
            std::fprintf(stderr, "bench_zip64: %s: %d of %d members\n", archive.c_str(), int(done), int(members));
    });
}

// Writes files of zeros of these sizes into `folder`, 32 KB at a time.
void plainWrites(const fs::path& folder, const std::vector<uint64_t>& sizes, Times& best) {
    static const std::vector<char> zeros(32 << 10, 0);
    timed(folder, best, [&] {
        fs::create_directories(folder);
        for (size_t i = 0; i < sizes.size(); ++i) {
            const int fd = open((folder / std::to_string(i)).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            for (uint64_t left = sizes[i]; fd >= 0 && left > 0;) {
                const size_t n = size_t(std::min<uint64_t>(left, zeros.size()));
                if (write(fd, zeros.data(), n) != ssize_t(n)) break;
                left -= n;
            }
            if (fd >= 0) close(fd);
        }
    });
}

}  // namespace

int main() {
    const char* tmp = std::getenv("TMPDIR");
    const fs::path base = fs::path(tmp && *tmp ? tmp : "/tmp") / ("bench-zip64-" + std::to_string(getpid()));
    fs::create_directories(base);
    if (fs::space(base).available < uint64_t(10) * 1000 * 1000 * 1000) {
        std::printf("bench_zip64: skipped, less than 10 GB free in %s\n", base.c_str());
        fs::remove_all(base);
        return 0;
    }
    const std::string big = (base / "zip64.zip").string(), ordinary = (base / "ordinary.zip").string();
    ziptest::writeZeros(big, "zeros.bin", kTotal);
    writeOrdinary(ordinary);
    Tarrow_InstallCallback(nullptr);

    Times testBig, testOrdinary, extractBig, extractOrdinary, writeOne, writeFive;
    const fs::path folder = base / "out";
    for (int round = 0; round < kRounds; ++round) {
        unpack(big, folder, false, 1, testBig);
        unpack(ordinary, folder, false, 5, testOrdinary);
        unpack(big, folder, true, 1, extractBig);
        unpack(ordinary, folder, true, 5, extractOrdinary);
        plainWrites(folder, {kTotal}, writeOne);
        plainWrites(folder, {kGiB, kGiB, kGiB, kGiB, kRest}, writeFive);
    }
    fs::remove_all(base);

    std::printf("%llu bytes of deflated zeros, one zip64 member vs five ordinary members, best of %d, in %s:\n",
                static_cast<unsigned long long>(kTotal), kRounds, base.parent_path().c_str());
    auto line = [](const char* what, const Times& z, const Times& o) {
        std::printf(
            "  %-13s one: %6.2f s wall %5.2f s user %5.2f s system; five: %6.2f s wall %5.2f s user "
            "%5.2f s system; five / one = %.2f wall, %.2f user\n",
            what, z.wall, z.user, z.system, o.wall, o.user, o.system, o.wall / z.wall, o.user / z.user);
    };
    line("test", testBig, testOrdinary);
    line("extract", extractBig, extractOrdinary);
    line("plain writes", writeOne, writeFive);
    std::printf(
        "zip64 extraction time per byte / ordinary: %.2f wall, %.2f user; beside the same plain "
        "writes: %.2f\n",
        extractBig.wall / extractOrdinary.wall, extractBig.user / extractOrdinary.user,
        (extractBig.wall / writeOne.wall) / (extractOrdinary.wall / writeFive.wall));
    return 0;
}
