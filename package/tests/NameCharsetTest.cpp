// Names in a code page the caller chooses: the conversion of each code page on names made here from
// the code pages' own layouts (not through iconv), the separator rule for Japanese trail bytes, the
// order of the rules, bytes a code page does not hold, and the converted names in listings, patterns,
// comments and target paths of both interfaces.
#include "LibraryFixture.h"
#include "NameText.h"
#include "base/Utf8.h"

#include <filesystem>
#include <thread>
#include <unistd.h>

using ziptest::Archive;
using ziptest::Member;

namespace {

constexpr uint8_t kDos = 0, kUnix = 3;

// The Cyrillic capitals А..Я and small letters а..я (U+0410..U+044F) in UTF-8, and in the two
// code pages: CP1251 holds them at 0xC0..0xFF, CP866 at 0x80..0xAF and 0xE0..0xEF.
struct Cyrillic {
    std::string utf8, cp1251, cp866;
};
Cyrillic cyrillicAlphabet() {
    Cyrillic c;
    for (int k = 0; k < 64; ++k) {
        veltrane::text::AppendUtf8(c.utf8, char32_t(0x410 + k));
        c.cp1251 += char(0xC0 + k);
        c.cp866 += char(k < 48 ? 0x80 + k : 0xE0 + k - 48);
    }
    // Ё and ё lie apart in both.
    c.utf8 += "\xD0\x81\xD1\x91";
    c.cp1251 += "\xA8\xB8";
    c.cp866 += "\xF0\xF1";
    return c;
}

// CP932 characters whose second byte is 0x5C ("\"): 表 ソ 能 十 申.
const std::string kTrail5cCp932 = "\x95\x5C\x83\x5C\x94\x5C\x8F\x5C\x90\x5C";
const std::string kTrail5cUtf8 = "\xE8\xA1\xA8\xE3\x82\xBD\xE8\x83\xBD\xE5\x8D\x81\xE7\x94\xB3";
// 表示 ("display") and ソフト ("software").
const std::string kHyojiCp932 = "\x95\x5C\x8E\xA6", kHyojiUtf8 = "\xE8\xA1\xA8\xE7\xA4\xBA";
const std::string kSofutoCp932 = "\x83\x5C\x83\x74\x83\x67", kSofutoUtf8 = "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88";

std::unique_ptr<tarrow::CodePage> codePage(const char* name) {
    auto page = tarrow::CodePage::open(name);
    EXPECT_NE(page, nullptr) << name;
    return page;
}

// A name by the rules, from a host, without flag or extra field.
std::string nameOf(const std::string& stored, uint8_t host, const tarrow::CodePage* page, bool cut = false) {
    return tarrow::textAsUtf8(stored, 0, host, {}, 0x7075, page, cut);
}

Member named(const std::string& name, uint8_t host, const std::string& data) {
    Member m = ziptest::stored(name, data);
    m.hostSystem = host;
    return m;
}

}  // namespace

TEST(NameCharset, CyrillicCodePagesReadTheirOwnLayout) {
    const Cyrillic c = cyrillicAlphabet();
    const auto cp1251 = codePage("CP1251"), cp866 = codePage("CP866");
    ASSERT_TRUE(cp1251 && cp866);
    // Any host: the caller knows better than the host byte.
    for (uint8_t host : {kDos, kUnix}) {
        EXPECT_EQ(nameOf(c.cp1251, host, cp1251.get()), c.utf8);
        EXPECT_EQ(nameOf(c.cp866, host, cp866.get()), c.utf8);
        EXPECT_EQ(nameOf("dir/" + c.cp866 + ".bmp", host, cp866.get()), "dir/" + c.utf8 + ".bmp");
    }
    // Without a code page the rules of before hold.
    EXPECT_EQ(nameOf(c.cp866, kDos, nullptr), tarrow::cp437ToUtf8(c.cp866));
    EXPECT_EQ(nameOf(c.cp866, kUnix, nullptr), c.cp866);
}

