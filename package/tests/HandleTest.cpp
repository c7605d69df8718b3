// The handle interface: one truth per member (the central directory held against each local
// header, both ways round), local zip64 fields as writers make them, names that convert to
// nothing, the results of reading and extracting, and handles read from many threads at once.
#include "ZipWriter.h"
#include "tarrow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

namespace fs = std::filesystem;
using ziptest::Bytes;
using ziptest::deflated;
using ziptest::stored;

namespace {

struct Handle {
    Bytes bytes;  // the block a memory handle reads, kept as long as the handle
    tarrow_archive* archive = nullptr;
    int code = -1;
    explicit Handle(Bytes block) : bytes(std::move(block)) {
        code = tarrow_open_memory(bytes.data(), bytes.size(), &archive);
    }
    explicit Handle(const std::string& path) { code = tarrow_open(path.c_str(), &archive); }
    ~Handle() { tarrow_close(archive); }
    tarrow_entry entry(size_t index) const {
        tarrow_entry e{};
        EXPECT_EQ(tarrow_entry_at(archive, index, &e), TARROW_OK);
        return e;
    }
};

int collect(void* user, const void* data, size_t size) {
    static_cast<std::string*>(user)->append(static_cast<const char*>(data), size);
    return 0;
}

// The member's bytes, or the code that stopped them.
std::pair<int, std::string> read(const Handle& h, size_t index, const char* password = nullptr) {
    std::string out;
    const int code = tarrow_read(h.archive, index, password, collect, &out);
    return {code, out};
}

Bytes archiveOf(std::vector<ziptest::Member> members) {
    ziptest::Archive a;
    a.members = std::move(members);
    return ziptest::build(a);
}

void put16(Bytes& b, size_t at, uint16_t v) { b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8); }
void put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
size_t centralAt(const Bytes& b) {
    static const uint8_t signature[] = {'P', 'K', 1, 2};
    return size_t(std::search(b.begin(), b.end(), std::begin(signature), std::end(signature)) - b.begin());
}

}  // namespace

// Each field the two headers both state, changed in one of them: the member is damaged with the
// field named, nothing of it is read or written, and the member beside it reads as ever.
TEST(Handle, HeadersThatDisagreeMakeTheMemberDamaged) {
    struct Change {
        const char* field;
        size_t local, central;  // offsets of the field in each header
        int width;
        uint32_t value;
        const char* localSays;  // the text when the local header is changed
        const char* centralSays;
    };
    const Change changes[] = {
        {"method", 8, 10, 2, 8, "local header names method 8, the central directory 0",
         "local header names method 0, the central directory 8"},
        {"flags", 6, 8, 2, 1, "local header names flags 0x0001, the central directory 0x0000",
         "local header names flags 0x0000, the central directory 0x0001"},
        {"crc", 14, 16, 4, 0x12345678, "local header names CRC-32 12345678", "the central directory 12345678"},
        {"size", 22, 24, 4, 3, "local header names a size of 3 bytes, the central directory 5",
         "local header names a size of 5 bytes, the central directory 3"},
        {"compressed", 18, 20, 4, 3, "local header names a compressed size of 3 bytes",
         "local header names a compressed size of 5 bytes, the central directory 3"},
        {"name", 30, 46, 1, 'B', "names the member otherwise", "names the member otherwise"},
    };
    const Bytes good = archiveOf({stored("a.txt", "hello"), stored("b.txt", "world")});
    for (const Change& c : changes)
        for (bool local : {true, false}) {
            SCOPED_TRACE(std::string(c.field) + (local ? " in the local header" : " in the central directory"));
            Bytes bytes = good;
            const size_t at = local ? c.local : centralAt(bytes) + c.central;
            if (c.width == 1) bytes[at] = uint8_t(c.value);
            else if (c.width == 2) put16(bytes, at, uint16_t(c.value));
            else put32(bytes, at, c.value);
            Handle h(bytes);
            ASSERT_EQ(h.code, TARROW_OK);
            ASSERT_EQ(tarrow_entry_count(h.archive), 2u);
            const tarrow_entry e = h.entry(0);
            ASSERT_NE(e.damage, nullptr);
            EXPECT_NE(std::strstr(e.damage, local ? c.localSays : c.centralSays), nullptr) << e.damage;
            EXPECT_EQ(read(h, 0).first, TARROW_E_DAMAGED);
            const fs::path folder = fs::temp_directory_path() / ("tarrow-handle-" + std::to_string(getpid()));
            EXPECT_EQ(tarrow_extract(h.archive, 0, folder.c_str(), nullptr), TARROW_E_DAMAGED);
            EXPECT_FALSE(fs::exists(folder / e.name));
            EXPECT_EQ(h.entry(1).damage, nullptr);
            EXPECT_EQ(read(h, 1), std::make_pair(TARROW_OK, std::string("world")));
            fs::remove_all(folder);
        }
}

