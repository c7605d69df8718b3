// The gallery's pieces in the test's own process: the page data's escaping, the manifest, the
// names of preview files, and how a gallery folder decides what to render and what to remove.
#include "Gallery.h"
#include "GalleryManifest.h"
#include "GalleryPage.h"
#include "base/Utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace veltrane::preview;
using namespace veltrane::text;

namespace {

class GalleryFolder : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "veltrane-gallery-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    // A skin archive at root/name with the given bytes (only its stamp matters here).
    SkinSource Archive(const std::string& name, const std::string& bytes = "PK") {
        std::ofstream(root / name, std::ios::binary) << bytes;
        return {SkinSource::Kind::Archive, (root / name).string(), fs::path(name).stem().string()};
    }
    static SkinSourceList ListOf(const std::vector<SkinSource>& sources) {
        SkinSourceList list;
        for (const SkinSource& source : sources) list.Add(source);
        return list;
    }
    std::vector<std::string> Previews(const Gallery& gallery) {
        std::vector<std::string> names;
        for (const auto& skin : gallery.Skins()) names.push_back(skin.preview);
        return names;
    }
    // Marks every pending skin as rendered, writing a file as its preview.
    void RenderAll(Gallery& gallery) {
        for (std::size_t i : gallery.Pending()) {
            std::ofstream(gallery.PreviewPath(i)) << "picture";
            gallery.Record(i, true, "");
        }
    }

    fs::path root;
};

}  // namespace

TEST(GalleryPage, StringsFromFileNamesCannotEndTheScriptOrBreakTheJson) {
    EXPECT_EQ(JsonString("plain name"), "\"plain name\"");
    EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsonString("</script><!--x&y>"), "\"\\u003c/script\\u003e\\u003c!--x\\u0026y\\u003e\"");
    EXPECT_EQ(JsonString(std::string("t\tn\nc\x01\x7f", 7)), "\"t\\tn\\nc\\u0001\\u007f\"");
    // Line and paragraph separators end a line in older script parsers.
    EXPECT_EQ(JsonString("a\xE2\x80\xA8z\xE2\x80\xA9"), "\"a\\u2028z\\u2029\"");
    // Text that is UTF-8 stays as it is; bytes that are not become U+FFFD, one per byte.
    EXPECT_EQ(JsonString("Gr\xC3\xBC\xC3\x9F"
                         "e \xF0\x9F\x8E\xB5"),
              "\"Gr\xC3\xBC\xC3\x9F"
              "e \xF0\x9F\x8E\xB5\"");
    EXPECT_EQ(JsonString("a\xFF\xC3"
                         "b\xE2\x80"),
              "\"a\\ufffd\\ufffdb\\ufffd\\ufffd\"");
}

TEST(GalleryManifest, RoundTripsAnyPathAndDropsWhatDoesNotParse) {
    GalleryManifest manifest;
    manifest.records = {
        {"/skins/tab\there/new\nline\\back\r.wsz", {123, -5}, "png", "x.png", {}, ""},
        {"/skins/plain.wsz", {0, 1796706058162906691}, "jpg90", "plain.jpg", {}, ""},
    };
    manifest.textsHash = "0123456789abcdef";
    manifest.textsSize = 99;
    manifest.pageKey = "key.1";
    manifest.page = {{5, 6}, "fedcba9876543210"};
    manifest.data = {{7, 8}, "0000000000000001"};
    const GalleryManifest back = ParseManifest(FormatManifest(manifest));
    ASSERT_EQ(back.records.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(back.records[i].skin, manifest.records[i].skin);
        EXPECT_EQ(back.records[i].stamp, manifest.records[i].stamp);
        EXPECT_EQ(back.records[i].format, manifest.records[i].format);
        EXPECT_EQ(back.records[i].preview, manifest.records[i].preview);
    }
    EXPECT_EQ(back.textsHash, manifest.textsHash);
    EXPECT_EQ(back.textsSize, 99u);
    EXPECT_EQ(back.pageKey, "key.1");
    EXPECT_EQ(back.page, manifest.page);
    EXPECT_EQ(back.data, manifest.data);

    EXPECT_TRUE(ParseManifest("something else\n/a\t1\t2\tpng\ta.png\n").records.empty());
    const std::string facts = "\t" + SerializeFacts({}) + "\t0\t0\t";
    const auto kept = ParseManifest(
        "veltrane-gallery 3\n"
        "page\tkey\t1\t2\n"  // short: the page is unknown
        "/a\t1\t2\tpng\t../escape.png" +
        facts +
        "\n"  // not a plain name
        "/b\t1\t2\tpng\tsub/dir.png" +
        facts +
        "\n"
        "/c\t1\t2\tpng\t.." +
        facts +
        "\n"
        "/d\tone\t2\tpng\td.png" +
        facts +
        "\n"                      // not a number
        "/e\t1\t2\tpng\te.png\n"  // fields short
        "/f\t1\t2\tpng\tf\\q.png" +
        facts +
        "\n"  // unknown escape
        "/g\t1\t2\tpng\tg.png" +
        facts +
        "\n"
        "/h\t1\t2\tpng\t\t3:abc\t0\t0\t\n"  // a failure without its facts
        "/i\t1\t2\tpng\ti.png" +
        facts);  // cut short
    EXPECT_TRUE(kept.pageKey.empty());
    ASSERT_EQ(kept.records.size(), 1u);
    EXPECT_EQ(kept.records[0].skin, "/g");
}

