// Archives read from a memory block: through the handle interface, any member on its own, out of
// order and again, each member's failure its own, blocks side by side and behind a self-extractor's
// program; and the flat interface's memory-to-memory call.
#include "ZipWriter.h"
#include "tarrow.h"

#include <gtest/gtest.h>

#include <memory>

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

using Opened = std::unique_ptr<tarrow_archive, void (*)(tarrow_archive*)>;

Opened open(const ziptest::Bytes& block) {
    tarrow_archive* archive = nullptr;
    EXPECT_EQ(tarrow_open_memory(block.data(), block.size(), &archive), TARROW_OK);
    return Opened(archive, tarrow_close);
}

int collect(void* user, const void* data, size_t size) {
    static_cast<std::string*>(user)->append(static_cast<const char*>(data), size);
    return 0;
}

// The member's bytes, or the code that stopped them (with what came before it).
std::pair<int, std::string> read(const Opened& archive, size_t index) {
    std::string out;
    const int code = tarrow_read(archive.get(), index, nullptr, collect, &out);
    return {code, out};
}

}  // namespace

TEST(MemoryReading, AnyMemberDecodesOnItsOwnOutOfOrderAndAgain) {
    const std::string big(100000, 'x');
    const ziptest::Bytes block = archiveOf(
        {stored("Skin/", ""), deflated("Skin/Main.bmp", big), stored("t.txt", "t"), stored("Skin/empty", "")});
    const Opened archive = open(block);  // the block outlives the handle
    ASSERT_TRUE(archive);
    ASSERT_EQ(tarrow_entry_count(archive.get()), 4u);
    EXPECT_EQ(read(archive, 3), std::make_pair(TARROW_OK, std::string()));
    for (int round = 0; round < 2; ++round) EXPECT_EQ(read(archive, 1), std::make_pair(TARROW_OK, big));
    EXPECT_EQ(read(archive, 2), std::make_pair(TARROW_OK, std::string("t")));
    EXPECT_EQ(read(archive, 9).first, TARROW_E_ARGUMENT);
}

TEST(MemoryReading, EachMemberFailsOnItsOwnAndLeavesNothingForTheNext) {
    Member unsupported = stored("odd", "x");
    unsupported.method = 99;
    Member encrypted = stored("secret", "data");
    encrypted.flags = 1;
    Member corrupt = deflated("corrupt", "some text some text");
    corrupt.packed = std::string(8, '\xff');
    Member lying = stored("lying", "0123456789");
    lying.uncompressedSize = 4;  // the local header says 4 as well: more data than declared
    const ziptest::Bytes block = archiveOf({unsupported, encrypted, corrupt, lying, stored("ok", "fine")});
    const Opened archive = open(block);  // the block outlives the handle
    ASSERT_TRUE(archive);
    tarrow_entry entry{};
    ASSERT_EQ(tarrow_entry_at(archive.get(), 0, &entry), TARROW_OK);
    EXPECT_NE(entry.damage, nullptr);  // known from the catalogue, before any read
    EXPECT_NE(read(archive, 0).first, TARROW_OK);
    EXPECT_EQ(read(archive, 1).first, TARROW_E_NEED_PASSWORD);
    EXPECT_EQ(read(archive, 2).first, TARROW_E_DATA);
    // Never more than the entry lists, whatever the data holds.
    const auto [code, bytes] = read(archive, 3);
    EXPECT_NE(code, TARROW_OK);
    EXPECT_LE(bytes.size(), 4u);
    EXPECT_EQ(read(archive, 4), std::make_pair(TARROW_OK, std::string("fine")));
}

TEST(MemoryReading, BlocksSideBySideAndBehindASelfExtractorsProgram) {
    Archive shifted;
    shifted.members = {stored("b.txt", "second")};
    shifted.prefix = ziptest::Bytes(300, 0x90);  // a self-extractor's program in front
    const ziptest::Bytes first = archiveOf({stored("a.txt", "first")}), second = ziptest::build(shifted);
    const Opened a = open(first), b = open(second);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(read(b, 0).second, "second");
    EXPECT_EQ(read(a, 0).second, "first");
}

// Tarrow_InMemory decodes a deflated block straight into the host's buffer when the member fits,
// through the window when it does not: the same bytes, result and warnings either way.
TEST(MemoryReading, TheCInterfacesMemoryToMemoryCallDecodesInPlaceWithTheWindowsResults) {
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
