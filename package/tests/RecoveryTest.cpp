// Recovery by walking local headers. Archives of every kind of member the walk must end correctly
// (stored and deflated, data descriptors with and without signature, zip64 local fields and 64-bit
// descriptors, encrypted members, decoy descriptors inside the data) are damaged at run time: cut at
// many points, central directory zeroed, end record removed. Every member wholly before the damage
// must come back byte-identical, nothing else may read as whole, and the number recovered must not
// fall below the figure measured. Hostile inputs stay bounded, and without the flag nothing changes.
#include "LibraryFixture.h"
#include "ZipWriter.h"
#include "decrypt.h"
#include "tarrow.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

using ziptest::Bytes;
using ziptest::deflated;
using ziptest::stored;

namespace {

constexpr const char* kPassword = "recover";

void put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += char(v >> (8 * i));
}

// Text whose bytes vary enough that deflate keeps some of it, with `decoys` descriptors planted
// that state their own position as the size, so that only the CRC tells them from the real one.
std::string sample(size_t size, uint32_t seed, bool decoys = false) {
    std::string s;
    uint32_t x = seed * 2654435761u + 1;
    while (s.size() < size) {
        x = x * 1103515245u + 12345u;
        if (decoys && s.size() % 997 == 13) {
            const uint32_t at = uint32_t(s.size());
            s += "PK\x07\x08";
            put32(s, x);
            put32(s, at);
            put32(s, at);
            s += "PK\x03\x04";
            continue;
        }
        s += char('a' + (x >> 24) % 7);
    }
    s.resize(size);
    return s;
}

// Traditional encryption of a member: the 12-byte header (its last byte the check byte), then the data.
std::string encrypt(const std::string& plain, uint8_t check) {
    tarrow::TraditionalCipher cipher(kPassword);
    std::string bytes(11, '\x5a');
    bytes += char(check);
    bytes += plain;
    for (char& c : bytes) {
        tarrow::TraditionalCipher probe = cipher;
        const uint8_t key = probe.decrypt(uint8_t(0));
        const uint8_t p = uint8_t(c);
        c = char(p ^ key);
        cipher.decrypt(uint8_t(c));
    }
    return bytes;
}

ziptest::Member encrypted(const std::string& name, const std::string& data, bool descriptor) {
    ziptest::Member m = stored(name, data);
    m.flags = 1;
    m.dosTime = 0x7a31;
    m.descriptor = descriptor;
    m.packed = encrypt(data, descriptor ? uint8_t(m.dosTime >> 8) : uint8_t(ziptest::crc32(data) >> 24));
    return m;
}

ziptest::Member withDescriptor(ziptest::Member m, bool signature) {
    m.descriptor = true;
    m.descriptorSignature = signature;
    return m;
}

ziptest::Member zip64Sizes(ziptest::Member m) {
    m.zip64.uncompressedSize = m.zip64.compressedSize = true;
    m.versionNeeded = 45;
    return m;
}

// The members the damage set is made of, in an order that puts each kind before and after others.
std::vector<ziptest::Member> damageSetMembers() {
    return {
        stored("plain/stored.txt", sample(1500, 1)),
        withDescriptor(stored("descriptor/stored-decoys.bin", sample(4000, 2, true)), true),
        deflated("plain/deflated.txt", sample(9000, 3)),
        withDescriptor(deflated("descriptor/deflated.txt", sample(7000, 4)), true),
        withDescriptor(stored("bare-descriptor/stored.bin", sample(2500, 5, true)), false),
        withDescriptor(deflated("bare-descriptor/deflated.txt", sample(6000, 6)), false),
        zip64Sizes(stored("zip64/local-sizes.txt", sample(1200, 7))),
        withDescriptor(zip64Sizes(deflated("zip64/descriptor.txt", sample(5000, 8))), true),
        encrypted("secret/descriptor.txt", sample(1800, 9), true),
        encrypted("secret/plain.txt", sample(900, 10), false),
        withDescriptor(stored("descriptor/empty", ""), true),
        stored("folder/", ""),
        deflated("last.txt", sample(3000, 11)),
    };
}

