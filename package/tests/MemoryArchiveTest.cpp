// The in-memory archive reader: its catalogue, member decoding and failures match what a main call
// on the same archive reports, and archives open side by side without sharing state.
#include "MemoryArchive.h"
#include "ZipWriter.h"
#include "tarrow.h"

#include <gtest/gtest.h>

using tarrow::MemoryArchive;
using ziptest::Archive;
using ziptest::Member;

namespace {

using ziptest::deflated;
using ziptest::stored;

ziptest::Bytes archiveOf(std::vector<Member> members) {
    Archive a;
    a.members = std::move(members);
    return ziptest::build(a);
}

std::string text(std::span<const uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace

TEST(MemoryArchive, ListsTargetPathsAndDecodesAnyMemberOnItsOwn) {
    const std::string big(100000, 'x');
    const ziptest::Bytes bytes = archiveOf({stored("Skin/", ""), deflated("Skin/Main.bmp", big),
                                            stored("../evil\\a*b.txt", "t"), stored("Skin/empty", "")});
    MemoryArchive archive;
    ASSERT_EQ(archive.open(bytes), 0);
    ASSERT_EQ(archive.entries().size(), 4u);
    EXPECT_TRUE(archive.entries()[0].folder);
    EXPECT_EQ(archive.entries()[1].path, "Skin/Main.bmp");
    EXPECT_EQ(archive.entries()[1].size, big.size());
    // The extraction's own sanitising: no "..", backslashes as separators, unsafe characters replaced.
    EXPECT_EQ(archive.entries()[2].path, "evil/a_b.txt");
    MemoryArchive::Failure failure;
    // Out of order, and the same member twice.
    auto last = archive.read(3, failure);
    ASSERT_TRUE(last);
    EXPECT_TRUE(last->empty());
    for (int round = 0; round < 2; ++round) {
        auto main = archive.read(1, failure);
        ASSERT_TRUE(main) << failure.warning;
        EXPECT_EQ(text(*main), big);
    }
    EXPECT_EQ(text(*archive.read(2, failure)), "t");
    EXPECT_FALSE(archive.read(0, failure));  // a folder has no bytes
    EXPECT_FALSE(archive.read(9, failure));
}

TEST(MemoryArchive, FailuresCarryTheCodesOfAMainCall) {
    MemoryArchive archive;
    EXPECT_EQ(archive.open(ziptest::Bytes{}), TARROW_ERROR_NO_END_RECORD);
    const std::string junk = "this is no archive at all";
    EXPECT_EQ(archive.open(std::span(reinterpret_cast<const uint8_t*>(junk.data()), junk.size())),
              TARROW_ERROR_NO_END_RECORD);
    EXPECT_EQ(archive.open(archiveOf({stored("a/", "")})), TARROW_ERROR_NOTHING_DONE);
    Archive badCentral;
    badCentral.members = {stored("a", "x")};
    badCentral.centralSignature = 0x12345678;
    EXPECT_EQ(archive.open(ziptest::build(badCentral)), TARROW_ERROR_BAD_CENTRAL);

    Member unsupported = stored("odd", "x");
    unsupported.method = 99;
    Member badCrc = stored("crc", "data");
    badCrc.crc = 1;
    Member encrypted = stored("secret", "data");
    encrypted.flags = 1;
    Member corrupt = deflated("corrupt", "some text some text");
    corrupt.packed = std::string(8, '\xff');
    Member lying = stored("lying", "0123456789");
    lying.uncompressedSize = 4;  // the local header says 4 as well: more data than declared
    const ziptest::Bytes bytes = archiveOf({unsupported, badCrc, encrypted, corrupt, lying, stored("ok", "fine")});
    ASSERT_EQ(archive.open(bytes), 0);
    EXPECT_EQ(archive.warning(), TARROW_WARNING_METHOD);  // the unsupported member is left out
    ASSERT_EQ(archive.entries().size(), 5u);
    MemoryArchive::Failure failure;
    const int expected[] = {TARROW_WARNING_CRC, TARROW_WARNING_NO_PASSWORD, TARROW_WARNING_INFLATE_CORRUPT,
                            TARROW_WARNING_CRC};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_FALSE(archive.read(i, failure)) << i;
        EXPECT_EQ(failure.warning, expected[i]) << i;
        EXPECT_EQ(failure.error, 0) << i;
    }
    // A failure leaves nothing behind for the next member.
    auto ok = archive.read(4, failure);
    ASSERT_TRUE(ok);
    EXPECT_EQ(text(*ok), "fine");
}

TEST(MemoryArchive, ArchivesOpenSideBySideAndAShiftedArchiveStillOpens) {
    Archive shifted;
    shifted.members = {stored("b.txt", "second")};
    shifted.prefix = ziptest::Bytes(300, 0x90);  // a self-extractor's program in front
    const ziptest::Bytes first = archiveOf({stored("a.txt", "first")}), second = ziptest::build(shifted);
    MemoryArchive a, b;
    ASSERT_EQ(a.open(first), 0);
    ASSERT_EQ(b.open(second), 0);
    MemoryArchive::Failure failure;
    EXPECT_EQ(text(*b.read(0, failure)), "second");
    EXPECT_EQ(text(*a.read(0, failure)), "first");
    // Reopened on another block, an object forgets the first.
    ASSERT_EQ(a.open(second), 0);
    EXPECT_EQ(a.entries()[0].name, "b.txt");
}

// Tarrow_InMemory decodes a deflated block straight into the host's buffer when the member fits,
// through the window when it does not: the same bytes, result and warnings either way.
TEST(MemoryArchive, TheCInterfacesMemoryToMemoryCallDecodesInPlaceWithTheWindowsResults) {
    std::string data;
    for (int i = 0; i < 50000; ++i) data += char('a' + (i * 7 + i / 13) % 26);
    const std::string packed = ziptest::deflate(data);
    const auto blockOf = [&](const std::string& payload, uint32_t crc) {
        std::vector<uint8_t> block = {0, 8};
        for (uint32_t v : {crc, uint32_t(payload.size()), uint32_t(data.size())})
            for (int k = 0; k < 4; ++k) block.push_back(uint8_t(v >> (8 * k)));
        block.insert(block.end(), payload.begin(), payload.end());
        return block;
    };
    const uint32_t crc = ziptest::crc32(data);
    std::vector<char> roomy(data.size() + 10, '\x55'), tight(data.size() - 1);
    const std::vector<uint8_t> good = blockOf(packed, crc);
    Tarrow_Initialise();
    EXPECT_EQ(Tarrow_InMemory(good.data(), uint32_t(good.size()), roomy.data(), uint32_t(roomy.size())),
              int32_t(data.size()));
    EXPECT_EQ(Tarrow_GetLastWarning(), 0);
    EXPECT_EQ(std::string(roomy.data(), data.size()), data);
    EXPECT_EQ(roomy[data.size()], 0);  // terminated as the window path terminates it
    Tarrow_Initialise();
    EXPECT_EQ(Tarrow_InMemory(good.data(), uint32_t(good.size()), tight.data(), uint32_t(tight.size())),
              int32_t(tight.size()));
    // Damage is reported alike on both paths.
    for (std::vector<char>* out : {&roomy, &tight}) {
        const std::vector<uint8_t> wrongCrc = blockOf(packed, crc ^ 1), cut = blockOf(packed.substr(0, 100), crc);
        Tarrow_Initialise();
        Tarrow_InMemory(wrongCrc.data(), uint32_t(wrongCrc.size()), out->data(), uint32_t(out->size()));
        EXPECT_EQ(Tarrow_GetLastWarning(), TARROW_WARNING_CRC);
        Tarrow_Initialise();
        Tarrow_InMemory(cut.data(), uint32_t(cut.size()), out->data(), uint32_t(out->size()));
        EXPECT_EQ(Tarrow_GetLastWarning(), TARROW_WARNING_INFLATE_CORRUPT);
    }
}
