// Real archives from other projects' test suites, listed and compared with the manifest that
// records what an independent tool made of them.
#include "Json.h"
#include "LibraryFixture.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace {

const std::string kCorpus = std::string(VELTRANE_SHARED_DIR) + "/corpus/zip/";

// Code page 437, bytes 0x80 to 0xFF; the manifest writes names that are not UTF-8 through it.
const unsigned kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC,
    0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2,
    0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310,
    0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C,
    0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF,
    0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2,
    0x25A0, 0x00A0};

// The stored bytes of a name the manifest wrote as CP437 text; "" when it holds other characters.
std::string cp437Bytes(const std::string &utf8)
{
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = uint8_t(utf8[i]);
        unsigned cp;
        size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        if (n == 1)
            cp = c;
        else {
            cp = c & (0x3F >> (n - 1));
            for (size_t k = 1; k < n && i + k < utf8.size(); ++k)
                cp = cp << 6 | (uint8_t(utf8[i + k]) & 0x3F);
        }
        i += n;
        if (cp < 0x80) {
            out += char(cp);
            continue;
        }
        const unsigned *hit = std::find(std::begin(kCp437High), std::end(kCp437High), cp);
        if (hit == std::end(kCp437High))
            return {};
        out += char(0x80 + (hit - kCp437High));
    }
    return out;
}

struct Listed {
    std::string text; // message 21 after the archive name
};

// Does the listing text describe this manifest member?
bool describes(const std::string &text, const testjson::Value &member)
{
    const std::string &name = member["name"].string;
    std::vector<std::string> spellings{name, cp437Bytes(name)};
    std::string sizes = "|" + std::to_string(uint64_t(member["size"].number)) + "|" +
                        std::to_string(uint64_t(member["csize"].number)) + "|";
    for (const std::string &n : spellings) {
        if (n.empty() && !name.empty())
            continue;
        size_t slash = n.rfind('/');
        std::vector<std::string> splits{n + "|"};
        splits.push_back(slash == std::string::npos ? "|" + n : n.substr(0, slash) + "|" + n.substr(slash + 1));
        for (const std::string &split : splits) {
            std::string head = split + sizes;
            if (text.compare(0, head.size(), head) != 0)
                continue;
            // ratio, date, time, attributes, method, encrypted, CRC
            size_t at = head.size();
            for (int skip = 0; skip < 6 && at != std::string::npos; ++skip)
                at = text.find('|', at) + 1;
            if (at != std::string::npos && text.compare(at, 9, member["crc"].string + "|") == 0)
                return true;
        }
    }
    return false;
}

bool hasFeature(const testjson::Value &entry, const std::string &feature)
{
    for (const testjson::Value &f : entry["features"].array)
        if (f.string == feature)
            return true;
    return false;
}

class CorpusTest : public LibraryTest {
protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        if (!std::filesystem::exists(kCorpus + "MANIFEST.json"))
            GTEST_SKIP() << "no corpus at " << kCorpus;
        std::ifstream file(kCorpus + "MANIFEST.json");
        std::stringstream text;
        text << file.rdbuf();
        manifest = testjson::parse(text.str());
        // There are no other disks to offer.
        answer = [](int code, const std::string &) -> int16_t { return code == TARROW_MSG_DISK ? 255 : 0; };
    }

    // Lists one archive and returns the listing texts after the archive name.
    std::vector<std::string> listing(const std::string &file)
    {
        messages.clear();
        list(file);
        std::vector<std::string> out;
        for (const std::string &t : texts(TARROW_MSG_LISTING))
            out.push_back(t.substr(std::min(t.size(), file.size() + 1)));
        return out;
    }

    testjson::Value manifest;
};

} // namespace

