// The extraction pass's file-system services: DOS stamps read as local time exactly as mktime() reads
// them, in zones with and without summer time, and output folders that are remembered but made again
// when they vanish.
#include "base/DosTime.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace tarrow::platform;

namespace {

std::optional<time_t> byMktime(uint16_t date, uint16_t time) {
    std::tm t = veltrane::DosTimeFields(date, time);
    time_t when = std::mktime(&t);
    return when == time_t(-1) ? std::nullopt : std::optional<time_t>(when);
}

// Sets TZ for one test and restores it afterwards.
class ZoneTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) m_saved = tz;
    }
    void TearDown() override {
        if (m_saved) setenv("TZ", m_saved->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    static void use(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }

private:
    std::optional<std::string> m_saved;
};

class OutputFoldersTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tarrow-files-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
    }
    void TearDown() override { fs::remove_all(m_root); }
    std::string at(const std::string& name) const { return m_root + "/" + name; }
    static bool create(OutputFolders& folders, const std::string& file) {
        int fd = folders.createFile(file);
        if (fd >= 0) close(fd);
        return fd >= 0;
    }

private:
    std::string m_root;
};

}  // namespace

TEST_F(ZoneTest, DosStampsReadAsMktimeReadsThem) {
    // POSIX rules need no zone files: central Europe, eastern North America, Lord Howe Island's
    // half-hour summer time, the southern hemisphere, and a zone with none.
    const char* zones[] = {"CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0",
                           "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0", "AEST-10AEDT,M10.1.0,M4.1.0/3", "UTC0"};
    std::mt19937 rng(17);
    for (const char* zone : zones) {
        use(zone);
        LocalTime local;
        // Every day from 1980 to 2040 at the hours summer time starts and ends around, and at noon.
        for (unsigned year = 0; year <= 60; ++year)
            for (unsigned month = 1; month <= 12; ++month)
                for (unsigned day = 1; day <= 31; ++day)
                    for (unsigned hour : {0u, 1u, 2u, 3u, 12u}) {
                        const uint16_t date = uint16_t(year << 9 | month << 5 | day);
                        const uint16_t time = uint16_t(hour << 11 | 30 << 5 | 15);
                        ASSERT_EQ(local.fromDos(date, time), byMktime(date, time))
                            << zone << " " << std::hex << date << " " << time;
                    }
        // Any bit pattern at all, out-of-range months, days, hours and minutes included.
        for (int i = 0; i < 20000; ++i) {
            const uint16_t date = uint16_t(rng()), time = uint16_t(rng());
            ASSERT_EQ(local.fromDos(date, time), byMktime(date, time))
                << zone << " " << std::hex << date << " " << time;
        }
    }
}

TEST_F(ZoneTest, ZoneIsReadAgainByTheNextPass) {
    const uint16_t date = uint16_t(30 << 9 | 7 << 5 | 15), time = uint16_t(12 << 11);
    use("UTC0");
    const auto utc = LocalTime().fromDos(date, time);
    // Changed as mktime() would notice it, without telling the C library.
    setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
    const auto eastern = LocalTime().fromDos(date, time);
    ASSERT_TRUE(utc && eastern);
    EXPECT_EQ(*eastern - *utc, 4 * 3600);
}

TEST_F(OutputFoldersTest, KnownFoldersThatVanishAreMadeAgain) {
    OutputFolders folders;
    ASSERT_TRUE(create(folders, at("a/b/one")));
    fs::remove_all(at("a"));
    // The file's own folder was known, and so was the parent of a new folder.
    EXPECT_TRUE(create(folders, at("a/b/two")));
    fs::remove_all(at("a"));
    EXPECT_TRUE(create(folders, at("a/b/c/three")));
    fs::remove_all(at("a"));
    folders.createFolders(at("a/b/d/"));
    EXPECT_TRUE(fs::is_directory(at("a/b/d")));
}

TEST_F(OutputFoldersTest, AFileWhereAFolderBelongsFailsEveryTime) {
    OutputFolders folders;
    ASSERT_TRUE(create(folders, at("plain")));
    EXPECT_FALSE(create(folders, at("plain/x")));
    EXPECT_FALSE(create(folders, at("plain/y")));
    EXPECT_TRUE(fs::is_regular_file(at("plain")));
}