// A data descriptor leaves the local header's CRC and sizes at zero: that states nothing.
TEST(Handle, ZerosBeforeADataDescriptorAreTolerated) {
    ziptest::Member m = deflated("d.txt", std::string(3000, 'd'));
    m.descriptor = true;
    Handle h(archiveOf({m}));
    ASSERT_EQ(h.code, TARROW_OK);
    EXPECT_EQ(h.entry(0).damage, nullptr);
    EXPECT_EQ(read(h, 0), std::make_pair(TARROW_OK, std::string(3000, 'd')));
}

namespace {

// A one-member stored archive whose local header saturates the sizes in `saturate` (1: size,
// 2: compressed size) and whose zip64 field holds the values in `hold`, in the field's order.
Bytes localZip64(int saturate, int hold, const std::string& data) {
    Bytes b;
    auto add16 = [&](uint16_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); };
    auto add32 = [&](uint32_t v) { add16(uint16_t(v)), add16(uint16_t(v >> 16)); };
    auto add64 = [&](uint64_t v) { add32(uint32_t(v)), add32(uint32_t(v >> 32)); };
    const uint32_t crc = ziptest::crc32(data);
    const uint16_t extra = uint16_t(4 + 8 * ((hold & 1) + (hold >> 1 & 1)));
    add32(0x04034B50), add16(45), add16(0), add16(0), add16(0), add16(0x21), add32(crc);
    add32(saturate & 2 ? 0xFFFFFFFF : uint32_t(data.size()));
    add32(saturate & 1 ? 0xFFFFFFFF : uint32_t(data.size()));
    add16(1), add16(extra), b.push_back('z');
    add16(1), add16(uint16_t(extra - 4));
    if (hold & 1) add64(data.size());
    if (hold & 2) add64(data.size());
    b.insert(b.end(), data.begin(), data.end());
    const size_t central = b.size();
    add32(0x02014B50), add16(45), add16(45), add16(0), add16(0), add16(0), add16(0x21), add32(crc);
    add32(uint32_t(data.size())), add32(uint32_t(data.size())), add16(1), add16(0), add16(0), add16(0), add16(0);
    add32(0), add32(0), b.push_back('z');
    const size_t centralSize = b.size() - central;
    add32(0x06054B50), add16(0), add16(0), add16(1), add16(1), add32(uint32_t(centralSize)), add32(uint32_t(central));
    add16(0);
    return b;
}

}  // namespace

// The local zip64 field holds the values its header saturates, or both sizes, whichever of the
// sizes is saturated: every form reads.
TEST(Handle, LocalZip64FieldsInEveryForm) {
    const std::string data = "zip64 member";
    for (int saturate : {1, 2, 3})
        for (int hold : {saturate, 3}) {
            SCOPED_TRACE("saturated " + std::to_string(saturate) + ", held " + std::to_string(hold));
            Handle h(localZip64(saturate, hold, data));
            ASSERT_EQ(h.code, TARROW_OK);
            EXPECT_EQ(h.entry(0).damage, nullptr) << h.entry(0).damage;
            EXPECT_EQ(read(h, 0), std::make_pair(TARROW_OK, data));
        }
}

// A name that converts to nothing takes the Unicode path field's name when its CRC matches the
// stored bytes, and a placeholder otherwise: every member is seen.
TEST(Handle, NamesThatConvertToNothingStayVisible) {
    const std::string raw("\0\x01\x02", 3);
    ziptest::Member good = stored(raw, "one"), stale = stored(raw, "two");
    good.flags = stale.flags = 0x0800;  // said to be UTF-8, so that the bytes are taken as they are
    good.extra = ziptest::unicodeBlock(0x7075, raw, "Grüße.txt");
    stale.extra = ziptest::unicodeBlock(0x7075, "other bytes", "Stale.txt");
    Handle h(archiveOf({good, stale}));
    ASSERT_EQ(h.code, TARROW_OK);
    EXPECT_STREQ(h.entry(0).name, "Grüße.txt");
    EXPECT_STREQ(h.entry(1).name, "member-2");
    EXPECT_EQ(read(h, 1), std::make_pair(TARROW_OK, std::string("two")));
}

