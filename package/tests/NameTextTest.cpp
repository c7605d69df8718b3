// Member names as UTF-8: the rules in their order, and the converted name in listings, patterns
// and target paths.
#include "LibraryFixture.h"
#include "NameMatch.h"
#include "NameText.h"
#include "base/Utf8.h"

#include <filesystem>

using ziptest::Archive;
using ziptest::Member;

namespace {

constexpr uint8_t kDos = 0, kUnix = 3, kNtfs = 10;
const std::string kKaeseCp437 = "K\x84se";  // "Käse" in code page 437
const std::string kKaese = "K\xC3\xA4se";   // "Käse" in UTF-8

std::span<const uint8_t> bytesOf(const ziptest::Bytes& b) { return {b.data(), b.size()}; }

Member named(const std::string& name, uint8_t host, const std::string& data = "x") {
    Member m;
    m.name = name;
    m.data = data;
    m.hostSystem = host;
    return m;
}

}  // namespace

TEST(NameText, RulesApplyInTheirOrder) {
    using tarrow::textAsUtf8;
    const ziptest::Bytes none;
    const ziptest::Bytes good = ziptest::unicodeBlock(0x7075, kKaeseCp437, "K\xC3\xA4se-neu");
    const ziptest::Bytes stale = ziptest::unicodeBlock(0x7075, "Kase", "K\xC3\xA4se-alt");
    // Flag set: the bytes are UTF-8 and kept, whatever the field says.
    EXPECT_EQ(textAsUtf8(kKaese, tarrow::kFlagUtf8, kDos, bytesOf(good), 0x7075), kKaese);
    // Unicode path field whose CRC matches the header's bytes.
    EXPECT_EQ(textAsUtf8(kKaeseCp437, 0, kDos, bytesOf(good), 0x7075), "K\xC3\xA4se-neu");
    EXPECT_EQ(textAsUtf8(kKaeseCp437, 0, kUnix, bytesOf(good), 0x7075), "K\xC3\xA4se-neu");
    // A field for another purpose does not count.
    EXPECT_EQ(textAsUtf8(kKaeseCp437, 0, kDos, bytesOf(good), 0x6375), kKaese);
    // Stale CRC: the field is ignored and the host decides.
    EXPECT_EQ(textAsUtf8(kKaeseCp437, 0, kNtfs, bytesOf(stale), 0x7075), kKaese);
    EXPECT_EQ(textAsUtf8(kKaeseCp437, 0, 6, bytesOf(none), 0x7075), kKaese);   // OS/2 HPFS
    EXPECT_EQ(textAsUtf8(kKaeseCp437, 0, 14, bytesOf(none), 0x7075), kKaese);  // VFAT
    // Unix and the like: bytes kept, even when they are not UTF-8.
    EXPECT_EQ(textAsUtf8(kKaeseCp437, 0, kUnix, bytesOf(stale), 0x7075), kKaeseCp437);
    // A field whose text is not UTF-8, or that is too short for its CRC, is ignored.
    const ziptest::Bytes broken = ziptest::unicodeBlock(0x7075, kKaeseCp437, "\xFF\xFE");
    EXPECT_EQ(textAsUtf8(kKaeseCp437, 0, kDos, bytesOf(broken), 0x7075), kKaese);
    const ziptest::Bytes cut = ziptest::extraBlock(0x7075, std::string("\x01\x00", 2));
    EXPECT_EQ(textAsUtf8(kKaeseCp437, 0, kDos, bytesOf(cut), 0x7075), kKaese);
}

