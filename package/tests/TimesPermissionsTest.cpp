// Modification times from the NTFS and extended-timestamp fields (UTC) beside the DOS time (local),
// as the handle interface reports and sets them and the flat interface lists and sets them; Unix
// permission bits on extraction, through the umask, with folders closed only at the end.
#include "ExtraField.h"
#include "LibraryFixture.h"
#include "base/PackageMessages.h"

#include "tarrow_archive.h"

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <optional>
#include <sys/stat.h>

namespace fs = std::filesystem;
using ziptest::Archive;
using ziptest::Bytes;
using ziptest::Member;
using ziptest::put16;
using ziptest::put32;
using ziptest::put64;

namespace {

// Central European time with its summer time, spelt out so that no zone file is needed.
constexpr const char* kZone = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr int64_t kWinterUtc = 1700000000;  // 2023-11-14 22:13:20 UTC, 23:13:20 in the zone
constexpr int64_t kSummerUtc = 1600000000;  // 2020-09-13 12:26:40 UTC, 14:26:40 in the zone
// 2001-05-01 12:00:00 as DOS stores it; 10:00:00 UTC when read in the zone (summer time).
constexpr uint16_t kDosDate = uint16_t((21 << 9) | (5 << 5) | 1), kDosTime = uint16_t(12 << 11);
constexpr int64_t kDosInZone = 988711200;

Bytes block(uint16_t id, const Bytes& data) {
    Bytes b;
    put16(b, id);
    put16(b, uint32_t(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    return b;
}
Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// An extended-timestamp block: the flags byte, then the times it announces.
Bytes timestamp(uint8_t flags, std::initializer_list<int32_t> times) {
    Bytes data{flags};
    for (int32_t t : times) put32(data, uint32_t(t));
    return block(0x5455, data);
}
// An NTFS block with tag 1 of `size` bytes: modification time `seconds` (plus half a second),
// access and creation time zero.
Bytes ntfs(int64_t seconds, uint16_t size = 24, bool zero = false) {
    Bytes data(4, 0);
    put16(data, 0x7777);  // an attribute of another tag first, which is skipped
    put16(data, 2);
    put16(data, 0);
    put16(data, 1);
    put16(data, size);
    put64(data, zero ? 0 : uint64_t(seconds + 11644473600) * 10000000 + 5000000);
    data.resize(data.size() + (size >= 8 ? size - 8 : 0), 0);
    return block(0x000a, data);
}

std::optional<int64_t> timeOf(const Bytes& extra, uint16_t dosDate = kDosDate) {
    return tarrow::extraFieldTime(extra, dosDate);
}

// The members of the times archive, each with the time it must come out with.
struct Timed {
    const char* name;
    Bytes extra;
    int64_t expected;
};
std::vector<Timed> timedMembers() {
    Bytes truncated = ntfs(kSummerUtc);
    truncated.resize(truncated.size() - 3);  // the block claims more than the field holds
    return {
        {"ut", timestamp(1, {int32_t(kWinterUtc)}), kWinterUtc},
        {"ut-local-copy", timestamp(7, {int32_t(kWinterUtc), 1, 2}), kWinterUtc},
        {"ntfs", ntfs(kSummerUtc), kSummerUtc},
        {"both", timestamp(1, {int32_t(kWinterUtc)}) + ntfs(kSummerUtc), kSummerUtc},
        {"neither", {}, kDosInZone},
        {"ut-short", block(0x5455, {1, 0x10, 0x20}), kDosInZone},
        {"ut-no-mtime", timestamp(2, {int32_t(kWinterUtc)}), kDosInZone},
        {"ntfs-odd-size", ntfs(kSummerUtc, 16), kDosInZone},
        {"ntfs-zero-then-ut", ntfs(0, 24, true) + timestamp(1, {int32_t(kWinterUtc)}), kWinterUtc},
        {"ntfs-truncated", timestamp(1, {int32_t(kWinterUtc)}) + truncated, kWinterUtc},
        {"truncated-only", truncated, kDosInZone},
    };
}

int64_t mtimeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return int64_t(st.st_mtime);
}

unsigned modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return unsigned(st.st_mode & 07777);
}

// Runs each test in the zone above with umask 022, and puts both back afterwards.
class TimesPermissionsTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        if (const char* tz = std::getenv("TZ")) m_zone = tz;
        setenv("TZ", kZone, 1);
        tzset();
        m_umask = umask(022);
    }
    void TearDown() override {
        umask(m_umask);
        if (m_zone) setenv("TZ", m_zone->c_str(), 1);
        else unsetenv("TZ");
        tzset();
        // Folders left without owner permissions would keep the test's folder from going.
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(path(""), ec); !ec && it != fs::end(it); it.increment(ec))
            if (it->is_directory() && !it->is_symlink()) chmod(it->path().c_str(), 0700);
        LibraryTest::TearDown();
    }

    std::string timesArchive() {
        Archive a;
        for (const Timed& t : timedMembers()) {
            Member m = ziptest::stored(t.name, t.name);
            m.dosDate = kDosDate;
            m.dosTime = kDosTime;
            m.extra = t.extra;
            a.members.push_back(m);
        }
        return writeArchive("times.zip", a);
    }

    // A member made on a Unix host with the mode in the upper half of its attributes.
    static Member unixMember(const std::string& name, uint32_t mode, const std::string& data = "x") {
        Member m = ziptest::stored(name, data);
        m.hostSystem = 3;
        m.external = mode << 16 | ((mode & 0170000) == 0040000 ? 0x10 : 0);
        return m;
    }
    std::string modesArchive() {
        Archive a;
        Member dosMade = unixMember("dos-made", 0100700);
        dosMade.hostSystem = 0;  // the upper half means nothing without a Unix host
        a.members = {
            unixMember("bin/run", 0100755),   unixMember("read", 0100644),           unixMember("secret", 0100600),
            unixMember("setuid", 0104755),    unixMember("sticky", 0101777),         unixMember("ro/", 040555),
            unixMember("ro/inside", 0100644), unixMember("ro/sub/", 040500),         unixMember("ro/sub/deep", 0100400),
            unixMember("open/", 040700),      unixMember("link", 0120777, "secret"), dosMade};
        return writeArchive("modes.zip", a);
    }
    // What modesArchive's members end as under umask 022.
    static std::map<std::string, unsigned> expectedModes() {
        return {{"bin/run", 0755},     {"read", 0644}, {"secret", 0600},    {"setuid", 0755},
                {"sticky", 0755},      {"ro", 0555},   {"ro/inside", 0644}, {"ro/sub", 0500},
                {"ro/sub/deep", 0400}, {"open", 0700}, {"link", 0644},      {"dos-made", 0644}};
    }
    std::string out(const std::string& name = "") const { return path("out/" + name); }

