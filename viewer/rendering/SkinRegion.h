// A skin's region.txt: the polygons that give the main and the equalizer window their outline. Each
// section ([Normal] for the main window, [Equalizer] for the equalizer) holds NumPoints= (the number
// of points of each polygon, separated by commas) and PointList= (x,y pairs, numbers separated by
// commas and/or blanks). A window keeps the union of its polygons, each filled by the even-odd
// rule. Pixel (x, y) belongs to a polygon when the point (x, y), its top-left corner, lies inside,
// a point on a left or upper edge counting as inside and one on a right or lower edge as outside:
// so the rectangle 0,0 275,0 275,116 0,116 covers exactly the 275 x 116 window, and the diagonal
// outlines of real skins cut off exactly the background their artists left around the art.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace veltrane {

struct RegionPoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const RegionPoint&) const = default;
};

// The outline of one window; no polygons means the window keeps its rectangle.
struct WindowRegion {
    std::vector<std::vector<RegionPoint>> polygons;
    bool Shaped() const { return !polygons.empty(); }
};

struct SkinRegion {
    WindowRegion main, equalizer;
};

// Reads region.txt. Section and key names ignore case; lines starting with ";" are comments, and so
// is anything from a ";" on within a value. Only the first section of a name and the first of each
// key in it count. A section is left unshaped (no polygons) when a key is missing, a count or a
// coordinate is not a whole number (or beyond +-1,000,000), a count is below one, the counts do not
// add up to the number of pairs, there are more than 65,536 points, or its polygons cover no pixel
// of its window.
SkinRegion ParseSkinRegion(std::string_view text);

// The window's mask, width x height bytes from the top row down: 255 inside the region, 0 outside.
// An unshaped window is all 255. Points outside the window are fine: the fill is clipped.
std::vector<uint8_t> FillWindowRegion(const WindowRegion& region, int32_t width, int32_t height);

// The preview's alpha, kPreviewWidth x kPreviewHeight bytes from the top: the main window's mask in
// rows 0-115, the equalizer's in rows 116-231, the playlist opaque. Empty when neither window is
// shaped.
std::vector<uint8_t> PreviewRegionMask(const SkinRegion& region);

}  // namespace veltrane
