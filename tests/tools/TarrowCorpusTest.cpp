// `tarrow x` and `tarrow t` against 7-Zip on the corpus archives whose members use only what the
// library supports: the same files byte for byte, and the same verdict on every CRC.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes readBytes(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

uint32_t le(const Bytes& b, size_t at, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | b[at + size_t(i)];
    return v;
}

// True when the archive's central directory lists only members the library extracts the way 7-Zip
// does: stored, shrunk, imploded or deflated, version below 2.1, no strong encryption, no symbolic
// links, and plain ASCII names (7-Zip re-encodes other names, and the library keeps their bytes).
bool plainArchive(const Bytes& zip) {
    if (zip.size() < 22) return false;
    size_t end = zip.size() - 22;
    while (end > 0 && le(zip, end, 4) != 0x06054B50) --end;
    if (le(zip, end, 4) != 0x06054B50 || le(zip, end + 4, 2) != 0) return false;
    size_t at = le(zip, end + 16, 4), entries = le(zip, end + 10, 2);
    if (entries == 0) return false;
    for (size_t i = 0; i < entries; ++i) {
        if (at + 46 > zip.size() || le(zip, at, 4) != 0x02014B50) return false;
        unsigned method = le(zip, at + 10, 2), needed = zip[at + 6], flags = le(zip, at + 8, 2);
        uint32_t external = le(zip, at + 38, 4);
        size_t nameLen = le(zip, at + 28, 2);
        if (at + 46 + nameLen > zip.size() || nameLen == 0) return false;
        std::string name(zip.begin() + long(at + 46), zip.begin() + long(at + 46 + nameLen));
        bool symlink = zip[at + 5] == 3 && ((external >> 16) & 0170000) == 0120000;
        bool plainName = std::all_of(name.begin(), name.end(),
                                     [](char c) { return c >= 32 && c < 127 && !std::strchr("\\:*?<>|\"", c); });
        if ((method != 0 && method != 1 && method != 6 && method != 8) || needed >= 21 || (flags & 64) || symlink ||
            !plainName || name.find("..") != std::string::npos)
            return false;
        // A Unicode path field (0x7075) gives 7-Zip a different name.
        size_t extra = at + 46 + nameLen, extraEnd = extra + le(zip, at + 30, 2);
        for (; extra + 4 <= extraEnd && extraEnd <= zip.size(); extra += 4 + le(zip, extra + 2, 2))
            if (le(zip, extra, 2) == 0x7075) return false;
        at += 46 + nameLen + le(zip, at + 30, 2) + le(zip, at + 32, 2);
    }
    return true;
}

// Passwords of the corpus archives, as recorded beside them.
std::string passwordFor(const std::string& name) {
    if (name.rfind("lz_encrypt", 0) == 0) return "foo";
    if (name.rfind("la_", 0) == 0 || name.rfind("z4j_", 0) == 0) return "12345678";
    return "";
}

int run(const std::string& command) { return std::system((command + " >/dev/null 2>&1 </dev/null").c_str()); }

// 7-Zip's verdict on the CRCs: 1 all checked and right, -1 a CRC failed, 0 it failed for other reasons.
int sevenZipCrcVerdict(const std::string& quotedArchive, const std::string& password) {
    std::string command = "7z t -p'" + password + "' " + quotedArchive + " 2>&1 </dev/null";
    std::string output;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;) output.append(buffer, n);
        if (pclose(p) == 0) return 1;
    }
    return output.find("CRC Failed") != std::string::npos ? -1 : 0;
}

std::map<std::string, Bytes> regularFiles(const fs::path& root) {
    std::map<std::string, Bytes> files;
    if (!fs::is_directory(root)) return files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file() && !e.is_symlink()) files[fs::relative(e.path(), root).string()] = readBytes(e.path());
    return files;
}

}  // namespace

TEST(TarrowCorpus, ExtractsAndTestsLike7Zip) {
    fs::path zips = fs::path(VELTRANE_SHARED_DIR) / "corpus" / "zip";
    fs::path tarrow = fs::path(VELTRANE_BIN_DIR) / "tarrow";
    if (!fs::is_directory(zips) || !fs::exists(tarrow) || run("command -v 7z") != 0)
        GTEST_SKIP() << "corpus, tarrow or 7z missing";
    std::string scratch = (fs::temp_directory_path() / "tarrow-corpus-XXXXXX").string();
    ASSERT_NE(mkdtemp(scratch.data()), nullptr);
    int compared = 0;
    for (const auto& e : fs::directory_iterator(zips)) {
        std::string name = e.path().filename().string();
        // Two directory entries for one member's data: the library refuses the second as an
        // overlap, which 7-Zip does not check.
        if (!e.is_regular_file() || !plainArchive(readBytes(e.path())) || name == "cc_COMPRESS-227.zip") continue;
        std::string password = passwordFor(name);
        std::string quoted = "'" + e.path().string() + "'";
        fs::path ours = fs::path(scratch) / "ours", theirs = fs::path(scratch) / "theirs";
        fs::remove_all(ours);
        fs::remove_all(theirs);
        std::string pw = password.empty() ? "" : " -P " + password;
        int verdict = sevenZipCrcVerdict(quoted, password);
        int ourTest = run(tarrow.string() + " t" + pw + " " + quoted);
        if (verdict != 0) {
            EXPECT_EQ(ourTest == 0, verdict == 1) << name;
        }
        if (verdict != 1) continue;
        run(tarrow.string() + " x -o -d '" + ours.string() + "'" + pw + " " + quoted);
        run("7z x -y -p'" + password + "' -o'" + theirs.string() + "' " + quoted);
        auto a = regularFiles(ours), b = regularFiles(theirs);
        EXPECT_EQ(a.size(), b.size()) << name;
        for (const auto& [file, bytes] : b) {
            auto it = a.find(file);
            ASSERT_NE(it, a.end()) << name << ": " << file << " missing";
            EXPECT_TRUE(it->second == bytes) << name << ": " << file << " differs";
        }
        ++compared;
    }
    fs::remove_all(scratch);
    EXPECT_GT(compared, 30);
    std::cout << compared << " archives compared with 7-Zip\n";
}