private:
    std::optional<std::string> m_zone;
    mode_t m_umask = 022;
};

}  // namespace

TEST(ExtraFieldTime, ReadsEitherFieldAndNothingPastItsBounds) {
    // The central copy of the extended timestamp holds the modification time only; the local one
    // may hold all three.
    EXPECT_EQ(timeOf(timestamp(1, {int32_t(kWinterUtc)})), kWinterUtc);
    EXPECT_EQ(timeOf(timestamp(7, {int32_t(kWinterUtc), 5, 6})), kWinterUtc);
    EXPECT_EQ(timeOf(timestamp(1, {-86400})), -86400);  // before 1970 where the DOS date is before 2038
    // Past January 2038 writers store the seconds unsigned; the DOS date tells the two apart.
    constexpr int64_t k2105 = 4260211201;  // 2105-01-01 00:00:01 UTC
    constexpr uint16_t kDos2104 = uint16_t(((2104 - 1980) << 9) | (12 << 5) | 31);
    EXPECT_EQ(timeOf(timestamp(1, {int32_t(uint32_t(k2105))}), kDos2104), k2105);
    EXPECT_EQ(timeOf(timestamp(1, {int32_t(uint32_t(k2105))}), 0), k2105);  // no valid DOS date
    EXPECT_EQ(timeOf(timestamp(1, {-86400}), kDos2104), int64_t(uint32_t(-86400)));
    EXPECT_EQ(timeOf(ntfs(kSummerUtc)), kSummerUtc);  // half a second dropped
    EXPECT_EQ(timeOf(ntfs(-11644473600 + 1)), -11644473600 + 1);
    // Both: the NTFS time wins, wherever it stands.
    EXPECT_EQ(timeOf(ntfs(kSummerUtc) + timestamp(1, {int32_t(kWinterUtc)})), kSummerUtc);
    EXPECT_EQ(timeOf(timestamp(1, {int32_t(kWinterUtc)}) + ntfs(kSummerUtc)), kSummerUtc);

    // Nothing from fields that do not hold what they announce. Each vector ends where the field
    // does, so that a read past it shows under the address sanitizer.
    EXPECT_EQ(timeOf({}), std::nullopt);
    EXPECT_EQ(timeOf(block(0x5455, {})), std::nullopt);
    EXPECT_EQ(timeOf(block(0x5455, {1, 0, 0, 0})), std::nullopt);
    EXPECT_EQ(timeOf(timestamp(6, {1, 2})), std::nullopt);  // access and creation time only
    EXPECT_EQ(timeOf(ntfs(kSummerUtc, 8)), std::nullopt);
    EXPECT_EQ(timeOf(ntfs(kSummerUtc, 32)), std::nullopt);
    EXPECT_EQ(timeOf(ntfs(0, 24, true)), std::nullopt);
    EXPECT_EQ(timeOf(block(0x000a, {0, 0, 0})), std::nullopt);
    EXPECT_EQ(timeOf(block(0x000a, {0, 0, 0, 0, 1, 0, 24, 0, 1, 2, 3})), std::nullopt);  // tag 1 cut short
    Bytes cut = ntfs(kSummerUtc);
    for (size_t size = 0; size < cut.size(); ++size)
        EXPECT_EQ(timeOf(Bytes(cut.begin(), cut.begin() + long(size))), std::nullopt) << size;
    // A malformed NTFS field leaves the extended timestamp in force.
    EXPECT_EQ(timeOf(ntfs(kSummerUtc, 16) + timestamp(1, {int32_t(kWinterUtc)})), kWinterUtc);
}