TEST(NameText, Cp437AndUtf8Checks) {
    // Every byte from 128 up becomes one character; box drawing needs three bytes.
    EXPECT_EQ(tarrow::cp437ToUtf8("\x80\x9B\xE1\xFF\xC9"), "\xC3\x87\xC2\xA2\xC3\x9F\xC2\xA0\xE2\x95\x94");
    std::string all;
    for (int b = 0; b < 256; ++b) all += char(b);
    EXPECT_TRUE(veltrane::text::IsUtf8(tarrow::cp437ToUtf8(all)));

    EXPECT_TRUE(veltrane::text::IsUtf8("\xE4\xBD\xA0\xE5\xA5\xBD\xF0\x9F\x98\x80"));
    for (const char* bad :
         {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC3", "\x84", "a\xE4\xBD"})
        EXPECT_FALSE(veltrane::text::IsUtf8(bad)) << bad;

    std::string text = "ab" + kKaese;  // "ä" occupies bytes 3 and 4
    tarrow::cutUtf8(text, 4);
    EXPECT_EQ(text, "abK");
}

TEST(NameText, PatternsMatchCharactersWithoutRegardToCase) {
    EXPECT_TRUE(tarrow::matchName("K?se/*", kKaese + "/main.bmp", false));
    EXPECT_TRUE(tarrow::matchName("k\xC3\x84SE/*.BMP", kKaese + "/main.bmp", false));               // "kÄSE"
    EXPECT_TRUE(tarrow::matchName("[\xC3\xA0-\xC3\xA5]*", "\xC3\xA4pfel", false));                  // [à-å]*
    EXPECT_TRUE(tarrow::matchName("\xD0\x9C\xD0\x98\xD0\xA0", "\xD0\xBC\xD0\xB8\xD1\x80", false));  // МИР, мир
    EXPECT_FALSE(tarrow::matchName("K?se", "Kse", false));
    EXPECT_FALSE(tarrow::matchName("K??se", kKaese, false));  // one character, though two bytes
    // Bytes that are not UTF-8 still match themselves and "?".
    EXPECT_TRUE(tarrow::matchName("K?se", kKaeseCp437, false));
    EXPECT_TRUE(tarrow::matchName(kKaeseCp437, kKaeseCp437, false));
}

using NameArchiveTest = LibraryTest;

// Listing, selection and target paths all see the converted name.
TEST_F(NameArchiveTest, ConvertedNamesAreListedSelectedAndWritten) {
    Archive a;
    Member fromDos = named(kKaeseCp437 + "/main.bmp", kDos, "dos");
    Member unicodePath = named(
        "Stra\x9F"
        "e.txt",
        kUnix, "path");
    unicodePath.extra = ziptest::unicodeBlock(0x7075, unicodePath.name,
                                              "Stra\xC3\x9F"
                                              "e.txt");
    Member flagged = named("\xE4\xBD\xA0\xE5\xA5\xBD.txt", kDos, "flag");
    flagged.flags = tarrow::kFlagUtf8;
    Member unixBytes = named("raw\xE9.txt", kUnix, "raw");
    a.members = {fromDos, unicodePath, flagged, unixBytes};
    std::string file = writeArchive("names.zip", a);

    EXPECT_EQ(list(file), 4);
    std::vector<std::string> listings = texts(TARROW_MSG_LISTING);
    ASSERT_EQ(listings.size(), 4u);
    auto startsWith = [&](const std::string& listing, const std::string& names) {
        return listing.compare(file.size(), names.size(), names) == 0;
    };
    EXPECT_TRUE(startsWith(listings[0], "|" + kKaese + "|main.bmp|")) << listings[0];
    EXPECT_TRUE(startsWith(listings[1],
                           "||Stra\xC3\x9F"
                           "e.txt|"))
        << listings[1];
    EXPECT_TRUE(startsWith(listings[3], "||raw\xE9.txt|")) << listings[3];

    messages.clear();
    EXPECT_EQ(list(file, "k\xC3\x84se/*|stra?e.txt"), 2);

    EXPECT_EQ(extractInto(file, path("out")), 4);
    EXPECT_EQ(readFile(path("out/" + kKaese + "/main.bmp")), "dos");
    EXPECT_EQ(readFile(path("out/Stra\xC3\x9F"
                            "e.txt")),
              "path");
    EXPECT_EQ(readFile(path("out/\xE4\xBD\xA0\xE5\xA5\xBD.txt")), "flag");
    EXPECT_EQ(readFile(path("out/raw\xE9.txt")), "raw");
    // Messages to the host carry the converted target path.
    bool named = false;
    for (const std::string& t : texts(TARROW_MSG_EXTRACT_DONE))
        named = named || t.find("/out/" + kKaese + "/main.bmp|") != std::string::npos;
    EXPECT_TRUE(named);
}

// Two members whose names convert to the same text are two members for the same file, as any
// repeated name is: the later one in the archive wins when overwriting is allowed, and with
// overwriting refused the first one stays.
TEST_F(NameArchiveTest, NamesThatConvertAlikeActAsARepeatedName) {
    Archive a;
    Member flagged = named(kKaese + ".txt", kUnix, "first");
    flagged.flags = tarrow::kFlagUtf8;
    a.members = {flagged, named(kKaeseCp437 + ".txt", kDos, "second")};
    std::string file = writeArchive("twice.zip", a);
    EXPECT_EQ(extractInto(file, path("out")), 2);
    EXPECT_EQ(readFile(path("out/" + kKaese + ".txt")), "second");

    std::filesystem::remove_all(path("out"));
    EXPECT_EQ(extractInto(file, path("out"), [] { Tarrow_Overwrite(TARROW_OVERWRITE_NEVER); }), 1);
    EXPECT_EQ(readFile(path("out/" + kKaese + ".txt")), "first");
}

// The member is written under the name it was listed and selected by, even when its local header
// names it otherwise (a Unicode path field in the central header only, or a name changed on purpose).
TEST_F(NameArchiveTest, TargetPathComesFromTheCentralDirectory) {
    Archive a;
    Member m = named(
        "Stra\x9F"
        "e.txt",
        kDos, "central");
    m.extra = ziptest::unicodeBlock(0x7075, m.name,
                                    "Stra\xC3\x9F"
                                    "e-neu.txt");
    a.members = {m};
    ziptest::Bytes bytes = ziptest::build(a);
    const std::string other =
        "../x\x9F"
        "e.txt";  // as long as the real name
    std::copy(other.begin(), other.end(), bytes.begin() + 30);
    std::string file = path("local.zip");
    ziptest::writeFile(file, bytes);
    EXPECT_EQ(extractInto(file, path("out"), [] { Tarrow_Include("stra?e-neu.txt"); }), 1);
    EXPECT_EQ(readFile(path("out/Stra\xC3\x9F"
                            "e-neu.txt")),
              "central");
}