TEST(GalleryNames, PreviewFileNamesAreSafeOnEverySystem) {
    EXPECT_EQ(PreviewBaseName("Blue Steel"), "Blue Steel");
    EXPECT_EQ(PreviewBaseName("Grün"), "Grün");
    EXPECT_EQ(PreviewBaseName("a:b*c?d\"e<f>g|h\\i"), "a_b_c_d_e_f_g_h_i");
    EXPECT_EQ(PreviewBaseName(std::string("x\x01y\xFFz", 5)), "x_y_z");
    EXPECT_EQ(PreviewBaseName(""), "_");
    EXPECT_EQ(PreviewBaseName(".."), "_..");
    EXPECT_EQ(PreviewBaseName(".hidden"), "_.hidden");
    // Long names are cut at a character boundary, so the extension and a number still fit.
    std::string umlauts;
    for (int i = 0; i < 150; ++i) umlauts += "\xC3\xA4";
    const std::string cut = PreviewBaseName(umlauts);
    EXPECT_EQ(cut.size(), 200u);
    EXPECT_EQ(Utf8SequenceLength(cut, 198), 2u);
    EXPECT_EQ(FoldedName("Blue.PNG"), "blue.png");
}

TEST_F(GalleryFolder, SkinsOfOneNameGetPreviewsOfTheirOwnAndOthersFilesAreNeverTaken) {
    fs::create_directories(root / "g" / "previews");
    std::ofstream(root / "g" / "previews" / "Red.png") << "someone else's";
    std::vector<SkinSource> sources = {Archive("Blue.wsz"), Archive("blue.wsz"), Archive("Red.wsz")};
    fs::create_directories(root / "sub");
    sources.push_back(Archive("sub/Blue.wsz"));
    sources.push_back(sources[0]);  // given twice: one tile
    Gallery gallery;
    std::string error;
    ASSERT_TRUE(gallery.Open((root / "g").string(), ListOf(sources), ImageFormat::Png, 90, false, error)) << error;
    EXPECT_EQ(Previews(gallery), (std::vector<std::string>{"Blue.png", "blue (2).png", "Red (2).png", "Blue (3).png"}));
    EXPECT_EQ(gallery.Pending().size(), 4u);
    RenderAll(gallery);
    ASSERT_TRUE(gallery.Write(error)) << error;
    std::ifstream mine(root / "g" / "previews" / "Red.png");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(mine), {}), "someone else's");

    // Next time the names stay with their skins, whatever comes first.
    std::reverse(sources.begin(), sources.end());
    Gallery again;
    ASSERT_TRUE(again.Open((root / "g").string(), ListOf(sources), ImageFormat::Png, 90, false, error)) << error;
    EXPECT_EQ(Previews(again), (std::vector<std::string>{"Blue.png", "Blue (3).png", "Red (2).png", "blue (2).png"}));
    EXPECT_TRUE(again.Pending().empty());
}