struct Opened {
    Bytes bytes;
    tarrow_archive* archive = nullptr;
    int code = -1;
    Opened(Bytes block, uint32_t flags) : bytes(std::move(block)) {
        const tarrow_open_options options{sizeof options, flags, nullptr};
        code = tarrow_open_memory_with(bytes.data(), bytes.size(), &options, &archive);
    }
    ~Opened() { tarrow_close(archive); }
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;
    std::vector<tarrow_entry> entries() const {
        std::vector<tarrow_entry> out(archive ? tarrow_entry_count(archive) : 0);
        for (size_t i = 0; i < out.size(); ++i) tarrow_entry_at(archive, i, &out[i]);
        return out;
    }
};

int collect(void* user, const void* data, size_t size) {
    static_cast<std::string*>(user)->append(static_cast<const char*>(data), size);
    return 0;
}

std::pair<int, std::string> readMember(tarrow_archive* archive, size_t index) {
    std::string out;
    const int code = tarrow_read(archive, index, kPassword, collect, &out);
    return {code, out};
}

// A local header of a stored member with no CRC or sizes.
std::string localHeader(uint16_t flags, const std::string& name) {
    std::string h("PK\x03\x04", 4);
    h += {char(10), char(0), char(flags), char(flags >> 8)};
    h += std::string(18, '\0');
    h += {char(name.size()), char(0), char(0), char(0)};
    return h + name;
}

size_t find(const Bytes& b, const std::string& signature, size_t from = 0) {
    return size_t(std::search(b.begin() + ptrdiff_t(from), b.end(), signature.begin(), signature.end()) - b.begin());
}

const std::string kCentral("PK\x01\x02", 4);

// One archive of the set and where each member's data (descriptor included) ends.
struct Generated {
    std::vector<ziptest::Member> members;
    Bytes bytes;
    std::vector<size_t> ends;
};

// Where the central directory starts, as the end record (without comment) says.
size_t centralStart(const Bytes& b) {
    const size_t end = b.size() - 22;
    return size_t(b[end + 16]) | size_t(b[end + 17]) << 8 | size_t(b[end + 18]) << 16 | size_t(b[end + 19]) << 24;
}

Generated generate(std::vector<ziptest::Member> members) {
    Generated g;
    ziptest::Archive a;
    for (const ziptest::Member& m : members) {
        a.members.push_back(m);
        g.ends.push_back(centralStart(ziptest::build(a)));
    }
    g.members = std::move(members);
    g.bytes = ziptest::build(a);
    return g;
}

// What one damaged copy gave: members read whole and identical. Fails the test when a member
// wholly before `intactUpTo` is missing or differs, or when anything reads as whole that is not
// one of the archive's members.
size_t recoveredFrom(const Generated& g, Bytes damaged, size_t intactUpTo, const std::string& what) {
    Opened opened(std::move(damaged), TARROW_OPEN_RECOVER);
    std::map<std::string, std::string> whole;
    for (const ziptest::Member& m : g.members) whole[m.name] = m.data;
    std::map<std::string, bool> read;
    for (size_t i = 0; opened.archive && i < tarrow_entry_count(opened.archive); ++i) {
        tarrow_entry e{};
        EXPECT_EQ(tarrow_entry_at(opened.archive, i, &e), TARROW_OK);
        EXPECT_TRUE(e.flags & TARROW_ENTRY_RECOVERED) << what << ": " << e.name;
        auto [code, data] = readMember(opened.archive, i);
        if (code != TARROW_OK) continue;
        auto original = whole.find(e.name);
        EXPECT_TRUE(original != whole.end() && original->second == data) << what << ": " << e.name << " reads whole";
        read[e.name] = true;
    }
    size_t recovered = 0;
    for (size_t k = 0; k < g.members.size(); ++k) {
        if (g.ends[k] <= intactUpTo) {
            EXPECT_TRUE(read[g.members[k].name]) << what << ": " << g.members[k].name << " is lost";
        }
        recovered += read[g.members[k].name];
    }
    return recovered;
}

}  // namespace

