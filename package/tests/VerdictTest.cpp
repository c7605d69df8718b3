// One verdict per member: listing, testing and extraction of the flat interface call the same
// members damaged, with the same codes, whichever header was changed, and the handle interface
// refuses to read the same members.
#include "LibraryFixture.h"
#include "tarrow_archive.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class VerdictTest : public LibraryTest {
protected:
    // "name|code" of every warning 13 and error 51 of the last main call, in order.
    std::vector<std::string> damaged(const std::string& zip) const {
        std::vector<std::string> out;
        for (int code : {TARROW_MSG_WARNING, TARROW_MSG_ERROR})
            for (const std::string& t : texts(code)) {
                const std::string rest = t.substr(zip.size() + 1);
                if (rest.ends_with("|13|") || rest.ends_with("|51|")) out.push_back(rest.substr(0, rest.size() - 1));
            }
        return out;
    }
    // What each mode calls damaged: listing, test, extraction, and reading a handle opened on the
    // archive's bytes. The handle has no flat codes, so its members are given the code the
    // listing gave them, and members it reads cleanly have none.
    std::vector<std::vector<std::string>> verdicts(const std::string& zip, const ziptest::Bytes& bytes) {
        std::vector<std::vector<std::string>> out;
        messages.clear();
        list(zip);
        out.push_back(damaged(zip));
        messages.clear();
        test(zip);
        out.push_back(damaged(zip));
        messages.clear();
        extractInto(zip, path("out"));
        out.push_back(damaged(zip));
        std::vector<std::string> handle;
        tarrow_archive* archive = nullptr;
        EXPECT_EQ(tarrow_open_memory(bytes.data(), bytes.size(), &archive), TARROW_OK);
        for (size_t i = 0; archive && i < tarrow_entry_count(archive); ++i) {
            tarrow_entry entry;
            EXPECT_EQ(tarrow_entry_at(archive, i, &entry), TARROW_OK);
            const auto ignore = [](void*, const void*, size_t) { return 0; };
            if (tarrow_read(archive, i, nullptr, ignore, nullptr) != TARROW_E_DAMAGED) continue;
            std::string verdict = std::string(entry.name) + "|";
            for (const std::string& listed : out.front())
                if (listed.starts_with(verdict)) verdict = listed;
            handle.push_back(verdict);
        }
        tarrow_close(archive);
        out.push_back(handle);
        return out;
    }
};

void setByte(ziptest::Bytes& bytes, size_t at, uint8_t value) { bytes.at(at) = value; }

}  // namespace

// Each field a local header shares with the central directory, changed on either side: every mode
// calls the member damaged (warning 13), writes nothing for it, and goes on with the next.
TEST_F(VerdictTest, HeadersThatDisagreeAreDamagedInEveryMode) {
    struct Change {
        const char* field;
        size_t local, central;  // offset of the field in each header
        uint8_t value;
    };
    const Change changes[] = {{"crc", 14, 16, 0x55}, {"method", 8, 10, 8},  {"packed size", 18, 20, 3},
                              {"size", 22, 24, 3},   {"name", 30, 46, 'B'}, {"encrypted", 6, 8, 1}};
    for (const Change& c : changes)
        for (bool local : {true, false}) {
            SCOPED_TRACE(std::string(c.field) + (local ? " local" : " central"));
            ziptest::Archive a;
            a.members = {ziptest::stored("a.txt", "hello"), ziptest::stored("b.txt", "world")};
            ziptest::Bytes bytes = ziptest::build(a);
            const size_t central = ziptest::toString(bytes).find(std::string("PK\x01\x02", 4));
            setByte(bytes, local ? c.local : central + c.central, c.value);
            const std::string zip = path("disagree.zip");
            ziptest::writeFile(zip, bytes);
            const std::string name = !local && c.local == 30 ? "B.txt" : "a.txt";
            const std::vector<std::string> expected{name + "|13"};
            for (const auto& found : verdicts(zip, bytes)) EXPECT_EQ(found, expected);
            EXPECT_FALSE(fs::exists(path("out/" + name)));
            EXPECT_EQ(readFile(path("out/b.txt")), "world");
            fs::remove_all(path("out"));
        }
}

// Differences that writers make and readers accept are no damage anywhere: zero CRC and sizes in a
// local header followed by a data descriptor, and a Unicode path field in the local header only.
TEST_F(VerdictTest, ToleratedDifferencesAreNoDamageInAnyMode) {
    ziptest::Member described = ziptest::deflated("d.txt", std::string(3000, 'd'));
    described.descriptor = true;
    ziptest::Member plain = ziptest::stored("p.txt", "plain");
    ziptest::Archive a;
    a.members = {described, plain};
    const ziptest::Bytes bytes = ziptest::build(a);
    const std::string zip = path("fine.zip");
    ziptest::writeFile(zip, bytes);
    for (const auto& found : verdicts(zip, bytes)) EXPECT_TRUE(found.empty());
    EXPECT_EQ(readFile(path("out/d.txt")), std::string(3000, 'd'));
    EXPECT_EQ(Tarrow_GetLastWarning(), 0);
}

// Two central entries for one local header, and data that runs into the central directory: each
// mode reports the overlap as error 51 for the same members.
TEST_F(VerdictTest, OverlapsAreTheSameErrorInEveryMode) {
    ziptest::Archive a;
    a.members = {ziptest::stored("one", "first"), ziptest::stored("two", "second")};
    ziptest::Bytes bytes = ziptest::build(a);
    const std::string s = ziptest::toString(bytes);
    const size_t first = s.find(std::string("PK\x01\x02", 4));
    const size_t second = s.find(std::string("PK\x01\x02", 4), first + 4);
    // The second entry names the first one's local header.
    for (int i = 0; i < 4; ++i) setByte(bytes, second + 42 + size_t(i), bytes[first + 42 + size_t(i)]);
    const std::string zip = path("shared.zip");
    ziptest::writeFile(zip, bytes);
    const auto found = verdicts(zip, bytes);
    for (const auto& f : found) EXPECT_EQ(f, (std::vector<std::string>{"two|51"}));
    EXPECT_EQ(readFile(path("out/one")), "first");
    EXPECT_FALSE(fs::exists(path("out/two")));
}
