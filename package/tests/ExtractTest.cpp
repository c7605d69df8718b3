// The extraction pass through the C interface: target paths, existing files, test mode, memory output,
// attributes, and output that would exceed a member's declared size.
#include "LibraryFixture.h"

#include <zlib.h>

#include <filesystem>
#include <memory>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cctype>
#include <cstddef>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace fs = std::filesystem;
using ziptest::Archive;
using ziptest::Member;

namespace {

class ExtractTest : public LibraryTest {
protected:
    // Extracts archive into the folder "out" of this test's folder with the given settings applied.
    int32_t extract(const std::string& archive, const std::function<void()>& settings = {}) {
        return extractInto(archive, out(), settings);
    }
    std::string out() const { return path("out"); }
    std::string outFile(const std::string& name) const { return out() + "/" + name; }
};

Member member(const std::string& name, const std::string& data, uint16_t date = 0x21, uint16_t time = 0) {
    Member m;
    m.name = name;
    m.data = data;
    m.dosDate = date;
    m.dosTime = time;
    return m;
}

// Every regular file under root, relative to it.
std::vector<std::string> filesUnder(const fs::path& root) {
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) files.push_back(fs::relative(e.path(), root).string());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

TEST_F(ExtractTest, TraversingNamesStayInsideTheTarget) {
    Archive a;
    for (const char* name :
         {"../../x1", "a/../../x2", "/etc/x3", "..\\..\\x4", "\\\\server\\x5", "./a/./x6", "a/..", ".."})
        a.members.push_back(member(name, name));
    std::string zip = writeArchive("t.zip", a);
    fs::create_directories(out());
    EXPECT_EQ(extract(zip), 6);
    EXPECT_EQ(filesUnder(path("")), (std::vector<std::string>{"out/a/x2", "out/a/x6", "out/etc/x3", "out/server/x5",
                                                              "out/x1", "out/x4", "t.zip"}));
    EXPECT_EQ(readFile(outFile("x4")), "..\\..\\x4");
}

TEST_F(ExtractTest, CorpusTraversalArchivesCannotWriteOutside) {
    fs::path zips = fs::path(VELTRANE_SHARED_DIR) / "corpus" / "zip";
    if (!fs::is_directory(zips)) GTEST_SKIP() << "corpus missing";
    int seen = 0;
    for (const auto& e : fs::directory_iterator(zips)) {
        std::string name = e.path().filename().string();
        if (name.rfind("snyk_", 0) != 0) continue;
        ++seen;
        fs::create_directories(path("deep/er/x"));
        Tarrow_Initialise();
        Tarrow_ArchiveName(e.path().c_str());
        Tarrow_ExtractTo(path("deep/er/x/out").c_str());
        Tarrow_RestoreStructure(1);
        Tarrow_Overwrite(TARROW_OVERWRITE_ALWAYS);
        Tarrow();
        for (const std::string& f : filesUnder(path("")))
            EXPECT_EQ(f.rfind("deep/er/x/out/", 0), 0u) << name << " wrote " << f;
        fs::remove_all(path("deep"));
    }
    EXPECT_GT(seen, 0);
}

TEST_F(ExtractTest, RestoreStructureOffWritesIntoTheTargetItself) {
    Archive a;
    a.members = {member("skins/a/main.bmp", "bmp"), member("a<b>.txt", "q")};
    std::string zip = writeArchive("t.zip", a);
    EXPECT_EQ(extract(zip, [] { Tarrow_RestoreStructure(0); }), 2);
    EXPECT_EQ(filesUnder(out()), (std::vector<std::string>{"a_b_.txt", "main.bmp"}));
    fs::remove_all(out());
    EXPECT_EQ(extract(zip), 2);
    EXPECT_EQ(readFile(outFile("skins/a/main.bmp")), "bmp");
}

TEST_F(ExtractTest, FolderEntriesAreCreatedButNotCounted) {
    Archive a;
    a.members = {member("skins/", ""), member("dos", "")};
    a.members[1].external = 0x10;  // a folder marked by its attribute only
    std::string zip = writeArchive("t.zip", a);
    EXPECT_EQ(extract(zip), 0);
    EXPECT_TRUE(fs::is_directory(outFile("skins")));
    EXPECT_TRUE(fs::is_directory(outFile("dos")));
    EXPECT_EQ(Tarrow_GetLastError(), TARROW_ERROR_NOTHING_DONE);
}

TEST_F(ExtractTest, OverwriteModesAndAnswers) {
    Archive a;
    a.members = {member("a", "new a"), member("b", "new b"), member("c", "new c")};
    std::string zip = writeArchive("t.zip", a);
    auto reset = [&] {
        fs::create_directories(out());
        for (const char* n : {"a", "b", "c"}) ziptest::writeFile(outFile(n), ziptest::Bytes{'o', 'l', 'd'});
    };
    reset();
    EXPECT_EQ(extract(zip, [] { Tarrow_Overwrite(TARROW_OVERWRITE_NEVER); }), 0);
    EXPECT_EQ(readFile(outFile("a")), "old");

    // Asked for each: "No" to the first, "Yes to all" to the second, the third is not asked.
    std::vector<int16_t> answers{TARROW_OVERWRITE_NO, TARROW_OVERWRITE_YES_TO_ALL};
    answer = [&](int code, const std::string&) -> int16_t {
        if (code != TARROW_MSG_OVERWRITE || answers.empty()) return code == TARROW_MSG_OVERWRITE ? 99 : 0;
        int16_t next = answers.front();
        answers.erase(answers.begin());
        return next;
    };
    EXPECT_EQ(extract(zip, [] { Tarrow_Overwrite(TARROW_OVERWRITE_ASK); }), 2);
    EXPECT_EQ(texts(TARROW_MSG_OVERWRITE).size(), 2u);
    EXPECT_EQ(readFile(outFile("a")), "old");
    EXPECT_EQ(readFile(outFile("b")), "new b");
    EXPECT_EQ(readFile(outFile("c")), "new c");

    reset();
    answers = {TARROW_OVERWRITE_NO_TO_ALL};
    EXPECT_EQ(extract(zip, [] { Tarrow_Overwrite(TARROW_OVERWRITE_ASK); }), 0);
    EXPECT_EQ(readFile(outFile("c")), "old");
}

TEST_F(ExtractTest, UpdateWritesOnlyNewerMembers) {
    // 2001-05-01 12:00:00 and 12:00:02.
    const uint16_t date = uint16_t((21 << 9) | (5 << 5) | 1), noon = uint16_t(12 << 11), later = uint16_t(noon | 1);
    Archive a;
    a.members = {member("same", "member", date, noon), member("newer", "member", date, later),
                 member("missing", "member", date, noon)};
    std::string zip = writeArchive("t.zip", a);
    auto prepare = [&] {
        fs::create_directories(out());
        fs::remove(outFile("missing"));
        for (const char* n : {"same", "newer"}) {
            ziptest::writeFile(outFile(n), ziptest::Bytes{'o', 'l', 'd'});
            std::tm t{};
            t.tm_year = 101, t.tm_mon = 4, t.tm_mday = 1, t.tm_hour = 12, t.tm_isdst = -1;
            time_t when = std::mktime(&t);
            struct timespec times[2] = {{when, 0}, {when, 0}};
            utimensat(AT_FDCWD, outFile(n).c_str(), times, 0);
        }
    };
    for (auto flag : {Tarrow_Update, Tarrow_Freshen}) {
        prepare();
        EXPECT_EQ(extract(zip, [&] { flag(1); }), 2);
        EXPECT_EQ(readFile(outFile("same")), "old");
        EXPECT_EQ(readFile(outFile("newer")), "member");
        EXPECT_EQ(readFile(outFile("missing")), "member");
    }
    // The member's time is restored on the written file.
    struct stat st;
    ASSERT_EQ(stat(outFile("missing").c_str(), &st), 0);
    std::tm t{};
    time_t mtime = st.st_mtime;
    localtime_r(&mtime, &t);
    EXPECT_EQ(t.tm_hour, 12);
}

TEST_F(ExtractTest, AttributeMasksDecideTheReadOnlyBit) {
    Archive a;
    a.members = {member("f", "data")};
    a.members[0].external = 0x23;  // read-only, hidden, archive
    std::string zip = writeArchive("t.zip", a);
    struct stat st;
    EXPECT_EQ(extract(zip, [] { Tarrow_RestoreAttributes(TARROW_ATTRIBUTES_ALL); }), 1);
    ASSERT_EQ(stat(outFile("f").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    // Overwriting a read-only file works, and mask 32 leaves it writable.
    EXPECT_EQ(extract(zip, [] { Tarrow_RestoreAttributes(TARROW_ATTRIBUTE_ARCHIVE); }), 1);
    ASSERT_EQ(stat(outFile("f").c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IWUSR, 0u);
}

TEST_F(ExtractTest, TestModeReportsBadCrcAndWritesNothing) {
    Archive a;
    a.members = {member("good", "good data"), member("bad", "bad data")};
    a.members[1].crc = 0x12345678;
    std::string zip = writeArchive("t.zip", a);
    EXPECT_EQ(extract(zip, [] { Tarrow_Test(1); }), 2);
    EXPECT_EQ(Tarrow_GetLastWarning(), TARROW_WARNING_CRC);
    EXPECT_EQ(texts(TARROW_MSG_TEST_DONE).size(), 2u);
    EXPECT_FALSE(fs::exists(out()));
}

TEST_F(ExtractTest, MemoryOutputDropsBlocksThatDoNotFit) {
    Archive a;
    a.members = {member("small", "0123456789"), member("big", std::string(20, 'x')), member("more", "ab")};
    std::string zip = writeArchive("t.zip", a);
    char buffer[16] = {};
    int32_t result = extract(zip, [&] { Tarrow_ToMemory(buffer, sizeof buffer); });
    EXPECT_EQ(result, 16);
    EXPECT_STREQ(buffer, "0123456789");
    EXPECT_FALSE(fs::exists(out()));
}

TEST_F(ExtractTest, DeflatedMemberLargerThanDeclaredIsCutAndReported) {
    // A few hundred bytes that inflate to a megabyte, declared as 1000 bytes.
    std::string big(1 << 20, 'z');
    Member m = member("bomb", big);
    m.method = 8;
    m.packed = ziptest::deflate(big);
    m.uncompressedSize = 1000;
    Archive a;
    a.members = {m};
    std::string zip = writeArchive("t.zip", a);
    EXPECT_EQ(extract(zip), 0);
    EXPECT_EQ(Tarrow_GetLastWarning(), TARROW_WARNING_INFLATE_CORRUPT);
    EXPECT_EQ(fs::file_size(outFile("bomb")), 1000u);
}

TEST_F(ExtractTest, StoredMemberLongerThanDeclaredIsCutAndReported) {
    Member m = member("long", std::string(5000, 's'));
    m.uncompressedSize = 10;
    Archive a;
    a.members = {m};
    std::string zip = writeArchive("t.zip", a);
    extract(zip);
    EXPECT_EQ(Tarrow_GetLastWarning(), TARROW_WARNING_CRC);
    EXPECT_EQ(fs::file_size(outFile("long")), 10u);
}

TEST_F(ExtractTest, LocalHeaderDisagreeingWithTheCatalogueOrMissingIsNotWritten) {
    // Both members hold 1000 deflated bytes and say so in the catalogue; the local header of the
    // first claims 2 GiB, that of the second 600 bytes: neither is what was listed, so neither is
    // written. The last member's header has lost its signature; its warning names it, not the archive.
    const std::string data(1000, 'q');
    Archive a;
    a.members = {ziptest::deflated("liar", data), ziptest::deflated("modest", data), member("after", "fine"),
                 member("lost", "gone")};
    ziptest::Bytes bytes = ziptest::build(a);
    auto setLocalSize = [&](const std::string& name, uint32_t size) {
        const size_t local = ziptest::toString(bytes).find(name) - 30;
        ASSERT_EQ(ziptest::toString(bytes).substr(local, 4), std::string("PK\x03\x04"));
        for (int i = 0; i < 4; ++i) bytes[local + 22 + size_t(i)] = uint8_t(size >> (8 * i));
    };
    setLocalSize("liar", 0x80000000u);
    setLocalSize("modest", 600);
    bytes[ziptest::toString(bytes).find("lost") - 30] = 'Q';
    const std::string zip = path("t.zip");
    ziptest::writeFile(zip, bytes);
    EXPECT_EQ(extract(zip), 1);
    EXPECT_FALSE(fs::exists(outFile("liar")));
    EXPECT_FALSE(fs::exists(outFile("modest")));
    EXPECT_EQ(fs::file_size(outFile("after")), 4u);
    EXPECT_FALSE(fs::exists(outFile("lost")));
    std::vector<std::string> warned;
    for (const std::string& w : texts(TARROW_MSG_WARNING)) warned.push_back(w.substr(w.find('|') + 1));
    EXPECT_EQ(warned, (std::vector<std::string>{"liar|13|", "modest|13|", "lost|13|"}));
}

// What the central directory lists is what is tested and written: a member whose local header
// names another CRC-32, method or name (either header changed) is damaged in test and extraction
// alike, and the member beside it goes on.
TEST_F(ExtractTest, MembersWhoseHeadersDisagreeAreDamagedInTestAndExtraction) {
    struct Change {
        size_t local, central;  // offset of the field in each header
        uint8_t value;
    };
    for (const Change& c : {Change{14, 16, 0x55}, Change{8, 10, 8}, Change{30, 46, 'B'}})
        for (bool local : {true, false}) {
            SCOPED_TRACE(std::to_string(c.local) + (local ? " local" : " central"));
            Archive a;
            a.members = {member("a.txt", "hello"), member("b.txt", "world")};
            ziptest::Bytes bytes = ziptest::build(a);
            const size_t central = ziptest::toString(bytes).find(std::string("PK\x01\x02", 4));
            bytes[local ? c.local : central + c.central] = c.value;
            const std::string zip = path("disagree.zip");
            ziptest::writeFile(zip, bytes);
            // The member goes by the name the central directory lists.
            const std::string name = !local && c.local == 30 ? "B.txt" : "a.txt";
            messages.clear();
            EXPECT_EQ(test(zip), 1);
            EXPECT_EQ(texts(TARROW_MSG_WARNING).front(), zip + "|" + name + "|13|");
            messages.clear();
            EXPECT_EQ(extract(zip), 1);
            EXPECT_FALSE(fs::exists(outFile(name)));
            EXPECT_EQ(readFile(outFile("b.txt")), "world");
            EXPECT_EQ(texts(TARROW_MSG_WARNING), std::vector<std::string>{zip + "|" + name + "|13|"});
            fs::remove(outFile("b.txt"));
        }
}

TEST_F(ExtractTest, AbortDeletesThePartlyWrittenFile) {
    Archive a;
    a.members = {member("keep", "k"), member("big", std::string(100000, 'b'))};
    std::string zip = writeArchive("t.zip", a);
    answer = [](int code, const std::string& text) -> int16_t {
        return code == TARROW_MSG_EXTRACT_START && text.find("big") != std::string::npos &&
                       text.find("|32768|") != std::string::npos
                   ? 255
                   : 0;
    };
    extract(zip);
    EXPECT_EQ(Tarrow_GetLastError(), TARROW_ERROR_ABORTED);
    EXPECT_TRUE(fs::exists(outFile("keep")));
    EXPECT_FALSE(fs::exists(outFile("big")));
}

TEST_F(ExtractTest, DamagedMembersKeepWhatWasWrittenAndLeaveOtherFilesAlone) {
    // Data that does not compress well, so that the cut stream still fills several output blocks.
    std::string noise(300000, '\0');
    uint32_t seed = 7;
    for (char& c : noise) {
        seed = seed * 1103515245u + 12345u;
        c = char(seed >> 24);
    }
    Member cut = member("cut", noise);
    cut.method = 8;
    cut.packed = ziptest::deflate(noise).substr(0, 200000);
    Member badCrc = member("crc", "stored data");
    badCrc.crc = 0x12345678;
    Archive a;
    a.members = {cut, badCrc};
    std::string zip = writeArchive("t.zip", a);
    fs::create_directories(out());
    ziptest::writeFile(outFile("mine"), {'m', 'y'});

    extract(zip);
    EXPECT_EQ(Tarrow_GetLastError(), 0);
    ASSERT_TRUE(fs::exists(outFile("cut")));
    const std::string partial = readFile(outFile("cut"));
    EXPECT_GT(partial.size(), 0u);
    EXPECT_EQ(partial, noise.substr(0, partial.size()));
    EXPECT_EQ(readFile(outFile("crc")), "stored data");
    EXPECT_EQ(readFile(outFile("mine")), "my");
}

TEST_F(ExtractTest, WriteErrorDeletesThePartlyWrittenFile) {
    Archive a;
    a.members = {member("keep", "k"), member("big", std::string(200000, 'b')), member("after", "a")};
    std::string zip = writeArchive("t.zip", a);
    // Files may not grow past 64 KB: writing the big member fails partway.
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit limited = old;
    limited.rlim_cur = 65536;
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    extract(zip);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(Tarrow_GetLastError(), TARROW_ERROR_WRITE);
    EXPECT_EQ(readFile(outFile("keep")), "k");
    EXPECT_FALSE(fs::exists(outFile("big")));
    EXPECT_FALSE(fs::exists(outFile("after")));
}

TEST_F(ExtractTest, DeviceOutputReplacesWhatItHeldThenAppends) {
    Archive a;
    a.members = {member("a", "one"), member("sub/b", "two")};
    std::string zip = writeArchive("t.zip", a);
    ziptest::writeFile(path("device"), ziptest::Bytes{'o', 'l', 'd', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't'});
    const std::string device = path("device");
    EXPECT_EQ(extract(zip, [&] { Tarrow_ToPrinter(device.c_str()); }), 2);
    EXPECT_EQ(readFile(device), "onetwo");
    EXPECT_FALSE(fs::exists(out()));
}

TEST_F(ExtractTest, FolderRemovedDuringThePassIsMadeAgain) {
    Archive a;
    a.members = {member("d/e/a", "a"), member("d/e/b", "b"), member("d/e/f/c", "c")};
    std::string zip = writeArchive("t.zip", a);
    const std::string removed = outFile("d");
    // The host deletes the folder as soon as the first file is in it.
    answer = [&](int code, const std::string& text) -> int16_t {
        if (code == TARROW_MSG_EXTRACT_DONE && text.find("/d/e/a|") != std::string::npos) fs::remove_all(removed);
        return 0;
    };
    EXPECT_EQ(extract(zip), 3);
    EXPECT_FALSE(fs::exists(outFile("d/e/a")));
    EXPECT_EQ(readFile(outFile("d/e/b")), "b");
    EXPECT_EQ(readFile(outFile("d/e/f/c")), "c");
    EXPECT_TRUE(texts(TARROW_MSG_WARNING).empty());
}

TEST_F(ExtractTest, EveryFileOfThePassGetsItsOwnTimeAndMode) {
    // 1999-12-31 23:59:58 and 2010-07-15 08:30:00, the second read-only; both in one folder.
    const uint16_t date1 = uint16_t((19 << 9) | (12 << 5) | 31), time1 = uint16_t(23 << 11 | 59 << 5 | 29);
    const uint16_t date2 = uint16_t((30 << 9) | (7 << 5) | 15), time2 = uint16_t(8 << 11 | 30 << 5);
    Archive a;
    a.members = {member("f/x", "x", date1, time1), member("f/y", "y", date2, time2)};
    a.members[1].external = 0x01;
    std::string zip = writeArchive("t.zip", a);
    EXPECT_EQ(extract(zip, [] { Tarrow_RestoreAttributes(TARROW_ATTRIBUTES_ALL); }), 2);
    auto localTime = [](const std::string& file) {
        struct stat st {};
        EXPECT_EQ(stat(file.c_str(), &st), 0);
        std::tm t{};
        time_t when = st.st_mtime;
        localtime_r(&when, &t);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &t);
        return std::make_pair(std::string(text), st.st_mode & 0777);
    };
    const auto x = localTime(outFile("f/x")), y = localTime(outFile("f/y"));
    EXPECT_EQ(x.first, "1999-12-31 23:59:58");
    EXPECT_EQ(y.first, "2010-07-15 08:30:00");
    EXPECT_NE(x.second & S_IWUSR, 0u);
    EXPECT_EQ(y.second & 0222, 0u);
}

// Deflate64 archives of other projects extract to what 7-Zip extracts from them.
TEST_F(ExtractTest, Deflate64CorpusArchivesExtractLikeTheIndependentTool) {
    const std::string corpus = std::string(VELTRANE_SHARED_DIR) + "/corpus/zip/";
    if (!fs::exists(corpus) || std::system("7z i >/dev/null 2>&1") != 0) GTEST_SKIP() << "no corpus or no 7z";
    for (const char* name : {"cc_lorem-ipsum-deflate64.zip", "zjs_long-match-deflate64.zip", "zjs_lorem-deflate64.zip",
                             "zjs_lorem.exe.zip", "zjs_lorem-securezip-deflate64.zip"}) {
        messages.clear();
        fs::remove_all(out());
        const std::string reference = path("reference");
        fs::remove_all(reference);
        const std::string cmd = "7z x -y '-o" + reference + "' '" + corpus + name + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << name;
        EXPECT_EQ(extract(corpus + name), 1) << name;
        EXPECT_TRUE(texts(TARROW_MSG_WARNING).empty()) << name;
        size_t files = 0;
        for (const auto& e : fs::recursive_directory_iterator(reference)) {
            if (!e.is_regular_file()) continue;
            ++files;
            const std::string relative = fs::relative(e.path(), reference).string();
            EXPECT_EQ(readFile(outFile(relative)), readFile(e.path().string())) << name << " " << relative;
        }
        EXPECT_EQ(files, 1u) << name;
    }
}

TEST_F(ExtractTest, TargetNamesGoThroughTheHostsResolverAndStayAsTheyAreWithoutOne) {
    Archive a;
    for (const char* name : {"Skin/Main.bmp", "SKIN/main.BMP", "skin/"}) {
        Member m;
        m.name = name;
        m.data = name;
        a.members.push_back(m);
    }
    const std::string archive = writeArchive("case.zip", a);
    // The library's own default: names are written as stored.
    ASSERT_EQ(extract(archive), 2);  // the folder entry is no member processed
    EXPECT_EQ(readFile(outFile("Skin/Main.bmp")), "Skin/Main.bmp");
    EXPECT_EQ(readFile(outFile("SKIN/main.BMP")), "SKIN/main.BMP");
    EXPECT_TRUE(fs::is_directory(outFile("skin")));
    fs::remove_all(out());

    // A host that folds names below this test's folder to lower case sees each target, folders
    // included, and decides.
    static std::vector<std::string> asked;
    static std::string folder;
    asked.clear();
    folder = path("");
    TarrowPlatformHooks hooks{};
    hooks.size = sizeof hooks;
    hooks.resolve_target = [](void*, const char* path, char* resolved, uint32_t capacity) -> int32_t {
        asked.push_back(path);
        std::string lower = path;
        if (lower.rfind(folder, 0) != 0) return 0;
        for (size_t i = folder.size(); i < lower.size(); ++i)
            lower[i] = char(std::tolower(static_cast<unsigned char>(lower[i])));
        if (lower.size() >= capacity) return 0;
        std::memcpy(resolved, lower.c_str(), lower.size() + 1);
        return 1;
    };
    tarrow_platform_set_hooks(&hooks);
    const std::string folded = path("out"), mixed = path("OUT");
    fs::create_directories(folded);
    Tarrow_Initialise();
    Tarrow_ArchiveName(archive.c_str());
    Tarrow_ExtractTo(mixed.c_str());
    Tarrow_RestoreStructure(1);
    Tarrow_Overwrite(TARROW_OVERWRITE_ALWAYS);
    EXPECT_EQ(Tarrow(), 2);
    tarrow_platform_set_hooks(nullptr);
    EXPECT_EQ(asked, (std::vector<std::string>{mixed + "/Skin/Main.bmp", mixed + "/SKIN/main.BMP", mixed + "/skin/"}));
    // The later member replaced the earlier one; nothing went where the stored names pointed.
    EXPECT_EQ(readFile(outFile("skin/main.bmp")), "SKIN/main.BMP");
    EXPECT_FALSE(fs::exists(mixed));
}

TEST_F(ExtractTest, AHookTableIsReadOnlyUpToTheSizeItStates) {
    static int resolved = 0;
    resolved = 0;
    TarrowPlatformHooks full{};
    full.size = sizeof full;
    full.resolve_target = [](void*, const char*, char*, uint32_t) -> int32_t { return ++resolved, 0; };
    // A host built against a header whose table ended before resolve_target: its table is only that
    // long (AddressSanitizer sees any read past it), and what follows it is not a hook.
    const size_t older = offsetof(TarrowPlatformHooks, resolve_target);
    std::unique_ptr<char[]> table(new char[older]);
    std::memcpy(table.get(), &full, older);
    reinterpret_cast<TarrowPlatformHooks*>(table.get())->size = older;
    Archive a;
    a.members.push_back(Member{});
    a.members.back().name = "a.txt";
    a.members.back().data = "a";
    const std::string archive = writeArchive("older.zip", a);
    tarrow_platform_set_hooks(reinterpret_cast<TarrowPlatformHooks*>(table.get()));
    EXPECT_EQ(extract(archive), 1);
    EXPECT_EQ(resolved, 0);
    tarrow_platform_set_hooks(&full);
    EXPECT_EQ(extract(archive), 1);
    tarrow_platform_set_hooks(nullptr);
    EXPECT_GT(resolved, 0);
}

// The progress messages count the stored bytes read over the whole run, of every member decoded so
// far, against the selection's total: after the last member they are equal.
TEST_F(ExtractTest, ProgressCountsTheStoredBytesRead) {
    Archive a;
    a.members = {ziptest::deflated("a", std::string(5000, 'a')), member("b", "stored bytes")};
    const std::string zip = writeArchive("t.zip", a);
    EXPECT_EQ(test(zip), 2);
    const std::vector<std::string> done = texts(TARROW_MSG_TEST_DONE);
    ASSERT_EQ(done.size(), 2u);
    auto lastTwo = [](const std::string& text) {
        const size_t end = text.rfind('|', text.size() - 2);
        return text.substr(text.rfind('|', end - 1) + 1);
    };
    const uint64_t packed = ziptest::deflate(std::string(5000, 'a')).size() + 12;
    EXPECT_EQ(lastTwo(done[1]), std::to_string(packed) + "|" + std::to_string(packed) + "|");
    EXPECT_NE(lastTwo(done[0]), lastTwo(done[1]));
}