TEST(Recovery, DamageSetRecoversEveryMemberBeforeTheDamage) {
    std::vector<Generated> set;
    const std::vector<ziptest::Member> members = damageSetMembers();
    set.push_back(generate(members));
    set.push_back(generate({members.rbegin(), members.rend()}));
    // Members alone, so that each is first (where a cut inside its header leaves nothing) and last.
    for (const ziptest::Member& m : members) set.push_back(generate({m, stored("after.txt", "after")}));
    size_t recovered = 0, copies = 0;
    for (const Generated& g : set) {
        const size_t directory = centralStart(g.bytes), endStart = g.bytes.size() - 22;
        // Cuts at 97 points spread over the file, and at every member's end and one byte short of it.
        std::vector<size_t> cuts;
        for (size_t k = 1; k < 98; ++k) cuts.push_back(g.bytes.size() * k / 98);
        for (size_t end : g.ends) cuts.insert(cuts.end(), {end, end - 1});
        for (size_t cut : cuts) {
            recovered += recoveredFrom(g, Bytes(g.bytes.begin(), g.bytes.begin() + ptrdiff_t(cut)), cut,
                                       "cut at " + std::to_string(cut));
            ++copies;
        }
        Bytes zeroed = g.bytes;
        std::fill(zeroed.begin() + ptrdiff_t(directory), zeroed.begin() + ptrdiff_t(endStart), 0);
        recovered += recoveredFrom(g, zeroed, directory, "central directory zeroed");
        recovered += recoveredFrom(g, Bytes(g.bytes.begin(), g.bytes.begin() + ptrdiff_t(endStart)), directory,
                                   "end record removed");
        copies += 2;
    }
    // The regression figure, measured when the walk was written: it must not fall.
    EXPECT_GE(recovered, 2130u) << "over " << copies << " damaged copies";
    RecordProperty("recovered", int(recovered));
}

// An intact archive is read from its central directory even with the flag, and without the flag
// a damaged one fails as it always has.
TEST(Recovery, OnlyAFailedDirectoryIsWalkedAndOnlyWithTheFlag) {
    const Generated g = generate(damageSetMembers());
    Opened intact(g.bytes, TARROW_OPEN_RECOVER), plain(g.bytes, 0);
    ASSERT_EQ(intact.code, TARROW_OK);
    ASSERT_EQ(intact.entries().size(), plain.entries().size());
    for (const tarrow_entry& e : intact.entries()) EXPECT_FALSE(e.flags & TARROW_ENTRY_RECOVERED) << e.name;

    const size_t directory = centralStart(g.bytes), end = g.bytes.size() - 22;
    EXPECT_EQ(Opened(Bytes(g.bytes.begin(), g.bytes.begin() + ptrdiff_t(directory)), 0).code, TARROW_E_NOT_ZIP);
    Bytes zeroed = g.bytes;
    std::fill(zeroed.begin() + ptrdiff_t(directory), zeroed.begin() + ptrdiff_t(end), 0);
    EXPECT_EQ(Opened(zeroed, 0).code, TARROW_E_DIRECTORY);
    // An end record that points past the end of the file is no better than none.
    Bytes pointing = g.bytes;
    pointing[end + 16 + 3] = 0x7f;
    Opened walked(pointing, TARROW_OPEN_RECOVER);
    EXPECT_EQ(walked.code, TARROW_OK);
    EXPECT_EQ(walked.entries().size(), g.members.size());
    // Nothing to walk: the failure stays what it was.
    EXPECT_EQ(Opened(Bytes(100, 'x'), TARROW_OPEN_RECOVER).code, TARROW_E_NOT_ZIP);
    EXPECT_EQ(Opened(Bytes(g.bytes.begin(), g.bytes.begin() + 20), TARROW_OPEN_RECOVER).code, TARROW_E_NOT_ZIP);
}

