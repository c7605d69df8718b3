// Real archives from other projects' test suites, listed and compared with the manifest that
// records what an independent tool made of them.
#include "Json.h"
#include "LibraryFixture.h"
#include "NameText.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace {

const std::string kCorpus = std::string(VELTRANE_SHARED_DIR) + "/corpus/zip/";

struct Listed {
    std::string text;  // message 21 after the archive name
};

// Does the listing text describe this manifest member? The manifest's tool reads every name
// without the UTF-8 flag as CP437, so a name kept as bytes (from a Unix host) is compared through
// CP437 too; where it ignored a Unicode path field (`unicodeNames`), only sizes and CRC count.
bool describes(const std::string& text, const testjson::Value& member, bool unicodeNames) {
    const std::string& name = member["name"].string;
    const std::string sizes = "|" + std::to_string(uint64_t(member["size"].number)) + "|" +
                              std::to_string(uint64_t(member["csize"].number)) + "|";
    // Where the sizes begin in `t` when it starts with the member's name, else npos.
    auto sizesAt = [&](const std::string& t) -> size_t {
        if (unicodeNames) return t.find(sizes);
        size_t slash = name.rfind('/');
        for (const std::string& split :
             {name + "|",
              slash == std::string::npos ? "|" + name : name.substr(0, slash) + "|" + name.substr(slash + 1)})
            if (t.compare(0, split.size() + sizes.size(), split + sizes) == 0) return split.size();
        return std::string::npos;
    };
    for (const std::string& t : {text, tarrow::cp437ToUtf8(text)}) {
        size_t at = sizesAt(t);
        if (at == std::string::npos) continue;
        // ratio, date, time, attributes, method, encrypted, CRC
        at += sizes.size();
        for (int skip = 0; skip < 6 && at != std::string::npos; ++skip) at = t.find('|', at) + 1;
        if (at != std::string::npos && t.compare(at, 9, member["crc"].string + "|") == 0) return true;
    }
    return false;
}

bool hasFeature(const testjson::Value& entry, const std::string& feature) {
    for (const testjson::Value& f : entry["features"].array)
        if (f.string == feature) return true;
    return false;
}

class CorpusTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        if (!std::filesystem::exists(kCorpus + "MANIFEST.json")) GTEST_SKIP() << "no corpus at " << kCorpus;
        std::ifstream file(kCorpus + "MANIFEST.json");
        std::stringstream text;
        text << file.rdbuf();
        manifest = testjson::parse(text.str());
        // There are no other disks to offer.
        answer = [](int code, const std::string&) -> int16_t { return code == TARROW_MSG_DISK ? 255 : 0; };
    }

    // Lists one archive and returns the listing texts after the archive name.
    std::vector<std::string> listing(const std::string& file) {
        messages.clear();
        list(file);
        std::vector<std::string> out;
        for (const std::string& t : texts(TARROW_MSG_LISTING))
            out.push_back(t.substr(std::min(t.size(), file.size() + 1)));
        return out;
    }

    testjson::Value manifest;
};

}  // namespace

TEST_F(CorpusTest, ListsWhatTheIndependentToolLists) {
    // The end record that accounts for the whole file is the outer archive's; the reference tool
    // took the one inside its comment.
    const std::set<std::string> outerArchiveTaken{"lz_zip-in-archive-comment.zip"};
    // Names from a Unicode path field, which the manifest's tool does not read; the tool test
    // compares them with 7-Zip's.
    const std::set<std::string> unicodeNames{"cc_COMPRESS-479.zip", "cc_test-winzip.zip", "cc_utf8-winzip-test.zip",
                                             "zip2_windows-7zip.zip"};
    // A member without a name is listed under a placeholder, never as nothing.
    const std::set<std::string> placeholderNames{"lz_filename_empty.zip"};
    // Two directory entries for the one member at offset 61: the second is refused as an overlap.
    const std::set<std::string> sharedData{"cc_COMPRESS-227.zip"};
    int compared = 0;
    for (const testjson::Value& entry : manifest.array) {
        const std::string name = entry["file"].string;
        // The manifest records the saturated 32-bit values of zip64 members; see the next test.
        if (name.back() == '/' || entry["7z_test"].string != "ok" || hasFeature(entry, "zip64") ||
            outerArchiveTaken.count(name))
            continue;
        SCOPED_TRACE(name);
        std::vector<std::string> listed = listing(kCorpus + name);
        EXPECT_EQ(Tarrow_GetLastError(), sharedData.count(name)           ? TARROW_ERROR_READ
                                         : entry["members"].array.empty() ? TARROW_ERROR_NOTHING_DONE
                                                                          : 0);
        const auto& members = entry["members"].array;
        ASSERT_EQ(listed.size(), members.size());
        for (size_t i = 0; i < members.size(); ++i)
            EXPECT_TRUE(describes(listed[i], members[i], unicodeNames.count(name) || placeholderNames.count(name)))
                << listed[i];
        if (placeholderNames.count(name)) {
            EXPECT_EQ(listed.at(0).substr(0, 10), "|member-1|");
        }
        ++compared;
    }
    EXPECT_GT(compared, 140);
}

