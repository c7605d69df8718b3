// zip64 archives: the end record and locator, the extended-information block in central and local
// headers, 8-byte data descriptors, more than 65,535 members, and hostile zip64 values.
#include "LibraryFixture.h"

#include <filesystem>

namespace fs = std::filesystem;
using ziptest::Archive;
using ziptest::Member;
using ziptest::Zip64Fields;

namespace {

using Zip64Test = LibraryTest;

Member stored(const std::string& name, const std::string& data) {
    Member m = ziptest::stored(name, data);
    m.versionNeeded = 45;
    return m;
}

// The listing's uncompressed and compressed size fields of each member, "size|csize".
std::vector<std::string> listedSizes(const std::vector<std::string>& listings) {
    std::vector<std::string> sizes;
    for (const std::string& t : listings) {
        size_t at = 0;
        for (int field = 0; field < 3; ++field) at = t.find('|', at) + 1;
        size_t end = t.find('|', t.find('|', at) + 1);
        sizes.push_back(t.substr(at, end - at));
    }
    return sizes;
}

struct Combination {
    const char* label;
    Zip64Fields fields;
    bool descriptor;
};

}  // namespace

// Every way a writer places the zip64 values: the member lists with its real sizes, tests clean
// and extracts byte for byte, and so does the ordinary member after it.
TEST_F(Zip64Test, EveryFieldCombinationListsTestsAndExtracts) {
    const Zip64Fields sizes{true, true, false, true}, sizesCentralOnly{true, true, false, false},
        offset{false, false, true, true}, all{true, true, true, true}, uncompressedOnly{true, false, false, true};
    const std::vector<Combination> combinations{
        {"sizes in both headers", sizes, false},
        {"sizes in the central header only", sizesCentralOnly, false},
        {"offset only", offset, false},
        {"all three", all, false},
        {"uncompressed size alone", uncompressedOnly, false},
        {"sizes, data descriptor", sizes, true},
        {"all three, data descriptor", all, true},
        {"offset only, data descriptor", offset, true},
    };
    for (const Combination& c : combinations) {
        SCOPED_TRACE(c.label);
        Archive a;
        a.zip64End = true;
        Member big = stored("skin/main.bmp", std::string(3000, 'M'));
        big.zip64 = c.fields;
        big.descriptor = c.descriptor;
        a.members = {big, stored("skin/pledit.txt", "[Text]")};
        std::string file = writeArchive("z.zip", a);

        messages.clear();
        EXPECT_EQ(list(file), 2);
        EXPECT_EQ(listedSizes(texts(TARROW_MSG_LISTING)), (std::vector<std::string>{"3000|3000", "6|6"}));
        EXPECT_EQ(Tarrow_GetLastError(), 0);

        messages.clear();
        EXPECT_EQ(test(file), 2);
        EXPECT_TRUE(texts(TARROW_MSG_WARNING).empty());
        EXPECT_TRUE(texts(TARROW_MSG_ERROR).empty());

        fs::remove_all(path("out"));
        EXPECT_EQ(extractInto(file, path("out")), 2);
        EXPECT_EQ(readFile(path("out/skin/main.bmp")), big.data);
        EXPECT_EQ(readFile(path("out/skin/pledit.txt")), "[Text]");
    }
}

// The zip64 end record locates the directory; with a program in front of the archive its offsets
// are short by the program's length, as in the ordinary end record.
TEST_F(Zip64Test, EndRecordOfAnArchiveWithAProgramInFront) {
    Archive a;
    a.zip64End = true;
    a.prefix.assign(5000, 0x90);
    a.offsetsFromArchiveStart = true;
    Member m = stored("main.bmp", "BM-data");
    m.zip64 = {true, true, true, true};
    a.members = {m};
    std::string file = writeArchive("sfx.zip", a);
    EXPECT_EQ(extractInto(file, path("out")), 1);
    EXPECT_EQ(readFile(path("out/main.bmp")), "BM-data");
    EXPECT_EQ(Tarrow_GetLastError(), 0);
}