TEST(NameCharset, WesternCodePagesAgreeWithTheirTables) {
    // iconv's CP437 against the library's own table, on every byte from 128 up, for a name the
    // host rule would have kept as bytes.
    std::string high;
    for (int b = 0x80; b < 0x100; ++b) high += char(b);
    const auto cp437 = codePage("CP437"), cp850 = codePage("CP850");
    ASSERT_TRUE(cp437 && cp850);
    EXPECT_EQ(nameOf(high, kUnix, cp437.get()), tarrow::cp437ToUtf8(high));
    // CP850 trades some of CP437's symbols for letters: 0x9B ø, 0x9D Ø, 0xB5 Á, 0xE7 þ, where CP437
    // has ¢, ¥, ╡ and τ; the accents both share stay.
    EXPECT_EQ(nameOf("\x9D"
                     "re-\x9B-\xB5-\xE7-\x82\xA4\x94.txt",
                     kDos, cp850.get()),
              "\xC3\x98re-\xC3\xB8-\xC3\x81-\xC3\xBE-\xC3\xA9\xC3\xB1\xC3\xB6.txt");
    EXPECT_EQ(nameOf("\x9Dre", kDos, nullptr), "\xC2\xA5re");
}

// A trail byte 0x5C is part of its character, never a separator; a lone 0x5C still is one.
TEST(NameCharset, JapaneseTrailBytesSplitNoName) {
    const auto cp932 = codePage("CP932"), sjis = codePage("SHIFT_JIS");
    ASSERT_TRUE(cp932 && sjis);
    // Katakana ァ..ヶ (U+30A1..U+30F6) lie at 0x8340..0x8396, skipping 0x837F.
    std::string katakana, expected;
    for (int k = 0; k < 0x56; ++k) {
        const int code = 0x8340 + k + (k >= 0x3F ? 1 : 0);
        katakana += char(code >> 8);
        katakana += char(code & 0xFF);
        veltrane::text::AppendUtf8(expected, char32_t(0x30A1 + k));
    }
    for (const tarrow::CodePage* page : {cp932.get(), sjis.get()}) {
        EXPECT_EQ(nameOf(katakana, kDos, page), expected);
        EXPECT_EQ(nameOf(kTrail5cCp932 + "/" + kHyojiCp932 + "\\" + kSofutoCp932 + ".txt", kDos, page),
                  kTrail5cUtf8 + "/" + kHyojiUtf8 + "\\" + kSofutoUtf8 + ".txt");
    }
    // Shift-JIS calls a lone 0x5C a yen sign and 0x7E an overline: the separator stays one, the
    // rest is the code page's.
    EXPECT_EQ(nameOf("a\\b~", kDos, sjis.get()), "a\\b\xE2\x80\xBE");
    EXPECT_EQ(nameOf("a\\b~", kDos, cp932.get()), "a\\b~");
    // A character of several bytes that converts to a separator becomes its fullwidth form.
    const auto utf16 = codePage("UTF-16LE");
    ASSERT_TRUE(utf16);
    EXPECT_EQ(nameOf(std::string("a\0/\0\\\0", 6), kUnix, utf16.get()), "a\xEF\xBC\x8F\xEF\xBC\xBC");
}

