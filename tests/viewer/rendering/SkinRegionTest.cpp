// region.txt parsing and filling, checked pixel by pixel against masks drawn by hand ("#" inside).
#include "rendering/SkinRegion.h"
#include "rendering/WinAMPGraphics.h"

#include <gtest/gtest.h>

#include <string>

using namespace veltrane;

namespace {

// The mask as rows of "#" and ".".
std::vector<std::string> Picture(const std::vector<uint8_t>& mask, int32_t width) {
    std::vector<std::string> rows;
    for (std::size_t at = 0; at < mask.size(); at += std::size_t(width)) {
        std::string row;
        for (int32_t x = 0; x < width; ++x) row += mask[at + std::size_t(x)] == 255 ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::string> Fill(const std::string& pointList, const std::string& numPoints, int32_t width,
                              int32_t height) {
    // Small windows are filled straight from the parsed polygons (the parser checks coverage on
    // the real window size, which these small shapes also cover).
    const SkinRegion region = ParseSkinRegion("[Normal]\nNumPoints=" + numPoints + "\nPointList=" + pointList + "\n");
    EXPECT_TRUE(region.main.Shaped());
    return Picture(FillWindowRegion(region.main, width, height), width);
}

using Rows = std::vector<std::string>;

TEST(SkinRegionFill, RectangleCoversThePixelsBetweenItsCorners) {
    EXPECT_EQ(Fill("2,1, 6,1, 6,4, 2,4", "4", 8, 5),
              (Rows{"........", "..####..", "..####..", "..####..", "........"}));
    // The window's own outline covers every pixel of the window.
    const SkinRegion whole = ParseSkinRegion("[Normal]\nNumPoints=4\nPointList=0,0,275,0,275,116,0,116\n");
    const std::vector<uint8_t> mask = FillWindowRegion(whole.main, 275, 116);
    EXPECT_EQ(std::count(mask.begin(), mask.end(), 255), 275 * 116);
    // A preview whose region hides nothing stays opaque: no alpha at all.
    EXPECT_TRUE(PreviewRegionMask(whole).empty());
}

TEST(SkinRegionFill, DiagonalEdgesSampleThePixelsTopLeftCorners) {
    // A pixel is inside when its top-left corner is; a corner on a left edge is inside, on a right
    // edge outside.
    EXPECT_EQ(Fill("2,0 6,0 8,2 8,4 6,6 2,6 0,4 0,2", "8", 8, 6),
              (Rows{"..####..", ".######.", "########", "########", "########", ".######."}));
    // The same outline counter-clockwise fills the same pixels.
    EXPECT_EQ(Fill("0,2 0,4 2,6 6,6 8,4 8,2 6,0 2,0", "8", 8, 6), Fill("2,0 6,0 8,2 8,4 6,6 2,6 0,4 0,2", "8", 8, 6));
}

TEST(SkinRegionFill, CommonCornerCuttingOutline) {
    // The outline most skins copy: the top row and the bottom row left out, the sides stepped in
    // below the title bar.
    const SkinRegion region = ParseSkinRegion(
        "[Normal]\nNumPoints=8\nPointList=0,1,  275,1,  275,14,  274,14,  274,115,  1,115,  1,14,  0,14\n");
    const Rows rows = Picture(FillWindowRegion(region.main, 275, 116), 275);
    ASSERT_EQ(rows.size(), 116u);
    EXPECT_EQ(rows[0], std::string(275, '.'));
    EXPECT_EQ(rows[1], std::string(275, '#'));
    EXPECT_EQ(rows[13], std::string(275, '#'));
    EXPECT_EQ(rows[14], "." + std::string(273, '#') + ".");
    EXPECT_EQ(rows[114], "." + std::string(273, '#') + ".");
    EXPECT_EQ(rows[115], std::string(275, '.'));
}

TEST(SkinRegionFill, PolygonsUniteAndEachFillsEvenOdd) {
    // Two rectangles that overlap: their union, not their difference.
    EXPECT_EQ(Fill("0,0 4,0 4,3 0,3  2,1 7,1 7,4 2,4", "4,4", 8, 5),
              (Rows{"####....", "#######.", "#######.", "..#####.", "........"}));
    // One polygon tracing an outer and an inner rectangle: the inner one is a hole.
    EXPECT_EQ(Fill("0,0 8,0 8,6 0,6 0,0 2,2 2,4 6,4 6,2 2,2", "10", 8, 6),
              (Rows{"########", "########", "##....##", "##....##", "########", "########"}));
    // A bow tie crossing itself: both triangles, as even-odd keeps them.
    EXPECT_EQ(Fill("0,0 8,6 8,0 0,6", "4", 8, 6),
              (Rows{"........", "##.....#", "###...##", "########", "###...##", "##.....#"}));
    // Points outside the window are clipped, whatever their size.
    EXPECT_EQ(Fill("-5,-5 6,-5 6,2 -5,2", "4", 8, 3), (Rows{"######..", "######..", "........"}));
    EXPECT_EQ(Fill("3,0 1000000,0 1000000,1 3,1", "4", 8, 2), (Rows{"...#####", "........"}));
}

TEST(SkinRegionParse, NamesIgnoreCaseAndSeparatorsMayBeCommasOrBlanks) {
    const std::string text =
        "\xEF\xBB\xBF; a comment [Normal]\r\n"
        "[normal]\r\n"
        "  numpoints = 4 ; counted last\r\n"
        "POINTLIST=2,1 6,1,,6,4\t2 ,4\r\n"
        "[EQUALIZER]\r\n"
        "NumPoints=3\r\n"
        "PointList=0,0,275,0,0,116\r\n";
    const SkinRegion region = ParseSkinRegion(text);
    ASSERT_EQ(region.main.polygons.size(), 1u);
    EXPECT_EQ(region.main.polygons[0], (std::vector<RegionPoint>{{2, 1}, {6, 1}, {6, 4}, {2, 4}}));
    ASSERT_EQ(region.equalizer.polygons.size(), 1u);
    EXPECT_EQ(region.equalizer.polygons[0].size(), 3u);
}

TEST(SkinRegionParse, OnlyTheFirstSectionAndKeyOfANameCount) {
    const SkinRegion region = ParseSkinRegion(
        "[Normal]\nNumPoints=4\nPointList=0,0,9,0,9,9,0,9\nNumPoints=3\n"
        "[WindowShade]\nNumPoints=3\nPointList=0,0,1,0,0,1\n"
        "[Normal]\nNumPoints=3\nPointList=0,0,50,0,0,50\n");
    ASSERT_EQ(region.main.polygons.size(), 1u);
    EXPECT_EQ(region.main.polygons[0].size(), 4u);
    EXPECT_FALSE(region.equalizer.Shaped());
}

TEST(SkinRegionParse, MalformedSectionsLeaveTheirWindowUnshaped) {
    const std::string good = "[Equalizer]\nNumPoints=4\nPointList=0,0,275,0,275,100,0,100\n";
    for (const std::string normal : {
             "[Normal]\nNumPoints=4\nPointList=0,0,9,0,9,9\n",             // fewer points than counted
             "[Normal]\nNumPoints=3\nPointList=0,0,9,0,9,9,0,9\n",         // more points than counted
             "[Normal]\nNumPoints=4\nPointList=0,0,9,0,9,9,0\n",           // a coordinate without its pair
             "[Normal]\nNumPoints=4\n",                                    // no point list
             "[Normal]\nPointList=0,0,9,0,9,9,0,9\n",                      // no counts
             "[Normal]\n",                                                 // empty
             "[Normal]\nNumPoints=four\nPointList=0,0,9,0,9,9,0,9\n",      // not a number
             "[Normal]\nNumPoints=4\nPointList=0,0,9.5,0,9,9,0,9\n",       // not a whole number
             "[Normal]\nNumPoints=4,0\nPointList=0,0,9,0,9,9,0,9\n",       // a polygon of no points
             "[Normal]\nNumPoints=-4\nPointList=0,0,9,0,9,9,0,9\n",        // a negative count
             "[Normal]\nNumPoints=4\nPointList=0,0,99999999,0,9,9,0,9\n",  // beyond any window
             "[Normal]\nNumPoints=4\nPointList=0,0,9,0,9,0,0,0\n",         // covers no pixel
             "[Normal]\nNumPoints=2\nPointList=0,0,9,9\n",                 // a line covers no pixel
         }) {
        const SkinRegion region = ParseSkinRegion(normal + good);
        EXPECT_FALSE(region.main.Shaped()) << normal;
        EXPECT_TRUE(region.equalizer.Shaped()) << normal;
    }
    EXPECT_FALSE(ParseSkinRegion("").main.Shaped());
    // More points than any outline needs: refused rather than filled slowly.
    std::string points = "0,0 275,0 275,116 0,116";
    for (int i = 4; i < 65536; ++i) points += " 0,116";
    EXPECT_TRUE(ParseSkinRegion("[Normal]\nNumPoints=65536\nPointList=" + points).main.Shaped());
    EXPECT_FALSE(ParseSkinRegion("[Normal]\nNumPoints=65537\nPointList=" + points + " 0,116").main.Shaped());
    EXPECT_FALSE(ParseSkinRegion(";[Normal]\n;NumPoints=4\n;PointList=0,0,9,0,9,9,0,9\n").main.Shaped());
    // Keys outside any section, and lines without "=", are ignored.
    EXPECT_TRUE(ParseSkinRegion("NumPoints=3\nnonsense\n" + good).equalizer.Shaped());
}

TEST(SkinRegionPreview, WindowsTakeTheirRowsAndThePlaylistStaysOpaque) {
    const SkinRegion region = ParseSkinRegion("[Equalizer]\nNumPoints=4\nPointList=1,1,275,1,275,116,1,116\n");
    const std::vector<uint8_t> mask = PreviewRegionMask(region);
    ASSERT_EQ(mask.size(), std::size_t(kPreviewWidth) * kPreviewHeight);
    const auto at = [&](int x, int y) { return mask[std::size_t(y) * kPreviewWidth + std::size_t(x)]; };
    for (int y = 0; y < 116; ++y) EXPECT_EQ(at(0, y), 255) << y;  // main window unshaped
    for (int x = 0; x < 275; ++x) EXPECT_EQ(at(x, 116), 0) << x;  // the equalizer's first row is cut
    for (int y = 117; y < 232; ++y) {
        EXPECT_EQ(at(0, y), 0) << y;
        EXPECT_EQ(at(1, y), 255) << y;
    }
    for (int y = 232; y < kPreviewHeight; ++y) EXPECT_EQ(at(0, y), 255) << y;
    EXPECT_TRUE(PreviewRegionMask(SkinRegion{}).empty());
}

}  // namespace
