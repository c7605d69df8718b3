// A skin's texts and facts: decoding in each encoding, what counts as a text, the facts of a skin
// folder and of an archive, their record between processes, and the pixel hash.
#include "PreviewToolFixture.h"

#include "GalleryManifest.h"
#include "SkinFacts.h"
#include "SkinRender.h"
#include "SkinSources.h"

#include "archive/UnZIP.h"

#include <gtest/gtest.h>

#include <ctime>
#include <utime.h>

using namespace veltrane;
using namespace veltrane::preview;
using namespace veltrane::test;

namespace {

std::string Decode(const std::string& bytes) {
    return DecodeSkinText({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

std::span<const uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::string Bitmap(int32_t width, int32_t height) { return ziptest::toString(EncodePicture(Dib(width, height, 24))); }

TEST(SkinText, EachEncodingBecomesUtf8) {
    // UTF-8, with or without its byte-order mark, stays as it is.
    EXPECT_EQ(Decode("Gr\xC3\xBC\xC3\x9F"
                     "e \xE2\x80\x93 ok"),
              "Grüße – ok");
    EXPECT_EQ(Decode("\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F"
                     "e"),
              "Grüße");
    // UTF-16 in either byte order, a pair of surrogates joined, a lone one replaced.
    EXPECT_EQ(Decode(std::string("\xFF\xFEG\0r\0\xFC\0\x3D\xD8\x00\xDE\x00\xD8!\0", 16)), "Grü😀\uFFFD!");
    EXPECT_EQ(Decode(std::string("\xFE\xFF\0G\0r\0\xFC", 8)), "Grü");
    // Anything that is not valid UTF-8 is Windows-1252, including its characters at 0x80-0x9F.
    EXPECT_EQ(Decode("Gr\xFC\xDF"
                     "e \x96 \x80 \x93quoted\x94 \x81"),
              "Grüße – € “quoted” \uFFFD");
    // A single invalid byte makes the whole text Windows-1252, not a mix.
    EXPECT_EQ(Decode("\xC3\xA9 and \xE9"), "Ã© and é");
}

TEST(SkinText, LineEndsAndControlsAreCleanedUp) {
    EXPECT_EQ(Decode("a\r\nb\rc\nd\r\n\r\n"), "a\nb\nc\nd");
    EXPECT_EQ(Decode("tab\there\x07 bell\x1b[0m"), "tab\there bell[0m");
    // A DOS end-of-file mark ends the text; editors left anything after it.
    EXPECT_EQ(Decode("end\x1A\x00garbage"), "end");
    EXPECT_EQ(Decode(std::string("\xFF\xFE\r\0\n\0x\0\r\0", 10)), "\nx");
}

TEST(SkinText, TextFilesAreKnownByNameAndContent) {
    for (const char* name : {"readme.txt", "Skin/README.TXT", "file_id.diz", "info.NFO", "read.me", "README", "a.1st"})
        EXPECT_TRUE(IsSkinTextName(name)) << name;
    for (const char* name : {"pledit.txt", "Skin/VISCOLOR.TXT", "region.txt", "main.bmp", "readme.doc", "txt", "nfo"})
        EXPECT_FALSE(IsSkinTextName(name)) << name;
    EXPECT_TRUE(LooksLikeText(Bytes("Author: someone\r\n\tDate: 1999\r\n\x1A\x00\x00")));
    EXPECT_TRUE(LooksLikeText(Bytes(std::string("\xFF\xFEh\0i\0", 6))));
    EXPECT_FALSE(LooksLikeText(Bytes(std::string("MZ\x90\0\x03\0\0\0", 8))));
    EXPECT_FALSE(LooksLikeText(Bytes(std::string(100, '\x01'))));
}

TEST(SkinText, AtMost64KiBAreKeptCutAtACharacterBoundary) {
    SkinTextCollector texts;
    texts.Add(Bytes("first"));
    texts.Add(Bytes(std::string(4, '\x01')));  // binary: skipped
    texts.Add(Bytes(""));
    texts.Add(Bytes("second"));
    std::string big;
    for (int i = 0; i < 40000; ++i) big += "\xC3\xA9";  // 80,000 bytes of "é"
    texts.Add(Bytes(big));
    EXPECT_FALSE(texts.WantsMore());
    texts.Add(Bytes("never"));
    const std::string text = texts.Take();
    EXPECT_EQ(text.substr(0, 17), "first\n\nsecond\n\n\xC3\xA9");
    EXPECT_LE(text.size(), kMaxSkinText);
    EXPECT_GE(text.size(), kMaxSkinText - 1);
    EXPECT_EQ(text.substr(text.size() - 2), "\xC3\xA9");
    EXPECT_EQ(text.find("never"), std::string::npos);
}

TEST(SkinFactsRecord, RoundTripsAndRefusesWhatIsNotOne) {
    SkinFacts facts;
    facts.size = 123456789012ull;
    facts.newest = -3;
    facts.text = std::string("a:b\n\n0:\0x", 9);
    facts.missing = {"eqmain.bmp", ""};
    facts.tooSmall = {"titlebar.bmp"};
    facts.cursors = facts.region = true;
    facts.hash = "0123456789abcdef";
    const std::string record = SerializeFacts(facts);
    SkinFacts back;
    ASSERT_TRUE(DeserializeFacts(record, back));
    EXPECT_EQ(back.size, facts.size);
    EXPECT_EQ(back.newest, facts.newest);
    EXPECT_EQ(back.text, facts.text);
    EXPECT_EQ(back.missing, facts.missing);
    EXPECT_EQ(back.tooSmall, facts.tooSmall);
    EXPECT_TRUE(back.unreadable.empty());
    EXPECT_TRUE(back.cursors && back.region && !back.numsEx && !back.shaped);
    EXPECT_EQ(back.hash, facts.hash);
    for (std::size_t cut = 0; cut < record.size(); ++cut)
        EXPECT_FALSE(DeserializeFacts(record.substr(0, cut), back)) << cut;
    EXPECT_FALSE(DeserializeFacts(record + "1:x", back));
    EXPECT_FALSE(DeserializeFacts("99999999999999999999:", back));
}

TEST(SkinFactsRecord, TheManifestKeepsThemApartFromTheTextAndReadsOlderManifests) {
    GalleryManifest manifest;
    GalleryRecord record{"/skins/a\tb.wsz", {10, 20}, "png", "a.png", {}, ""};
    record.facts.text = "line\none\ttab\\";
    record.facts.hash = "00000000000000ff";
    record.facts.shaped = true;
    record.textAt = 7;
    record.textLength = 9;
    manifest.records = {record, {"/skins/bad.wsz", {1, 2}, "png", "", {}, "no main.bmp\tat all"}};
    const std::string text = FormatManifest(manifest);
    EXPECT_EQ(text.find("line"), std::string::npos);  // the text is not in the manifest
    const GalleryManifest back = ParseManifest(text);
    EXPECT_EQ(back.version, kManifestVersion);
    ASSERT_EQ(back.records.size(), 2u);
    EXPECT_EQ(back.records[0].format, "png");
    record.facts.text.clear();
    EXPECT_EQ(SerializeFacts(back.records[0].facts), SerializeFacts(record.facts));
    EXPECT_EQ(back.records[0].textAt, 7u);
    EXPECT_EQ(back.records[0].textLength, 9u);
    EXPECT_EQ(back.records[1].preview, "");
    EXPECT_EQ(back.records[1].reason, "no main.bmp\tat all");
    // Version 2 kept the text inline: its records still count.
    record.facts.text = "inline text";
    const auto two =
        ParseManifest("veltrane-gallery 2\n/skins/a.wsz\t10\t20\tpng\ta.png\t" + SerializeFacts(record.facts) + "\n");
    EXPECT_EQ(two.version, 2);
    ASSERT_EQ(two.records.size(), 1u);
    EXPECT_EQ(two.records[0].format, "png");
    EXPECT_EQ(two.records[0].facts.text, "inline text");
    // The earliest form, and a record whose facts are damaged: the preview stays the gallery's own,
    // but with no format the skin counts as changed.
    for (const std::string& old :
         {std::string("veltrane-gallery 1\n/skins/a.wsz\t10\t20\tpng\ta.png\n"),
          std::string("veltrane-gallery 2\n/skins/a.wsz\t10\t20\tpng\ta.png\t3:abc\n"),
          std::string("veltrane-gallery 3\n/skins/a.wsz\t10\t20\tpng\ta.png\t3:abc\t0\t0\t\n")}) {
        const auto parsed = ParseManifest(old).records;
        ASSERT_EQ(parsed.size(), 1u) << old;
        EXPECT_EQ(parsed[0].preview, "a.png");
        EXPECT_EQ(parsed[0].format, "");
        EXPECT_TRUE(parsed[0].facts.hash.empty());
    }
    // A manifest of a later version is not read at all.
    EXPECT_EQ(ParseManifest("veltrane-gallery 4\n/skins/a.wsz\t10\t20\tpng\ta.png\t3:abc\t0\t0\t\n").version, 0);
}

TEST(PixelHash, SeesVisiblePixelsOnly) {
    Dib a(275, 350, 24), b(275, 350, 24);
    const std::string plain = PixelHash(a, {});
    EXPECT_EQ(plain.size(), 16u);
    EXPECT_EQ(plain.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(PixelHash(b, {}), plain);
    b.SetPixel(274, 349, RgbQuad{1, 0, 0, 0});
    EXPECT_NE(PixelHash(b, {}), plain);
    // The same pixel hidden by the alpha no longer counts, but the alpha itself does.
    std::vector<uint8_t> alpha(275 * 350, 255);
    alpha.back() = 0;
    EXPECT_EQ(PixelHash(b, alpha), PixelHash(a, alpha));
    EXPECT_NE(PixelHash(a, alpha), plain);
    // An all-opaque alpha is the same as none.
    EXPECT_EQ(PixelHash(a, std::vector<uint8_t>(275 * 350, 255)), plain);
}

// A skin with one of each kind of fault: what the facts must say about it.
std::vector<ziptest::Member> FaultySkin(const std::string& folder) {
    return {
        ziptest::stored(folder + "Main.bmp", MainBitmap(kRed)),
        ziptest::stored(folder + "TITLEBAR.BMP", Bitmap(10, 10)),            // too small
        ziptest::stored(folder + "cbuttons.bmp", "BM not really a bitmap"),  // unreadable
        ziptest::stored(folder + "nums_ex.bmp", Bitmap(108, 13)),            // stands in for numbers.bmp
        ziptest::stored(folder + "Volume.bmp", Bitmap(68, 433)),             // and this for balance.bmp
        ziptest::stored(folder + "region.txt", "[Normal]\r\nNumPoints=4\r\nPointList=0,1,275,1,275,116,0,116\r\n"),
        ziptest::stored(folder + "arrow.CUR", std::string(326, '\0')),
        ziptest::stored(folder + "pledit.txt", "[Text]\r\nNormal=#00FF00\r\n"),
        ziptest::stored(folder + "readme.txt", "Made by someone in K\xF6ln\r\n"),
    };
}

void ExpectFaultsFound(const SkinFacts& facts) {
    EXPECT_EQ(facts.missing, (std::vector<std::string>{"playpaus.bmp", "monoster.bmp", "posbar.bmp", "shufrep.bmp",
                                                       "text.bmp", "eqmain.bmp", "pledit.bmp"}));
    EXPECT_EQ(facts.tooSmall, (std::vector<std::string>{"titlebar.bmp"}));
    EXPECT_EQ(facts.unreadable, (std::vector<std::string>{"cbuttons.bmp"}));
    EXPECT_TRUE(facts.numsEx);
    EXPECT_TRUE(facts.cursors);
    EXPECT_TRUE(facts.region);
    EXPECT_TRUE(facts.outline.main.Shaped());
    EXPECT_FALSE(facts.outline.equalizer.Shaped());
}

using SkinFactsOf = PreviewTool;

TEST_F(SkinFactsOf, ASkinFolder) {
    const fs::path folder = root / "skins" / "Faulty";
    fs::create_directories(folder);
    time_t newest = 0;
    for (const ziptest::Member& member : FaultySkin("")) {
        std::ofstream(folder / member.name, std::ios::binary) << member.data;
        const time_t when = 946684800 + 86400 * time_t(member.name.size());  // days after 2000-01-01
        const struct utimbuf times { when, when };
        utime((folder / member.name).c_str(), &times);
        newest = std::max(newest, when);
    }
    fs::create_directories(folder / "sub");  // a subfolder is no file of the skin
    Dib canvas;
    std::string error;
    SkinFacts facts;
    ASSERT_TRUE(RenderSkinSource({SkinSource::Kind::Folder, folder.string(), "Faulty"}, tmp.string() + "/", canvas,
                                 error, ArchiveReading::InMemory, &facts))
        << error;
    ExpectFaultsFound(facts);
    EXPECT_EQ(facts.newest, int64_t(newest));
    uint64_t size = 0;
    for (const ziptest::Member& member : FaultySkin("")) size += member.data.size();
    EXPECT_EQ(facts.size, size);
    EXPECT_EQ(facts.text, "Made by someone in Köln");
}

TEST_F(SkinFactsOf, AnArchiveReadInMemoryOrUnpacked) {
    std::vector<ziptest::Member> members = FaultySkin("Faulty/");
    members.push_back(ziptest::deflated("file_id.diz", "Faulty skin, 1999"));
    members.push_back(ziptest::stored("Faulty/notes.txt", std::string("\x7F"
                                                                      "ELF\2\1\1\0\0\0",
                                                                      10)));  // binary
    for (std::size_t i = 0; i < members.size(); ++i) {
        members[i].dosDate = uint16_t((19 << 9) | (6 << 5) | 15);  // 1999-06-15
        members[i].dosTime = uint16_t((12 << 11) | (30 << 5));     // 12:30
    }
    members[3].dosTime = uint16_t((13 << 11) | (45 << 5) | 5);  // 13:45:10, the newest DOS time
    // The time unpacking sets counts: file_id.diz's extended timestamp, 2001-09-09 01:46:40 UTC.
    members[members.size() - 2].extra = ziptest::extraBlock(0x5455, std::string("\x01\x00\xCA\x9A\x3B", 5));
    const fs::path archive = MakeArchive("Faulty.wsz", members);
    const int64_t newest = 1000000000;

    Dib canvas;
    std::string error;
    SkinFacts facts;
    const SkinSource source{SkinSource::Kind::Archive, archive.string(), "Faulty"};
    ASSERT_TRUE(RenderSkinSource(source, tmp.string() + "/", canvas, error, ArchiveReading::InMemory, &facts)) << error;
    ExpectFaultsFound(facts);
    EXPECT_EQ(facts.size, fs::file_size(archive));
    EXPECT_EQ(facts.newest, newest);
    // The archive's order; the text beside the skin's folder is found too.
    EXPECT_EQ(facts.text, "Made by someone in Köln\n\nFaulty skin, 1999");

    SetPackageLibraryFolder(std::string(VELTRANE_BIN_DIR) + "/");
    SkinFacts unpacked;
    ASSERT_TRUE(RenderSkinSource(source, tmp.string() + "/", canvas, error, ArchiveReading::ViaFiles, &unpacked))
        << error;
    ExpectFaultsFound(unpacked);
    EXPECT_EQ(unpacked.size, fs::file_size(archive));
    EXPECT_EQ(unpacked.text, "Made by someone in Köln");

    // A skin that cannot be rendered still tells its size and texts.
    const fs::path broken = MakeArchive("Broken.wsz", {ziptest::stored("readme.txt", "no skin here")});
    SkinFacts partial;
    EXPECT_FALSE(RenderSkinSource({SkinSource::Kind::Archive, broken.string(), "Broken"}, tmp.string() + "/", canvas,
                                  error, ArchiveReading::InMemory, &partial));
    EXPECT_EQ(partial.size, fs::file_size(broken));
    EXPECT_EQ(partial.text, "no skin here");
}

}  // namespace