// A cut archive that stores another archive still holds that one's end record, found as the last;
// its directory lies inside a member the walk finds, so the walk's members are the archive's.
TEST(Recovery, AnArchiveInsideAMemberIsNotTakenForTheCutOne) {
    ziptest::Archive inner;
    inner.members = {stored("inner.txt", "inner")};
    const Generated g =
        generate({stored("nested.zip", ziptest::toString(ziptest::build(inner))), stored("after.txt", "after")});
    Opened cut(Bytes(g.bytes.begin(), g.bytes.begin() + ptrdiff_t(centralStart(g.bytes))), TARROW_OPEN_RECOVER);
    ASSERT_EQ(cut.code, TARROW_OK);
    const std::vector<tarrow_entry> entries = cut.entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_STREQ(entries[0].name, "nested.zip");
    EXPECT_STREQ(entries[1].name, "after.txt");
    EXPECT_TRUE(entries[1].flags & TARROW_ENTRY_RECOVERED);
    // Cut right after the stored archive, whose end record then ends the file as if it were this one's.
    Opened atItsEnd(Bytes(g.bytes.begin(), g.bytes.begin() + ptrdiff_t(g.ends[0])), TARROW_OPEN_RECOVER);
    ASSERT_EQ(atItsEnd.entries().size(), 1u);
    EXPECT_STREQ(atItsEnd.entries()[0].name, "nested.zip");
    EXPECT_TRUE(atItsEnd.entries()[0].flags & TARROW_ENTRY_RECOVERED);
    // Whole, the same archive is read from its own directory.
    Opened whole(g.bytes, TARROW_OPEN_RECOVER);
    ASSERT_EQ(whole.entries().size(), 2u);
    EXPECT_FALSE(whole.entries()[1].flags & TARROW_ENTRY_RECOVERED);
}

// Names of recovered members follow the chosen code page as the directory's would.
TEST(Recovery, NamesFollowTheCodePage) {
    const Generated g = generate({stored("\xCF\xF0\xE8\xE2\xE5\xF2.txt", "privet")});  // Привет.txt in CP1251
    const Bytes cut(g.bytes.begin(), g.bytes.begin() + ptrdiff_t(g.ends[0]));
    tarrow_archive* archive = nullptr;
    const tarrow_open_options options{sizeof options, TARROW_OPEN_RECOVER, "CP1251"};
    ASSERT_EQ(tarrow_open_memory_with(cut.data(), cut.size(), &options, &archive), TARROW_OK);
    tarrow_entry e{};
    ASSERT_EQ(tarrow_entry_at(archive, 0, &e), TARROW_OK);
    EXPECT_STREQ(e.name, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.txt");
    EXPECT_TRUE(e.flags & TARROW_ENTRY_RECOVERED);
    tarrow_close(archive);
}

// A member cut short is listed, damaged, as the last one; its facts are what its header said.
TEST(Recovery, TheMemberTheArchiveEndsInIsDamagedAndLast) {
    const Generated g =
        generate({stored("a.txt", sample(500, 1)), deflated("b.txt", sample(5000, 2)), stored("c.txt", "c")});
    Opened cut(Bytes(g.bytes.begin(), g.bytes.begin() + ptrdiff_t(g.ends[1] - 10)), TARROW_OPEN_RECOVER);
    ASSERT_EQ(cut.code, TARROW_OK);
    const std::vector<tarrow_entry> entries = cut.entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].damage, nullptr);
    ASSERT_NE(entries[1].damage, nullptr);
    EXPECT_STREQ(entries[1].damage, "its data runs past the end of the archive");
    EXPECT_EQ(readMember(cut.archive, 1).first, TARROW_E_DAMAGED);
}