TEST(Handle, ResultsOfOpeningAndReading) {
    tarrow_archive* none = nullptr;
    EXPECT_EQ(tarrow_open_memory("junk", 4, &none), TARROW_E_NOT_ZIP);
    EXPECT_EQ(tarrow_open("/nonexistent/a.zip", &none), TARROW_E_OPEN);
    EXPECT_EQ(tarrow_open(nullptr, &none), TARROW_E_ARGUMENT);
    EXPECT_EQ(none, nullptr);
    ziptest::Archive split;
    split.members = {stored("one.txt", std::string(100, '1'))};
    split.diskBreaks = {60};
    const Bytes last = ziptest::buildDisks(split).back();
    EXPECT_EQ(tarrow_open_memory(last.data(), last.size(), &none), TARROW_E_MULTIDISK);
    Handle empty(archiveOf({}));
    ASSERT_EQ(empty.code, TARROW_OK);
    EXPECT_EQ(tarrow_entry_count(empty.archive), 0u);

    ziptest::Member badCrc = stored("crc.txt", "data");
    badCrc.crc = 1;
    ziptest::Member folder = stored("dir/", "");
    ziptest::Member link = stored("link", "target");
    link.hostSystem = 3;
    link.external = 0120777u << 16;
    Handle h(archiveOf({deflated("big.bin", std::string(200000, 'b')), badCrc, folder, link}));
    ASSERT_EQ(h.code, TARROW_OK);
    EXPECT_EQ(read(h, 1).first, TARROW_E_CRC);
    EXPECT_EQ(read(h, 4).first, TARROW_E_ARGUMENT);
    EXPECT_EQ(h.entry(2).flags, unsigned(TARROW_ENTRY_FOLDER));
    EXPECT_EQ(h.entry(3).flags, unsigned(TARROW_ENTRY_SYMLINK));
    EXPECT_EQ(h.entry(0).method, 8);
    EXPECT_EQ(h.entry(0).size, 200000u);
    // A sink that says stop is obeyed at once.
    int calls = 0;
    EXPECT_EQ(
        tarrow_read(
            h.archive, 0, nullptr, [](void* user, const void*, size_t) { return ++*static_cast<int*>(user); }, &calls),
        TARROW_E_STOPPED);
    EXPECT_EQ(calls, 1);
    for (int code = TARROW_OK; code <= TARROW_E_WRITE; ++code) EXPECT_STRNE(tarrow_strerror(code), "unknown error");
}

// Options are read only as far as the caller's size covers them, and what this version cannot honour
// is refused rather than ignored.
TEST(Handle, OpenOptionsAreCheckedBeforeTheArchive) {
    const Bytes zip = archiveOf({stored("a.txt", "a")});
    tarrow_archive* archive = nullptr;
    tarrow_open_options options{sizeof options, 0, nullptr};
    EXPECT_EQ(tarrow_open_memory_with(zip.data(), zip.size(), &options, &archive), TARROW_OK);
    tarrow_close(archive);
    EXPECT_EQ(tarrow_open_memory_with(zip.data(), zip.size(), nullptr, &archive), TARROW_OK);
    tarrow_close(archive);
    archive = nullptr;
    options.flags = 0x80;
    EXPECT_EQ(tarrow_open_memory_with(zip.data(), zip.size(), &options, &archive), TARROW_E_ARGUMENT);
    options = {sizeof options, 0, "NO-SUCH-CODE-PAGE"};
    EXPECT_EQ(tarrow_open_memory_with(zip.data(), zip.size(), &options, &archive), TARROW_E_ARGUMENT);
    EXPECT_EQ(tarrow_open_with("/nonexistent/a.zip", &options, &archive), TARROW_E_ARGUMENT);
    // A caller built before name_charset existed: the code page it never set is not read.
    options.size = offsetof(tarrow_open_options, name_charset);
    EXPECT_EQ(tarrow_open_memory_with(zip.data(), zip.size(), &options, &archive), TARROW_OK);
    tarrow_close(archive);
    archive = nullptr;
    options.size = sizeof(size_t);
    EXPECT_EQ(tarrow_open_memory_with(zip.data(), zip.size(), &options, &archive), TARROW_E_ARGUMENT);
    EXPECT_EQ(archive, nullptr);
    EXPECT_EQ(Tarrow_NameCharset("NO-SUCH-CODE-PAGE"), 0);
    EXPECT_EQ(Tarrow_NameCharset("CP866"), 1);
    EXPECT_EQ(Tarrow_NameCharset(nullptr), 1);
}

