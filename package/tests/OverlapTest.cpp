// Members whose local header and data overlap another member's or the central directory are
// refused as damage (error 51) in every mode, never decoded; archives with bytes in front still open.
#include "LibraryFixture.h"

#include <filesystem>

using ziptest::Archive;
using ziptest::Bytes;
using ziptest::Member;
using ziptest::stored;

namespace {

using OverlapTest = LibraryTest;

size_t find(const Bytes& bytes, const std::string& what, size_t from = 0) {
    return ziptest::toString(bytes).find(what, from);
}

void put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// Central headers of the archive, in order.
std::vector<size_t> centralHeaders(const Bytes& b) {
    std::vector<size_t> at;
    for (size_t p = find(b, "PK\x01\x02"); p != std::string::npos; p = find(b, "PK\x01\x02", p + 1)) at.push_back(p);
    return at;
}

std::vector<int> codes(const std::vector<std::string>& texts) {
    std::vector<int> out;
    for (const std::string& t : texts) out.push_back(std::atoi(t.substr(t.rfind('|', t.size() - 2) + 1).c_str()));
    return out;
}

}  // namespace

// Many directory entries for one member's data (how a small archive claims a huge output): the
// first entry keeps the data, every other one is refused, in listing, test and extraction.
TEST_F(OverlapTest, EntriesSharingOneMembersDataAreRefused) {
    Archive a;
    a.members = {stored("a.bmp", std::string(500, 'a')), stored("b.bmp", "b"), stored("c.bmp", "c")};
    Bytes bytes = ziptest::build(a);
    std::vector<size_t> central = centralHeaders(bytes);
    ASSERT_EQ(central.size(), 3u);
    for (size_t i = 1; i < 3; ++i) {  // b and c point at a's local header, with a's sizes
        put32(bytes, central[i] + 42, 0);
        std::copy_n(bytes.begin() + ptrdiff_t(central[0] + 16), 12, bytes.begin() + ptrdiff_t(central[i] + 16));
    }
    std::string file = path("shared.zip");
    ziptest::writeFile(file, bytes);

    EXPECT_EQ(list(file), 3);
    EXPECT_EQ(texts(TARROW_MSG_ERROR), (std::vector<std::string>{file + "|b.bmp|51|", file + "|c.bmp|51|"}));

    messages.clear();
    EXPECT_EQ(test(file), 1);
    EXPECT_EQ(codes(texts(TARROW_MSG_ERROR)), (std::vector<int>{51, 51}));
    EXPECT_EQ(Tarrow_GetLastWarning(), TARROW_WARNING_TEST_ERRORS);

    messages.clear();
    EXPECT_EQ(extractInto(file, path("out")), 1);
    EXPECT_EQ(readFile(path("out/a.bmp")), std::string(500, 'a'));
    EXPECT_FALSE(std::filesystem::exists(path("out/b.bmp")));
    for (const std::string& t : texts(TARROW_MSG_EXTRACT_START))
        EXPECT_EQ(t.find("b.bmp"), std::string::npos) << t;  // never started
}

// A member whose declared data runs over the next member's header, or into the central
// directory, is refused; the member after it is not.
TEST_F(OverlapTest, DataRunningIntoTheNextHeaderOrTheDirectory) {
    Archive a;
    a.members = {stored("first.txt", "1111"), stored("second.txt", "2222")};
    Bytes bytes = ziptest::build(a);
    std::vector<size_t> central = centralHeaders(bytes);
    const size_t firstLocal = 0;
    put32(bytes, firstLocal + 18, 40);  // compressed size reaches into second.txt's header
    put32(bytes, central[0] + 20, 40);
    std::string file = path("into-next.zip");
    ziptest::writeFile(file, bytes);
    EXPECT_EQ(test(file), 1);
    EXPECT_EQ(texts(TARROW_MSG_ERROR).at(0), file + "|first.txt|51|");
    EXPECT_EQ(texts(TARROW_MSG_TEST_DONE).size(), 1u);

    bytes = ziptest::build(a);
    const size_t secondLocal = find(bytes, "PK\x03\x04", 4);
    put32(bytes, secondLocal + 18, 30);  // into the central directory
    put32(bytes, central[1] + 20, 30);
    file = path("into-directory.zip");
    ziptest::writeFile(file, bytes);
    messages.clear();
    EXPECT_EQ(test(file), 1);
    EXPECT_EQ(texts(TARROW_MSG_ERROR).at(0), file + "|second.txt|51|");
    messages.clear();
    list(file);
    EXPECT_EQ(texts(TARROW_MSG_ERROR), (std::vector<std::string>{file + "|second.txt|51|"}));
}

// Offsets measured from the file's start or from the archive's (with a program in front) are
// equally sound; neither counts as an overlap.
TEST_F(OverlapTest, ArchivesWithBytesInFrontStillOpen) {
    for (bool fromArchiveStart : {false, true}) {
        SCOPED_TRACE(fromArchiveStart);
        Archive a;
        a.prefix.assign(5000, 'S');
        a.offsetsFromArchiveStart = fromArchiveStart;
        a.members = {stored("main.bmp", "BM"), stored("pledit.txt", "[Text]"), stored("x/", "")};
        std::string file = writeArchive("sfx.zip", a);
        messages.clear();
        EXPECT_EQ(test(file), 3);
        EXPECT_TRUE(texts(TARROW_MSG_ERROR).empty());
        EXPECT_EQ(list(file), 3);
        EXPECT_TRUE(texts(TARROW_MSG_ERROR).empty());
    }
}