TEST(NameCharset, FlagAndUnicodePathWinOverTheCodePage) {
    const auto cp866 = codePage("CP866");
    ASSERT_TRUE(cp866);
    const std::string stored = "\x8F\xE0\xA8\xA2\xA5\xE2";  // Привет in CP866
    const ziptest::Bytes field = ziptest::unicodeBlock(0x7075, stored, "from-field");
    const ziptest::Bytes stale = ziptest::unicodeBlock(0x7075, "other", "stale");
    EXPECT_EQ(tarrow::textAsUtf8(stored, tarrow::kFlagUtf8, kDos, {}, 0x7075, cp866.get()), stored);
    EXPECT_EQ(tarrow::textAsUtf8(stored, 0, kDos, {field.data(), field.size()}, 0x7075, cp866.get()), "from-field");
    EXPECT_EQ(tarrow::textAsUtf8(stored, 0, kDos, {stale.data(), stale.size()}, 0x7075, cp866.get()),
              "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
}

// A name with bytes the code page does not hold was not written in it: it is read as without the
// option, whole, so nothing is lost and nothing is half converted.
TEST(NameCharset, InvalidSequencesFallBackToTheHostRule) {
    const auto cp1251 = codePage("CP1251"), cp932 = codePage("CP932");
    ASSERT_TRUE(cp1251 && cp932);
    const std::string undefined = "\xC0\x98.txt";  // 0x98 is no character in CP1251
    EXPECT_EQ(nameOf(undefined, kDos, cp1251.get()), tarrow::cp437ToUtf8(undefined));
    EXPECT_EQ(nameOf(undefined, kUnix, cp1251.get()), undefined);
    for (const std::string& bad : {std::string("\x81\x20x.txt"), kHyojiCp932 + "\x95", std::string("\x80")})
        EXPECT_EQ(nameOf(bad, kUnix, cp932.get()), bad) << bad;
    // A name cut to its first bytes loses its unfinished last character only.
    EXPECT_EQ(nameOf(kHyojiCp932 + "\x95", kUnix, cp932.get(), true), kHyojiUtf8);
    EXPECT_EQ(cp932->toUtf8("\x81\x20", true), std::nullopt);

    EXPECT_EQ(tarrow::CodePage::open("NO-SUCH-CODE-PAGE"), nullptr);
    EXPECT_EQ(tarrow::CodePage::open(""), nullptr);
}

// One code page converts for several threads at once (the multi-byte ones keep iconv's state).
TEST(NameCharset, OneCodePageServesThreadsAtOnce) {
    const auto cp932 = codePage("CP932");
    ASSERT_TRUE(cp932);
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i)
                if (cp932->toUtf8(kHyojiCp932 + "/" + kSofutoCp932) != kHyojiUtf8 + "/" + kSofutoUtf8) ++wrong[t];
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

using NameCharsetArchive = LibraryTest;

namespace {

int32_t listIn(const std::string& archive, const char* charset, const char* include = nullptr) {
    Tarrow_Initialise();
    Tarrow_ArchiveName(archive.c_str());
    Tarrow_View(1);
    if (charset) {
        EXPECT_EQ(Tarrow_NameCharset(charset), 1);
    }
    if (include) Tarrow_Include(include);
    return Tarrow();
}

}  // namespace

// The flat interface: the listing's folder and file fields, the comment, patterns, the overwrite
// question and the written files all see the text in the code page.
TEST_F(NameCharsetArchive, FlatInterfaceListsSelectsAndWritesConvertedNames) {
    Archive a;
    a.members = {named(kHyojiCp932 + "/" + kSofutoCp932 + ".txt", kDos, "soft"),
                 named(kHyojiCp932 + "\\" + kTrail5cCp932 + ".txt", kDos, "trail"), named("plain.txt", kUnix, "plain")};
    a.comment = kSofutoCp932;
    const std::string file = writeArchive("japanese.zip", a);

    EXPECT_EQ(listIn(file, "CP932"), 3);
    const std::vector<std::string> listings = texts(TARROW_MSG_LISTING);
    ASSERT_EQ(listings.size(), 3u);
    const std::string fields = "|" + kHyojiUtf8 + "|" + kSofutoUtf8 + ".txt|";
    EXPECT_EQ(listings[0].compare(file.size(), fields.size(), fields), 0) << listings[0];
    EXPECT_EQ(texts(TARROW_MSG_COMMENT), std::vector<std::string>{file + "|6|" + kSofutoUtf8});
    // UTF-8 patterns match the converted names (十 is one of the characters with a trail byte 0x5C).
    const std::string patterns = kHyojiUtf8 + "/*|*\xE5\x8D\x81*";
    messages.clear();
    EXPECT_EQ(listIn(file, "CP932", patterns.c_str()), 2);
    messages.clear();
    EXPECT_EQ(listIn(file, nullptr, patterns.c_str()), 0);
    EXPECT_EQ(texts(TARROW_MSG_COMMENT), std::vector<std::string>{file + "|6|" + kSofutoCp932});  // as stored

    const std::string out = path("out");
    EXPECT_EQ(extractInto(file, out, [] { Tarrow_NameCharset("CP932"); }), 3);
    EXPECT_EQ(readFile(out + "/" + kHyojiUtf8 + "/" + kSofutoUtf8 + ".txt"), "soft");
    EXPECT_EQ(readFile(out + "/" + kHyojiUtf8 + "/" + kTrail5cUtf8 + ".txt"), "trail");
    EXPECT_EQ(readFile(out + "/plain.txt"), "plain");

    // The overwrite question names the converted path.
    messages.clear();
    answer = [](int code, const std::string&) -> int16_t {
        return code == TARROW_MSG_OVERWRITE ? TARROW_OVERWRITE_NO_TO_ALL : 0;
    };
    extractInto(file, out, [] {
        Tarrow_NameCharset("CP932");
        Tarrow_Overwrite(TARROW_OVERWRITE_ASK);
    });
    const std::vector<std::string> asked = texts(TARROW_MSG_OVERWRITE);
    ASSERT_FALSE(asked.empty());
    EXPECT_NE(asked[0].find(kHyojiUtf8 + "/" + kSofutoUtf8 + ".txt"), std::string::npos) << asked[0];
    answer = nullptr;

    // Without the option, code page 437 splits 表 at its trail byte.
    std::filesystem::remove_all(out);
    EXPECT_EQ(extractInto(file, out), 3);
    EXPECT_FALSE(std::filesystem::exists(out + "/" + kHyojiUtf8));
    EXPECT_TRUE(std::filesystem::is_directory(out + "/" + tarrow::cp437ToUtf8("\x95")));
}

// The handle interface: entry names and the files tarrow_extract writes; the same archive reads
// otherwise in another code page. A name longer than the 1023 bytes kept is cut inside a character:
// that character goes, and the rest is still read in the code page (and then kept to 1023 bytes).
TEST(NameCharsetHandle, EntriesAndExtractedFilesFollowTheOption) {
    const Cyrillic c = cyrillicAlphabet();
    Member flagged = named("\xD0\xAF.txt", kDos, "flag");  // Я, flagged as UTF-8
    flagged.flags = tarrow::kFlagUtf8;
    std::string segment, segmentUtf8, longName, longUtf8;
    for (int i = 0; i < 40; ++i) segment += "\x95\x5C", segmentUtf8 += "\xE8\xA1\xA8";
    for (int i = 0; i < 14; ++i) longName += segment + "/";  // 1134 bytes; byte 1023 is a lead byte
    for (int i = 0; i < 8; ++i) longUtf8 += segmentUtf8 + "/";
    for (int i = 0; i < 18; ++i) longUtf8 += "\xE8\xA1\xA8";  // 968 + 54 bytes
    Archive a;
    a.members = {named(c.cp1251 + "/" + c.cp1251 + ".txt", kDos, "cyr"), flagged,
                 named(kHyojiCp932 + ".txt", kUnix, "hyoji"), named(longName, kDos, "long")};
    const ziptest::Bytes bytes = ziptest::build(a);
    const std::filesystem::path out =
        std::filesystem::temp_directory_path() / ("tarrow-charset-" + std::to_string(getpid()));
    std::filesystem::remove_all(out);

    tarrow_open_options options{sizeof options, 0, "CP1251"};
    tarrow_archive* archive = nullptr;
    ASSERT_EQ(tarrow_open_memory_with(bytes.data(), bytes.size(), &options, &archive), TARROW_OK);
    tarrow_entry e{};
    ASSERT_EQ(tarrow_entry_at(archive, 0, &e), TARROW_OK);
    EXPECT_EQ(std::string(e.name), c.utf8 + "/" + c.utf8 + ".txt");
    EXPECT_EQ(e.damage, nullptr);  // its local header names it alike
    ASSERT_EQ(tarrow_entry_at(archive, 1, &e), TARROW_OK);
    EXPECT_EQ(std::string(e.name), "\xD0\xAF.txt");
    ASSERT_EQ(tarrow_entry_at(archive, 2, &e), TARROW_OK);
    EXPECT_EQ(std::string(e.name), "\xE2\x80\xA2\\\xD0\x8B\xC2\xA6.txt");  // • \ Ћ ¦ in CP1251
    EXPECT_EQ(tarrow_extract(archive, 0, out.c_str(), nullptr), TARROW_OK);
    EXPECT_EQ(readFile(out / (c.utf8 + "/" + c.utf8 + ".txt")), "cyr");
    tarrow_close(archive);

    options.name_charset = "CP932";
    ASSERT_EQ(tarrow_open_memory_with(bytes.data(), bytes.size(), &options, &archive), TARROW_OK);
    ASSERT_EQ(tarrow_entry_at(archive, 2, &e), TARROW_OK);
    EXPECT_EQ(std::string(e.name), kHyojiUtf8 + ".txt");
    EXPECT_EQ(tarrow_extract(archive, 2, out.c_str(), nullptr), TARROW_OK);
    EXPECT_EQ(readFile(out / (kHyojiUtf8 + ".txt")), "hyoji");
    ASSERT_EQ(tarrow_entry_at(archive, 3, &e), TARROW_OK);
    EXPECT_EQ(std::string(e.name), longUtf8);
    tarrow_close(archive);
    std::filesystem::remove_all(out);
}