// A real archive whose members are named for the year of their extended timestamp, 1970 to 2106
// (later years do not fit the field): every such member is listed in its year.
TEST(ExtraFieldTime, YearsOnBothSidesOf2038InARealArchive) {
    const std::string path = std::string(VELTRANE_SHARED_DIR) + "/corpus/zip/cc_COMPRESS-210_unix_time_zip_test.zip";
    if (!fs::exists(path)) GTEST_SKIP() << "no corpus at " << path;
    tarrow_archive* archive = nullptr;
    ASSERT_EQ(tarrow_open(path.c_str(), &archive), TARROW_OK);
    int checked = 0;
    for (size_t i = 0; i < tarrow_entry_count(archive); ++i) {
        tarrow_entry e{};
        ASSERT_EQ(tarrow_entry_at(archive, i, &e), TARROW_OK);
        const std::string name = fs::path(e.name).filename().string();
        const int year = std::atoi(name.c_str());
        if (year < 1970 || year > 2106) continue;
        const time_t when = time_t(e.mtime);
        std::tm utc{};
        ASSERT_TRUE(gmtime_r(&when, &utc));
        EXPECT_EQ(utc.tm_year + 1900, year) << e.name;
        ++checked;
    }
    tarrow_close(archive);
    EXPECT_EQ(checked, 10);
}

TEST_F(TimesPermissionsTest, HandleInterfaceReportsAndSetsTheMembersTime) {
    const std::string zip = timesArchive();
    tarrow_archive* archive = nullptr;
    ASSERT_EQ(tarrow_open(zip.c_str(), &archive), TARROW_OK);
    const std::vector<Timed> members = timedMembers();
    ASSERT_EQ(tarrow_entry_count(archive), members.size());
    for (size_t i = 0; i < members.size(); ++i) {
        tarrow_entry e{};
        ASSERT_EQ(tarrow_entry_at(archive, i, &e), TARROW_OK);
        EXPECT_EQ(e.mtime, members[i].expected) << e.name;
        EXPECT_EQ(e.dos_date, kDosDate);  // the stored DOS time stays as it is
        ASSERT_EQ(tarrow_extract(archive, i, out().c_str(), nullptr), TARROW_OK);
        EXPECT_EQ(mtimeOf(out(members[i].name)), members[i].expected) << members[i].name;
    }
    tarrow_close(archive);
}

