// What the gallery writes from its tiles: the page's data and texts, duplicate groups, and
// skins.json read back with an independent JSON parser.
#include "GalleryJson.h"
#include "GalleryPage.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace veltrane::preview;
using nlohmann::json;

namespace {

GalleryTile Tile(const std::string& name, const std::string& path, const std::string& hash) {
    GalleryTile tile;
    tile.name = name;
    tile.path = path;
    tile.time = 100;
    tile.preview = name + ".png";
    tile.hash = hash;
    return tile;
}

// The tiles in the order given.
TileList AsGiven(const std::vector<GalleryTile>& tiles) {
    TileList list;
    for (const GalleryTile& tile : tiles) list.push_back(&tile);
    return list;
}

// The JSON between the page's script tags with the given id.
std::string Block(const std::string& page, const std::string& id) {
    const std::string open = "<script type=\"application/json\" id=\"" + id + "\">";
    const std::size_t start = page.find(open);
    if (start == std::string::npos) return {};
    return page.substr(start + open.size(), page.find("</script>", start) - start - open.size());
}

}  // namespace

TEST(GalleryPage, DataNamesEachFolderOnceAndAbbreviatesUsualPreviewNames) {
    std::vector<GalleryTile> tiles = {Tile("Blue", "/skins/a/Blue.wsz", "1"), Tile("Blue", "/skins/b/Blue.wsz", "2"),
                                      Tile("Broken", "/skins/a/Broken.wsz", "")};
    tiles[1].preview = "Blue (2).png";
    tiles[1].cursors = tiles[1].shaped = true;
    tiles[1].size = 5000;
    tiles[1].newest = 90;
    tiles[1].missing = {"eqmain.bmp"};
    tiles[2].preview = "";
    tiles[2].reason = "cannot unpack the archive";
    EXPECT_EQ(GalleryData(AsGiven(tiles), ".png"),
              "{\"ext\":\".png\",\"dirs\":[\"/skins/a/\",\"/skins/b/\"],\"skins\":[\n"
              "[\"Blue\",0,\"Blue.wsz\",100,\"\"],\n"
              "[\"Blue\",1,\"Blue.wsz\",100,\"Blue (2).png\",\"\",5000,90,9,1,[\"eqmain.bmp\"]],\n"
              "[\"Broken\",0,\"Broken.wsz\",100,0,\"cannot unpack the archive\"]]}");
    const std::string page = BuildGalleryPage(AsGiven(tiles), ".png");
    EXPECT_EQ(page.find("@SKIN_DATA@"), std::string::npos);
    EXPECT_EQ(page.find("@SKIN_TEXTS@"), std::string::npos);
    EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
    // Both blocks are valid JSON, the texts after the page's script.
    EXPECT_EQ(json::parse(Block(page, "skins"))["skins"].size(), 3u);
    EXPECT_EQ(json::parse(Block(page, "texts")), json::array({"", "", ""}));
    EXPECT_GT(page.find("id=\"texts\""), page.rfind("<script>"));
    // Nothing outside the page itself: no address of any other file or site.
    EXPECT_EQ(page.find("://"), std::string::npos);
    EXPECT_EQ(page.find(" src=\""), std::string::npos);
}

TEST(GalleryPage, SkinsWithTheSamePixelsFormOneGroup) {
    std::vector<GalleryTile> tiles = {Tile("A", "/a", "00ff"),        Tile("B", "/b", "1234"),
                                      Tile("A copy", "/c", "00ff"),   Tile("Unhashed", "/d", ""),
                                      Tile("Unhashed too", "/e", ""), Tile("Failed", "/f", "1234"),
                                      Tile("B again", "/g", "1234")};
    tiles[5].preview = "";  // a failed skin has no picture to compare
    EXPECT_EQ(DuplicateGroups(AsGiven(tiles)), (std::vector<std::size_t>{0, 1, 0, 3, 4, 5, 1}));
}

TEST(GalleryPage, NamesSortWithoutRegardToCaseOrAccentsAndNumbersByValue) {
    std::vector<GalleryTile> tiles;
    for (const char* name : {"skin 10", "Skin 9", "\xC3\x84rger", "apfel", "Zebra", "b", "Skin 009", "\xC3\x9F",
                             "r\xC3\xA9sum\xC3\xA9", "Resume", "\xE2\x98\x85 star", "!top"})
        tiles.push_back(Tile(name, "/", ""));
    std::vector<std::string> names;
    for (const GalleryTile* tile : InNameOrder(tiles)) names.push_back(tile->name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"!top", "apfel", "\xC3\x84rger", "b", "Resume", "r\xC3\xA9sum\xC3\xA9",
                                        "Skin 009", "Skin 9", "skin 10", "\xC3\x9F", "Zebra", "\xE2\x98\x85 star"}));
}