TEST(Handle, ExtractionStaysInsideItsFolder) {
    const fs::path root = fs::temp_directory_path() / ("tarrow-extract-" + std::to_string(getpid()));
    fs::remove_all(root);
    const fs::path target = root / "target";
    Handle h(archiveOf({stored("../../escape.txt", "out"), stored("/abs/file.txt", "abs"), stored("sub/dir/", ""),
                        deflated("sub/a.txt", "inside")}));
    ASSERT_EQ(h.code, TARROW_OK);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(tarrow_extract(h.archive, i, target.c_str(), nullptr), TARROW_OK) << i;
    EXPECT_FALSE(fs::exists(root / "escape.txt"));
    EXPECT_TRUE(fs::exists(target / "escape.txt"));
    EXPECT_TRUE(fs::exists(target / "abs" / "file.txt"));
    EXPECT_TRUE(fs::is_directory(target / "sub" / "dir"));
    std::ifstream file(target / "sub" / "a.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "inside");
    fs::remove_all(root);
}

namespace {

const fs::path kSkins = fs::path(VELTRANE_SHARED_DIR) / "corpus" / "skins";

// Every member of every skin as (skin, index) -> (result, CRC-32 of what arrived).
using Results = std::map<std::pair<std::string, size_t>, std::pair<int, uint32_t>>;

std::pair<int, uint32_t> readMember(tarrow_archive* archive, size_t index) {
    std::string out;
    const int code = tarrow_read(archive, index, nullptr, collect, &out);
    return {code, ziptest::crc32(out)};
}

std::vector<std::string> skinPaths() {
    std::vector<std::string> paths;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(kSkins, ec))
        if (e.path().extension() == ".wsz") paths.push_back(e.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

}  // namespace

// 8 threads read every member of the corpus skins, each through handles of its own and all through
// one shared handle per skin, and get what one thread gets. Prints members read per second.
TEST(HandleThreads, ManyThreadsReadWhatOneReads) {
    const std::vector<std::string> paths = skinPaths();
    if (paths.empty()) GTEST_SKIP() << "no corpus";
    Results single;
    size_t members = 0;
    for (const std::string& path : paths) {
        Handle h(path);
        ASSERT_EQ(h.code, TARROW_OK) << path;
        for (size_t i = 0; i < tarrow_entry_count(h.archive); ++i, ++members) {
            const auto result = readMember(h.archive, i);
            EXPECT_EQ(result.first, TARROW_OK) << path << " " << i;
            single[std::make_pair(path, i)] = result;
        }
    }
    std::vector<std::unique_ptr<Handle>> shared;
    for (const std::string& path : paths) shared.push_back(std::make_unique<Handle>(path));

    for (bool ownHandles : {true, false})
        for (unsigned threads : {1u, 2u, 8u}) {
            std::vector<Results> seen(threads);
            const auto start = std::chrono::steady_clock::now();
            std::vector<std::thread> pool;
            for (unsigned t = 0; t < threads; ++t)
                pool.emplace_back([&, t] {
                    for (size_t k = 0; k < paths.size(); ++k) {
                        const size_t s = (k + t) % paths.size();  // threads start at different skins
                        std::unique_ptr<Handle> own = ownHandles ? std::make_unique<Handle>(paths[s]) : nullptr;
                        tarrow_archive* archive = own ? own->archive : shared[s]->archive;
                        for (size_t i = 0; i < tarrow_entry_count(archive); ++i)
                            seen[t][{paths[s], i}] = readMember(archive, i);
                    }
                });
            for (std::thread& t : pool) t.join();
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            for (const Results& r : seen) EXPECT_EQ(r, single);
            std::printf("%s handles, %u thread(s): %.0f members/s\n", ownHandles ? "own" : "shared", threads,
                        double(members * threads) / seconds);
        }
}