TEST_F(GalleryFolder, ChangedSkinsAreRenderedAgainAndPreviewsNoLongerShownAreRemoved) {
    const std::vector<SkinSource> sources = {Archive("One.wsz"), Archive("Two.wsz"), Archive("Three.wsz")};
    const std::string folder = (root / "g").string();
    std::string error;
    {
        Gallery gallery;
        ASSERT_TRUE(gallery.Open(folder, ListOf(sources), ImageFormat::Png, 90, false, error)) << error;
        RenderAll(gallery);
        ASSERT_TRUE(gallery.Write(error)) << error;
    }
    Archive("Two.wsz", "PK, longer now");  // size changes
    fs::remove(root / "g" / "previews" / "Three.png");
    {
        Gallery gallery;
        ASSERT_TRUE(gallery.Open(folder, ListOf(sources), ImageFormat::Png, 90, false, error)) << error;
        EXPECT_EQ(gallery.Pending(), (std::vector<std::size_t>{1, 2}));
    }
    {
        // Another format renders everything again, into files of its extension; One is gone and
        // Two fails: the old previews of all three go.
        Gallery gallery;
        ASSERT_TRUE(gallery.Open(folder, {sources[1], sources[2]}, ImageFormat::Jpeg, 80, false, error)) << error;
        EXPECT_EQ(Previews(gallery), (std::vector<std::string>{"Two.jpg", "Three.jpg"}));
        ASSERT_EQ(gallery.Pending().size(), 2u);
        std::ofstream(gallery.PreviewPath(1)) << "picture";
        gallery.Record(0, false, "main.bmp is not a readable bitmap");
        gallery.Record(1, true, "");
        ASSERT_TRUE(gallery.Write(error)) << error;
    }
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(root / "g" / "previews")) left.insert(entry.path().filename());
    EXPECT_EQ(left, (std::set<std::string>{"Three.jpg"}));
    // A changed quality is another format, too; --force renders all.
    Gallery gallery;
    ASSERT_TRUE(gallery.Open(folder, {sources[2]}, ImageFormat::Jpeg, 80, false, error)) << error;
    EXPECT_TRUE(gallery.Pending().empty());
    ASSERT_TRUE(gallery.Open(folder, {sources[2]}, ImageFormat::Jpeg, 81, false, error)) << error;
    EXPECT_EQ(gallery.Pending().size(), 1u);
    Gallery forced;
    ASSERT_TRUE(forced.Open(folder, {sources[2]}, ImageFormat::Jpeg, 80, true, error)) << error;
    EXPECT_EQ(forced.Pending().size(), 1u);
}

TEST_F(GalleryFolder, AnIndexPageThatIsNotAGallerysIsLeftAlone) {
    fs::create_directories(root / "site");
    std::ofstream(root / "site" / "index.html") << "my home page";
    Gallery gallery;
    std::string error;
    EXPECT_FALSE(gallery.Open((root / "site").string(), {Archive("A.wsz")}, ImageFormat::Png, 90, false, error));
    EXPECT_NE(error.find("not a gallery"), std::string::npos) << error;
    Gallery forced;
    EXPECT_TRUE(forced.Open((root / "site").string(), {Archive("A.wsz")}, ImageFormat::Png, 90, true, error));
    // Nor is a skins.json of one's own.
    fs::create_directories(root / "data");
    std::ofstream(root / "data" / "skins.json") << "{}";
    Gallery data;
    EXPECT_FALSE(data.Open((root / "data").string(), {Archive("A.wsz")}, ImageFormat::Png, 90, false, error));
    EXPECT_NE(error.find("skins.json is not a gallery's data"), std::string::npos) << error;
}

TEST_F(GalleryFolder, AFolderSkinsStampFollowsTheFilesInIt) {
    fs::create_directories(root / "skin");
    std::ofstream(root / "skin" / "main.bmp") << "1234";
    const SkinSource skin{SkinSource::Kind::Folder, (root / "skin").string(), "skin"};
    const SkinStamp first = StampOf(skin);
    EXPECT_EQ(first.size, 4u);
    std::ofstream(root / "skin" / "main.bmp", std::ios::app) << "5";
    EXPECT_EQ(StampOf(skin).size, 5u);
    // Same size, later time: a file rewritten in place.
    const SkinStamp grown = StampOf(skin);
    fs::last_write_time(root / "skin" / "main.bmp",
                        fs::last_write_time(root / "skin" / "main.bmp") + std::chrono::seconds(5));
    EXPECT_GT(StampOf(skin).mtime, grown.mtime);
    EXPECT_EQ(StampOf({SkinSource::Kind::Archive, (root / "missing.wsz").string(), "missing"}), SkinStamp{});
}
