#include "GalleryPage.h"

#include "base/Utf8.h"

#include <unordered_map>

namespace veltrane::preview {
using text::Utf8CodePoint;
using text::Utf8SequenceLength;
namespace {

// kGalleryTemplate: the bytes of gallery.html, written into a header at build time.
#include "GalleryTemplate.inc"

constexpr const char* kDataMarker = "@SKIN_DATA@";

}  // namespace

std::string JsonString(const std::string& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = uint8_t(text[i]);
        if (c >= 0x80) {
            const std::size_t length = Utf8SequenceLength(text, i);
            if (length == 0) {
                out += "\\ufffd";
                ++i;
                continue;
            }
            const char32_t point = Utf8CodePoint(text, i, length);
            if (point == 0x2028 || point == 0x2029) out += point == 0x2028 ? "\\u2028" : "\\u2029";
            else out.append(text, i, length);
            i += length;
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == 0x7F) {
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 15];
            } else {
                out += char(c);
            }
        }
        ++i;
    }
    return out + "\"";
}

std::string GalleryData(const std::vector<GalleryTile>& tiles, const std::string& extension) {
    std::unordered_map<std::string, std::size_t> dirIndex;
    std::string dirs, skins;
    for (const GalleryTile& tile : tiles) {
        const std::size_t slash = tile.path.find_last_of('/');
        const std::string dir = slash == std::string::npos ? std::string() : tile.path.substr(0, slash + 1);
        const auto [at, fresh] = dirIndex.emplace(dir, dirIndex.size());
        if (fresh) dirs += (dirs.empty() ? "" : ",") + JsonString(dir);
        skins += skins.empty() ? "\n[" : ",\n[";
        skins += JsonString(tile.name) + "," + std::to_string(at->second) + "," +
                 JsonString(tile.path.substr(dir.size())) + "," + std::to_string(tile.time) + ",";
        if (tile.preview.empty()) skins += "0," + JsonString(tile.reason);
        else skins += tile.preview == tile.name + extension ? "\"\"" : JsonString(tile.preview);
        skins += "]";
    }
    return "{\"ext\":" + JsonString(extension) + ",\"dirs\":[" + dirs + "],\"skins\":[" + skins + "]}";
}

std::string BuildGalleryPage(const std::vector<GalleryTile>& tiles, const std::string& extension) {
    std::string page(kGalleryTemplate, sizeof kGalleryTemplate - 1);
    const std::size_t marker = page.find(kDataMarker);
    if (marker != std::string::npos)
        page.replace(marker, std::char_traits<char>::length(kDataMarker), GalleryData(tiles, extension));
    return page;
}

}  // namespace veltrane::preview