TEST_F(CorpusTest, ArchivesTheReferenceRefusesEndInTheirErrorCodes) {
    const std::set<int> errors{0, 2, 3, 9, 10, 11, 51, 255};
    const std::set<int> warnings{0, 11, 24, 100};
    for (const testjson::Value& entry : manifest.array) {
        const std::string name = entry["file"].string;
        if (name.back() == '/') continue;
        SCOPED_TRACE(name);
        listing(kCorpus + name);
        EXPECT_TRUE(errors.count(Tarrow_GetLastError())) << Tarrow_GetLastError();
        // A member whose headers disagree is called damaged in the listing too; the reference
        // tool does not pass any of those archives.
        if (Tarrow_GetLastWarning() == TARROW_WARNING_LOCAL_HEADER) {
            EXPECT_NE(entry["7z_test"].string, "ok");
        } else {
            EXPECT_TRUE(warnings.count(Tarrow_GetLastWarning())) << Tarrow_GetLastWarning();
        }
    }
}

TEST_F(CorpusTest, PrefixedAndSelfExtractingArchivesAreListed) {
    for (const char* name : {"lz_junk-at-start.zip", "la_test_read_format_zip_sfx", "zjs_lorem.exe.zip"}) {
        SCOPED_TRACE(name);
        std::vector<std::string> listed = listing(kCorpus + name);
        EXPECT_EQ(Tarrow_GetLastError(), 0);
        EXPECT_FALSE(listed.empty());
    }
}

TEST_F(CorpusTest, BrokenArchivesGetTheirErrors) {
    const std::vector<std::pair<const char*, int>> cases{
        {"go_readme.notzip", 0},  // a ZIP archive sits at its end
        {"zjs_lorem.txt", TARROW_ERROR_NO_END_RECORD},
        {"cc_invalid-zip.zip", TARROW_ERROR_NO_END_RECORD},
        {"zjs_malformed-cd-truncated.zip", TARROW_ERROR_READ},
        {"zjs_malformed-cd-offset-negative.zip", TARROW_ERROR_BAD_CENTRAL},
        {"zjs_malformed-split-signature.zip", TARROW_ERROR_ABORTED},  // asks for the last disk
    };
    for (const auto& [name, code] : cases) {
        SCOPED_TRACE(name);
        listing(kCorpus + name);
        EXPECT_EQ(Tarrow_GetLastError(), code);
    }
}

TEST_F(CorpusTest, Zip64ArchivesAreListedWithTheirRealSizes) {
    int compared = 0;
    for (const testjson::Value& entry : manifest.array) {
        if (!hasFeature(entry, "zip64") || entry["7z_test"].string != "ok") continue;
        const std::string name = entry["file"].string;
        SCOPED_TRACE(name);
        std::vector<std::string> listed = listing(kCorpus + name);
        EXPECT_EQ(Tarrow_GetLastError(), 0);
        EXPECT_EQ(listed.size(), entry["members"].array.size());
        for (const std::string& text : listed) EXPECT_EQ(text.find("|4294967295|"), std::string::npos) << text;
        ++compared;
    }
    EXPECT_GE(compared, 5);
}

TEST_F(CorpusTest, LastDiskOfASplitArchiveHoldsItsDirectory) {
    std::vector<std::string> listed = listing(kCorpus + "zjs_split/lorem-split.zip");
    EXPECT_EQ(Tarrow_GetLastError(), 0);
    ASSERT_EQ(listed.size(), 4u);
    EXPECT_EQ(listed[0].substr(0, 15), "|lorem.txt|1162");
}
