#include "GalleryJson.h"

namespace veltrane::preview {
namespace {

void Field(std::string& out, const char* name, const std::string& value) {
    out.append(",\"").append(name).append("\":");
    AppendJsonString(out, value);
}

void Field(std::string& out, const char* name, bool value) {
    out.append(",\"").append(name).append(value ? "\":true" : "\":false");
}

void Field(std::string& out, const char* name, const std::vector<std::string>& names) {
    out.append(",\"").append(name).append("\":[");
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += ',';
        AppendJsonString(out, names[i]);
    }
    out += ']';
}

void Number(std::string& out, const char* name, int64_t value, bool zeroIsNull = false) {
    out.append(",\"").append(name).append("\":").append(zeroIsNull && value == 0 ? "null" : std::to_string(value));
}

}  // namespace

std::string BuildSkinsJson(const TileList& tiles) {
    const std::vector<std::size_t> groups = DuplicateGroups(tiles);
    std::vector<std::size_t> copies(tiles.size(), 0);
    for (const std::size_t group : groups) ++copies[group];
    std::string out = "{\"generator\":\"veltrane-preview\",\"version\":1,\"skins\":[";
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const GalleryTile& tile = *tiles[i];
        out += i > 0 ? ",\n{\"path\":" : "\n{\"path\":";
        AppendJsonString(out, tile.path);
        Field(out, "name", tile.name);
        out.append(",\"size\":").append(std::to_string(tile.size));
        Number(out, "modified", tile.time);
        Number(out, "newest", tile.newest, true);
        out.append(",\"preview\":")
            .append(tile.preview.empty() ? "null" : JsonString(std::string(kPreviewFolder) + "/" + tile.preview));
        out.append(",\"reason\":").append(tile.preview.empty() ? JsonString(tile.reason) : "null");
        out.append(",\"hash\":").append(tile.hash.empty() ? "null" : JsonString(tile.hash));
        Number(out, "group", int64_t(groups[i]));
        Number(out, "copies", int64_t(copies[groups[i]]));
        Field(out, "cursors", tile.cursors);
        Field(out, "numsEx", tile.numsEx);
        Field(out, "region", tile.region);
        Field(out, "shaped", tile.shaped);
        Field(out, "missing", tile.missing);
        Field(out, "tooSmall", tile.tooSmall);
        Field(out, "unreadable", tile.unreadable);
        Field(out, "text", tile.text);
        out += '}';
    }
    return out + "\n]}\n";
}

}  // namespace veltrane::preview