TEST(GalleryPage, TheTextsOfALargeCollectionAreCutAtACharacterBoundary) {
    EXPECT_EQ(PageTextLimit(1), 64u * 1024);
    EXPECT_EQ(PageTextLimit(1000), 24u * 1024 * 1024 / 1000);
    EXPECT_EQ(PageTextLimit(100000), 256u);
    EXPECT_EQ(TextHead("abc", 5), "abc");
    EXPECT_EQ(TextHead("ab\xC3\xBC", 3), "ab");  // "ü" is not split
    EXPECT_EQ(TextHead("ab\xC3\xBC", 4), "ab\xC3\xBC");
    EXPECT_EQ(TextHead("\xE2\x82\xAC\xE2\x82\xAC", 5), "\xE2\x82\xAC");

    std::vector<GalleryTile> tiles(100000, Tile("S", "/s", ""));
    tiles[0].text = std::string(255, 'a') + "\xC3\xBC" + "tail";
    tiles[1].text = "short";
    const json texts = json::parse(GalleryTexts(AsGiven(tiles)));
    ASSERT_EQ(texts.size(), tiles.size());
    EXPECT_EQ(texts[0], json::array({std::string(255, 'a')}));
    EXPECT_EQ(texts[1], "short");
}

TEST(SkinsJson, ReadsBackWithEveryFieldAndStrangersTextsIntact) {
    std::vector<GalleryTile> tiles = {Tile("Blue", "/skins/Blue.wsz", "0123456789abcdef"),
                                      Tile("<b>\"x\"</b>", "/skins/odd\x01name.wsz", ""),
                                      Tile("Blue copy", "/other/Blue copy.wsz", "0123456789abcdef")};
    tiles[0].size = 123456789012;
    tiles[0].newest = 1000000000;
    tiles[0].text = "by J\xC3\xBCrgen\n\nsecond file </script>\r\n\xE2\x80\xA8";
    tiles[0].missing = {"eqmain.bmp", "pledit.bmp"};
    tiles[0].tooSmall = {"main.bmp"};
    tiles[0].unreadable = {"cbuttons.bmp"};
    tiles[0].cursors = tiles[0].region = tiles[0].shaped = true;
    tiles[1].preview = "";
    tiles[1].reason = "no main.bmp in the skin";
    tiles[1].text = "bad \xFF byte";
    tiles[2].numsEx = true;

    const std::string text = BuildSkinsJson(AsGiven(tiles));
    EXPECT_EQ(text.find('<'), std::string::npos);
    const json file = json::parse(text);
    EXPECT_EQ(file["generator"], "veltrane-preview");
    EXPECT_EQ(file["version"], 1);
    const json& skins = file["skins"];
    ASSERT_EQ(skins.size(), 3u);
    const json& blue = skins[0];
    EXPECT_EQ(blue["path"], "/skins/Blue.wsz");
    EXPECT_EQ(blue["name"], "Blue");
    EXPECT_EQ(blue["size"], 123456789012u);
    EXPECT_EQ(blue["modified"], 100);
    EXPECT_EQ(blue["newest"], 1000000000);
    EXPECT_EQ(blue["preview"], "previews/Blue.png");
    EXPECT_TRUE(blue["reason"].is_null());
    EXPECT_EQ(blue["hash"], "0123456789abcdef");
    EXPECT_EQ(blue["group"], 0);
    EXPECT_EQ(blue["copies"], 2);
    EXPECT_EQ(blue["text"], tiles[0].text);
    EXPECT_EQ(blue["missing"], json::array({"eqmain.bmp", "pledit.bmp"}));
    EXPECT_EQ(blue["tooSmall"], json::array({"main.bmp"}));
    EXPECT_EQ(blue["unreadable"], json::array({"cbuttons.bmp"}));
    for (const char* fact : {"cursors", "region", "shaped"}) EXPECT_EQ(blue[fact], true) << fact;
    EXPECT_EQ(blue["numsEx"], false);

    const json& odd = skins[1];
    EXPECT_EQ(odd["name"], "<b>\"x\"</b>");
    EXPECT_EQ(odd["path"], "/skins/odd\x01name.wsz");
    EXPECT_TRUE(odd["preview"].is_null());
    EXPECT_EQ(odd["reason"], "no main.bmp in the skin");
    EXPECT_TRUE(odd["hash"].is_null());
    EXPECT_TRUE(odd["newest"].is_null());
    EXPECT_EQ(odd["group"], 1);
    EXPECT_EQ(odd["copies"], 1);
    EXPECT_EQ(odd["text"], "bad \xEF\xBF\xBD byte");  // not UTF-8: U+FFFD

    EXPECT_EQ(skins[2]["group"], 0);
    EXPECT_EQ(skins[2]["copies"], 2);
    EXPECT_EQ(skins[2]["numsEx"], true);

    EXPECT_EQ(json::parse(BuildSkinsJson(TileList()))["skins"], json::array());
}