// Many headers, and a descriptor search through a large stored member full of decoys that state
// the right size: the walk stays linear in the input.
TEST(Recovery, HostileInputsStayBounded) {
    using Clock = std::chrono::steady_clock;
    std::string chained;
    const std::string header = localHeader(0, "");
    while (chained.size() < (size_t(2) << 20)) chained += header;
    auto start = Clock::now();
    Opened many(Bytes(chained.begin(), chained.end()), TARROW_OPEN_RECOVER);
    ASSERT_EQ(many.code, TARROW_OK);
    EXPECT_EQ(tarrow_entry_count(many.archive), chained.size() / 30);  // names of their own: "member-N"
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));

    // A stored member with a descriptor whose data never ends: every 16 bytes a decoy.
    std::string decoys = localHeader(8, "x");
    const size_t dataStart = decoys.size();
    while (decoys.size() < (size_t(48) << 20)) {
        const uint32_t at = uint32_t(decoys.size() - dataStart);
        decoys += "PK\x07\x08";
        put32(decoys, at + 1);  // never the CRC-32 of what precedes it
        put32(decoys, at);
        put32(decoys, at);
    }
    start = Clock::now();
    Opened endless(Bytes(decoys.begin(), decoys.end()), TARROW_OPEN_RECOVER);
    ASSERT_EQ(endless.code, TARROW_OK);
    ASSERT_EQ(endless.entries().size(), 1u);
    EXPECT_STREQ(endless.entries()[0].damage, "no data descriptor matches its data");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
}

using RecoveryFlat = LibraryTest;

// The flat interface: a warning 30 names each member before its listing, whose fields stay as
// they are; extraction writes the members whole; without Tarrow_Recover the archive fails as before.
TEST_F(RecoveryFlat, ListingAndExtractionNameEachRecoveredMember) {
    ziptest::Archive a;
    a.members = {stored("one.txt", "first"), withDescriptor(deflated("two/two.txt", sample(3000, 4)), true)};
    const Bytes whole = ziptest::build(a);
    const std::string archive = path("cut.zip");
    ziptest::writeFile(archive, Bytes(whole.begin(), whole.begin() + ptrdiff_t(find(whole, kCentral) + 10)));

    EXPECT_EQ(list(archive), 0);
    EXPECT_EQ(Tarrow_GetLastError(), TARROW_ERROR_NO_END_RECORD);

    messages.clear();
    Tarrow_Initialise();
    Tarrow_ArchiveName(archive.c_str());
    Tarrow_View(1);
    Tarrow_Recover(1);
    EXPECT_EQ(Tarrow(), 2);
    EXPECT_EQ(Tarrow_GetLastError(), 0);
    std::vector<std::string> sequence;
    for (const Delivered& d : messages)
        if (d.code == TARROW_MSG_WARNING || d.code == TARROW_MSG_LISTING) sequence.push_back(d.text);
    ASSERT_EQ(sequence.size(), 4u);
    EXPECT_EQ(sequence[0], archive + "|one.txt|30|");
    EXPECT_EQ(sequence[1].substr(0, archive.size() + 16), archive + "||one.txt|5|5|0|");
    EXPECT_EQ(sequence[2], archive + "|two/two.txt|30|");
    EXPECT_EQ(texts(TARROW_MSG_LISTING)[1].substr(archive.size(), 14), "|two|two.txt|3");

    EXPECT_EQ(extractInto(archive, path("out"), [] { Tarrow_Recover(1); }), 2);
    EXPECT_EQ(readFile(path("out/one.txt")), "first");
    EXPECT_EQ(readFile(path("out/two/two.txt")), sample(3000, 4));
    EXPECT_EQ(Tarrow_GetLastError(), 0);
}