TEST_F(Zip64Test, MoreThan65535Members) {
    Archive a;
    for (int i = 0; i < 65536; ++i) a.members.push_back(stored("f" + std::to_string(i), i == 65535 ? "last" : ""));
    std::string file = writeArchive("many.zip", a);
    EXPECT_EQ(list(file), 65535);  // the result is held at 65,535
    std::vector<std::string> listings = texts(TARROW_MSG_LISTING);
    ASSERT_EQ(listings.size(), 65536u);
    EXPECT_EQ(listings.back().substr(0, file.size() + 11), file + "||f65535|4|");

    messages.clear();
    EXPECT_EQ(extractInto(file, path("out"), [] { Tarrow_Include("f65535"); }), 1);
    EXPECT_EQ(readFile(path("out/f65535")), "last");
}

// A member bigger than any 32-bit buffer is refused whole: the buffer counts as full and nothing
// of the member is decoded into it.
TEST_F(Zip64Test, MemoryOutputRefusesAMemberBeyond32Bits) {
    Archive a;
    Member m;
    m.name = "huge.bin";
    m.method = 8;
    m.packed = std::string("\x03\x00", 2);  // an empty final block: the declared size is a lie
    m.data = "";
    m.zip64 = {true, false, false, true};
    a.members = {m};
    std::string file = writeArchive("huge.zip", a);
    // The writer puts the real (empty) size into the zip64 blocks; declare 5 GiB there instead.
    ziptest::Bytes bytes = ziptest::build(a);
    for (const char* block : {"\x01\x00\x10\x00", "\x01\x00\x08\x00"}) {
        size_t at = ziptest::toString(bytes).find(std::string(block, 4));
        ASSERT_NE(at, std::string::npos);
        bytes[at + 4 + 4] = 5;  // bits 32-39 of the uncompressed size, which comes first
    }
    ziptest::writeFile(file, bytes);

    char buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    Tarrow_Initialise();
    Tarrow_ArchiveName(file.c_str());
    Tarrow_ToMemory(buffer, sizeof buffer);
    EXPECT_EQ(Tarrow(), int32_t(sizeof buffer));
    EXPECT_EQ(buffer[0], 'x');
}

// zip64 values are the attacker's to choose: an entry count of 2^62 must not reserve memory for
// it, and a zip64 block too short for its fields gives only what it holds (here the local header's
// sizes are right, so the member still tests clean).
TEST_F(Zip64Test, HostileZip64ValuesAreErrorsNotAllocations) {
    Archive a;
    a.zip64End = true;
    Member m = stored("a.txt", "abc");
    a.members = {m};
    ziptest::Bytes bytes = ziptest::build(a);
    std::string text = ziptest::toString(bytes);
    size_t record = text.find(std::string("PK\x06\x06", 4));
    ASSERT_NE(record, std::string::npos);
    bytes[record + 32 + 7] = 0x40;  // total entries
    std::string file = path("count.zip");
    ziptest::writeFile(file, bytes);
    EXPECT_EQ(list(file), 1);
    EXPECT_NE(Tarrow_GetLastError(), 0);

    Member shortBlock = stored("b.txt", "abc");
    shortBlock.zip64 = {true, true, false, false};
    Archive b;
    b.members = {shortBlock};
    bytes = ziptest::build(b);
    text = ziptest::toString(bytes);
    size_t central = text.find(std::string("PK\x01\x02", 4));
    size_t block = text.find(std::string("\x01\x00\x10\x00", 4), central);
    ASSERT_NE(block, std::string::npos);
    bytes[block + 2] = 8;  // room for the uncompressed size only; the rest reads as another block
    file = path("short.zip");
    ziptest::writeFile(file, bytes);
    messages.clear();
    EXPECT_EQ(list(file), 1);
    EXPECT_EQ(listedSizes(texts(TARROW_MSG_LISTING)), (std::vector<std::string>{"3|4294967295"}));
    EXPECT_EQ(test(file), 1);
    EXPECT_TRUE(texts(TARROW_MSG_WARNING).empty());
}