TEST_F(TimesPermissionsTest, FlatInterfaceListsAndSetsTheMembersTime) {
    const std::string zip = timesArchive();
    const std::vector<Timed> members = timedMembers();
    EXPECT_EQ(extractInto(zip, out()), int32_t(members.size()));
    for (const Timed& t : members) EXPECT_EQ(mtimeOf(out(t.name)), t.expected) << t.name;

    // The listing's date and time fields show the same moment in local time, with the field
    // layout unchanged.
    messages.clear();
    EXPECT_EQ(list(zip), int32_t(members.size()));
    std::map<std::string, std::string> shown;
    for (const std::string& text : texts(TARROW_MSG_LISTING)) {
        const auto fields = veltrane::ListingMessageFields(text, zip);
        ASSERT_TRUE(fields) << text;
        shown[(*fields)[2]] = (*fields)[6] + " " + (*fields)[7];
    }
    EXPECT_EQ(shown["ut"], "2023-11-14 23:13:20");
    EXPECT_EQ(shown["ntfs"], "2020-09-13 14:26:40");
    EXPECT_EQ(shown["both"], "2020-09-13 14:26:40");
    EXPECT_EQ(shown["neither"], "2001-05-01 12:00:00");
    EXPECT_EQ(shown["ut-short"], "2001-05-01 12:00:00");
    EXPECT_EQ(shown["ntfs-truncated"], "2023-11-14 23:13:20");
}

TEST_F(TimesPermissionsTest, OverwriteQuestionAndFreshenGoByTheMembersTime) {
    // The DOS time says 2001, the extended timestamp 2023: the timestamp decides.
    Archive a;
    Member m = ziptest::stored("f", "member");
    m.dosDate = kDosDate;
    m.dosTime = kDosTime;
    m.extra = timestamp(1, {int32_t(kWinterUtc)});
    a.members = {m};
    const std::string zip = writeArchive("t.zip", a);
    fs::create_directories(out());
    auto existingAt = [&](int64_t when) {
        ziptest::writeFile(out("f"), Bytes{'o', 'l', 'd'});
        struct timespec times[2] = {{time_t(when), 0}, {time_t(when), 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, out("f").c_str(), times, 0), 0);
    };
    existingAt(kWinterUtc + 1);
    EXPECT_EQ(extractInto(zip, out(), [] { Tarrow_Freshen(1); }), 0);
    EXPECT_EQ(readFile(out("f")), "old");
    existingAt(kWinterUtc - 3600);  // newer than the DOS time, older than the member's own
    EXPECT_EQ(extractInto(zip, out(), [] { Tarrow_Update(1); }), 1);
    EXPECT_EQ(readFile(out("f")), "member");

    answer = [](int, const std::string&) -> int16_t { return TARROW_OVERWRITE_NO; };
    messages.clear();
    extractInto(zip, out(), [] { Tarrow_Overwrite(TARROW_OVERWRITE_ASK); });
    ASSERT_EQ(texts(TARROW_MSG_OVERWRITE).size(), 1u);
    const std::string question = texts(TARROW_MSG_OVERWRITE)[0];
    EXPECT_NE(question.find("|6|14 November 2023 23:13|"), std::string::npos) << question;
}

TEST_F(TimesPermissionsTest, HandleExtractionGivesUnixModesAndClosesFoldersLast) {
    const std::string zip = modesArchive();
    tarrow_archive* archive = nullptr;
    ASSERT_EQ(tarrow_open(zip.c_str(), &archive), TARROW_OK);
    for (size_t i = 0; i < tarrow_entry_count(archive); ++i) {
        tarrow_entry e{};
        ASSERT_EQ(tarrow_entry_at(archive, i, &e), TARROW_OK);
        EXPECT_EQ(tarrow_extract(archive, i, out().c_str(), nullptr), TARROW_OK) << e.name;
    }
    // A folder that keeps its owner's write and search permission has its mode at once; the others
    // wait for tarrow_close and stay open meanwhile.
    EXPECT_EQ(modeOf(out("open")), 0700u);
    EXPECT_EQ(modeOf(out("ro")), 0755u);
    EXPECT_EQ(modeOf(out("ro/sub")), 0755u);
    EXPECT_EQ(tarrow_extract(archive, 6, out().c_str(), nullptr), TARROW_OK);  // ro/inside again
    tarrow_close(archive);
    for (const auto& [name, mode] : expectedModes()) EXPECT_EQ(modeOf(out(name)), mode) << name;
    EXPECT_EQ(readFile(out("ro/sub/deep")), "x");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out("link"))));

    // The umask is the process's, read at the time.
    umask(027);
    ASSERT_EQ(tarrow_open(zip.c_str(), &archive), TARROW_OK);
    EXPECT_EQ(tarrow_extract(archive, 0, path("other").c_str(), nullptr), TARROW_OK);
    tarrow_close(archive);
    EXPECT_EQ(modeOf(path("other/bin/run")), 0750u);
}