TEST_F(CorpusTest, ListsWhatTheIndependentToolLists)
{
    // The end record that accounts for the whole file is the outer archive's; the reference tool
    // took the one inside its comment.
    const std::set<std::string> outerArchiveTaken{"lz_zip-in-archive-comment.zip"};
    int compared = 0;
    for (const testjson::Value &entry : manifest.array) {
        const std::string name = entry["file"].string;
        if (name.back() == '/' || entry["7z_test"].string != "ok" || hasFeature(entry, "zip64") ||
            outerArchiveTaken.count(name))
            continue;
        SCOPED_TRACE(name);
        std::vector<std::string> listed = listing(kCorpus + name);
        EXPECT_EQ(Tarrow_GetLastError(), entry["members"].array.empty() ? TARROW_ERROR_NOTHING_DONE : 0);
        const auto &members = entry["members"].array;
        ASSERT_EQ(listed.size(), members.size());
        for (size_t i = 0; i < members.size(); ++i)
            EXPECT_TRUE(describes(listed[i], members[i])) << listed[i];
        ++compared;
    }
    EXPECT_GT(compared, 140);
}

TEST_F(CorpusTest, ArchivesTheReferenceRefusesEndInTheirErrorCodes)
{
    const std::set<int> errors{0, 2, 3, 9, 10, 11, 51, 255};
    const std::set<int> warnings{0, 11, 24, 100};
    for (const testjson::Value &entry : manifest.array) {
        const std::string name = entry["file"].string;
        if (name.back() == '/')
            continue;
        SCOPED_TRACE(name);
        listing(kCorpus + name);
        EXPECT_TRUE(errors.count(Tarrow_GetLastError())) << Tarrow_GetLastError();
        EXPECT_TRUE(warnings.count(Tarrow_GetLastWarning())) << Tarrow_GetLastWarning();
    }
}

TEST_F(CorpusTest, PrefixedAndSelfExtractingArchivesAreListed)
{
    for (const char *name : {"lz_junk-at-start.zip", "la_test_read_format_zip_sfx", "zjs_lorem.exe.zip"}) {
        SCOPED_TRACE(name);
        std::vector<std::string> listed = listing(kCorpus + name);
        EXPECT_EQ(Tarrow_GetLastError(), 0);
        EXPECT_FALSE(listed.empty());
    }
}

TEST_F(CorpusTest, BrokenArchivesGetTheirErrors)
{
    const std::vector<std::pair<const char *, int>> cases{
        {"go_readme.notzip", 0},                       // a ZIP archive sits at its end
        {"zjs_lorem.txt", TARROW_ERROR_NO_END_RECORD},
        {"cc_invalid-zip.zip", TARROW_ERROR_NO_END_RECORD},
        {"zjs_malformed-cd-truncated.zip", TARROW_ERROR_READ},
        {"zjs_malformed-cd-offset-negative.zip", TARROW_ERROR_BAD_CENTRAL},
        {"zjs_malformed-split-signature.zip", TARROW_ERROR_ABORTED}, // asks for the last disk
    };
    for (const auto &[name, code] : cases) {
        SCOPED_TRACE(name);
        listing(kCorpus + name);
        EXPECT_EQ(Tarrow_GetLastError(), code);
    }
}

TEST_F(CorpusTest, Zip64ArchivesAreRefusedOrListedWithTheirMarkerValues)
{
    for (const testjson::Value &entry : manifest.array) {
        if (!hasFeature(entry, "zip64"))
            continue;
        const std::string name = entry["file"].string;
        SCOPED_TRACE(name);
        std::vector<std::string> listed = listing(kCorpus + name);
        int error = Tarrow_GetLastError();
        EXPECT_TRUE(error == 0 || error == TARROW_ERROR_READ || error == TARROW_ERROR_BAD_CENTRAL) << error;
    }
}

TEST_F(CorpusTest, LastDiskOfASplitArchiveHoldsItsDirectory)
{
    std::vector<std::string> listed = listing(kCorpus + "zjs_split/lorem-split.zip");
    EXPECT_EQ(Tarrow_GetLastError(), 0);
    ASSERT_EQ(listed.size(), 4u);
    EXPECT_EQ(listed[0].substr(0, 15), "|lorem.txt|1162");
}