TEST_F(TimesPermissionsTest, FlatExtractionGivesUnixModesOnlyWhenAsked) {
    const std::string zip = modesArchive();
    // By default the DOS attribute rules hold: files as created, folders open.
    EXPECT_EQ(extractInto(zip, path("plain")), 9);
    EXPECT_EQ(modeOf(path("plain/bin/run")), 0644u);
    EXPECT_EQ(modeOf(path("plain/secret")), 0644u);
    EXPECT_EQ(modeOf(path("plain/ro")), 0755u);

    // Asked for, the modes apply; each folder is still open for its owner while its files are
    // written, and gets its mode when the pass ends.
    std::vector<unsigned> folderWhileWriting;
    answer = [&](int code, const std::string& text) -> int16_t {
        if (code == TARROW_MSG_EXTRACT_START && folderWhileWriting.empty() &&
            text.find("ro/sub/deep|") != std::string::npos) {
            folderWhileWriting.push_back(modeOf(out("ro")));
            folderWhileWriting.push_back(modeOf(out("ro/sub")));
        }
        return 0;
    };
    EXPECT_EQ(extractInto(zip, out(), [] { Tarrow_RestorePermissions(1); }), 9);
    EXPECT_EQ(folderWhileWriting, (std::vector<unsigned>{0755, 0755}));
    for (const auto& [name, mode] : expectedModes()) EXPECT_EQ(modeOf(out(name)), mode) << name;

    // The setting is reset by the main call, as every other: a second pass leaves the modes alone.
    chmod(out("ro/sub").c_str(), 0755);
    chmod(out("ro").c_str(), 0755);
    fs::remove(out("secret"));
    EXPECT_EQ(extractInto(zip, out()), 9);
    EXPECT_EQ(modeOf(out("secret")), 0644u);
    EXPECT_EQ(modeOf(out("ro")), 0755u);
}

TEST_F(TimesPermissionsTest, NoModeGoesThroughALinkAtTheTarget) {
    // A link planted where a folder and a file will go: neither its target folder nor its target
    // file takes a member's mode, and a link at a file's path is replaced, not written through (a
    // dangling one would create its target).
    const std::string zip = modesArchive();
    fs::create_directories(path("elsewhere/ro"));
    chmod(path("elsewhere/ro").c_str(), 0751);
    ziptest::writeFile(path("elsewhere/file"), Bytes{'t'});
    chmod(path("elsewhere/file").c_str(), 0640);
    fs::create_directories(out());
    fs::create_directory_symlink(path("elsewhere/ro"), out("open"));
    fs::create_symlink(path("elsewhere/file"), out("secret"));
    fs::create_symlink(path("elsewhere/new"), out("read"));
    extractInto(zip, out(), [] { Tarrow_RestorePermissions(1); });
    EXPECT_EQ(modeOf(path("elsewhere/ro")), 0751u);
    EXPECT_EQ(modeOf(path("elsewhere/file")), 0640u);
    EXPECT_EQ(readFile(path("elsewhere/file")), "t");
    EXPECT_FALSE(fs::exists(path("elsewhere/new")));
    EXPECT_FALSE(fs::is_symlink(out("secret")));
    EXPECT_EQ(readFile(out("secret")), "x");

    // The handle interface sets "open/" (0700) at once, and "ro/" (0555) at the close.
    fs::create_directories(path("handle"));
    fs::create_directory_symlink(path("elsewhere/ro"), path("handle/open"));
    fs::create_directory_symlink(path("elsewhere/ro"), path("handle/ro"));
    fs::create_symlink(path("elsewhere/file"), path("handle/secret"));
    fs::create_symlink(path("elsewhere/new"), path("handle/read"));
    tarrow_archive* archive = nullptr;
    ASSERT_EQ(tarrow_open(zip.c_str(), &archive), TARROW_OK);
    for (size_t i = 0; i < tarrow_entry_count(archive); ++i)
        tarrow_extract(archive, i, path("handle").c_str(), nullptr);
    tarrow_close(archive);
    EXPECT_EQ(modeOf(path("elsewhere/ro")), 0751u);
    EXPECT_EQ(readFile(path("elsewhere/file")), "t");
    EXPECT_FALSE(fs::exists(path("elsewhere/new")));
    EXPECT_EQ(readFile(path("handle/secret")), "x");
}
