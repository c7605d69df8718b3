#include "GalleryPage.h"

#include "SkinFacts.h"
#include "base/Utf8.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

namespace veltrane::preview {
using text::Utf8CodePoint;
using text::Utf8SequenceLength;
namespace {

// kGalleryTemplate: the bytes of gallery.html, written into a header at build time.
#include "GalleryTemplate.inc"

constexpr std::string_view kDataMarker = "@SKIN_DATA@", kTextsMarker = "@SKIN_TEXTS@";
constexpr std::size_t kPageTextBudget = std::size_t(24) << 20;
constexpr std::size_t kMinPageText = 256, kMaxPageText = 64 * 1024;
// Raised whenever GalleryData, GalleryTexts or skins.json write anything differently.
constexpr int kPageDataForm = 1;

void AppendNames(std::string& out, const std::vector<std::string>& names) {
    out += '[';
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += ',';
        AppendJsonString(out, names[i]);
    }
    out += ']';
}

// Base letters of U+00C0 to U+017F, so that names sort as a reader expects ("Ä" with "A"); "*"
// where there is none (the sign keeps its own place).
constexpr std::string_view kLatinBase =
    "aaaaaaaceeeeiiiidnooooo*ouuuuytsaaaaaaaceeeeiiiidnooooo*ouuuuyty"
    "aaaaaaccccccccddddeeeeeeeeeegggggggghhhhiiiiiiiiiiiijjkkklllllll"
    "lllnnnnnnnnnoooooooorrrrrrssssssssttttttuuuuuuuuuuuuwwyyyzzzzzzs";

// The key of the page's name order: letters without case and accents, runs of digits by their value.
std::string NameSortKey(const std::string& name) {
    std::string key;
    key.reserve(name.size() + 8);
    for (std::size_t i = 0; i < name.size();) {
        const unsigned char c = uint8_t(name[i]);
        if (c >= '0' && c <= '9') {
            std::size_t end = i;
            while (end < name.size() && name[end] >= '0' && name[end] <= '9') ++end;
            std::size_t start = i;
            while (start + 1 < end && name[start] == '0') ++start;
            // "0", the number of digits, the digits: shorter numbers first, all before letters.
            key += '0';
            key += char(std::min<std::size_t>(end - start, 200) + 1);
            key.append(name, start, end - start);
            i = end;
            continue;
        }
        const std::size_t length = c < 0x80 ? 1 : Utf8SequenceLength(name, i);
        if (length == 0) {
            key += char(c);
            ++i;
            continue;
        }
        if (length == 1) {
            key += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        } else {
            const char32_t point = Utf8CodePoint(name, i, length);
            const char base = point >= 0xC0 && point - 0xC0 < kLatinBase.size() ? kLatinBase[point - 0xC0] : '*';
            if (point == 0xDF) key += "ss";
            else if (base != '*') key += base;
            else key.append(name, i, length);
        }
        i += length;
    }
    return key;
}

}  // namespace

TileList InNameOrder(const std::vector<GalleryTile>& tiles) {
    std::vector<std::string> keys;
    keys.reserve(tiles.size());
    for (const GalleryTile& tile : tiles) keys.push_back(NameSortKey(tile.name));
    std::vector<std::size_t> order(tiles.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (const int c = keys[a].compare(keys[b])) return c < 0;
        if (const int c = tiles[a].name.compare(tiles[b].name)) return c < 0;
        return a < b;
    });
    TileList list;
    list.reserve(order.size());
    for (const std::size_t i : order) list.push_back(&tiles[i]);
    return list;
}

std::vector<std::size_t> DuplicateGroups(const TileList& tiles) {
    std::vector<std::size_t> groups(tiles.size());
    std::unordered_map<std::string_view, std::size_t> first;
    first.reserve(tiles.size());
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        groups[i] = i;
        if (tiles[i]->hash.empty() || tiles[i]->preview.empty()) continue;
        groups[i] = first.emplace(tiles[i]->hash, i).first->second;
    }
    return groups;
}

std::size_t PageTextLimit(std::size_t skins) {
    return std::clamp(kPageTextBudget / std::max<std::size_t>(skins, 1), kMinPageText, kMaxPageText);
}

std::string TextHead(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (uint8_t(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

int FactBits(const GalleryTile& tile) {
    return (tile.cursors ? 1 : 0) | (tile.numsEx ? 2 : 0) | (tile.region ? 4 : 0) | (tile.shaped ? 8 : 0);
}

std::string GalleryData(const TileList& tiles, const std::string& extension) {
    const std::vector<std::size_t> groups = DuplicateGroups(tiles);
    std::unordered_map<std::string, std::size_t> dirIndex;
    std::string dirs, skins;
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const GalleryTile& tile = *tiles[i];
        const std::size_t slash = tile.path.find_last_of('/');
        const std::string dir = slash == std::string::npos ? std::string() : tile.path.substr(0, slash + 1);
        const auto [at, fresh] = dirIndex.emplace(dir, dirIndex.size());
        if (fresh) {
            if (!dirs.empty()) dirs += ',';
            AppendJsonString(dirs, dir);
        }
        skins += skins.empty() ? "\n[" : ",\n[";
        AppendJsonString(skins, tile.name);
        skins += ',' + std::to_string(at->second) + ',';
        AppendJsonString(skins, tile.path.substr(dir.size()));
        skins += ',' + std::to_string(tile.time) + ',';
        if (tile.preview.empty()) skins += '0';
        else if (tile.preview == tile.name + extension) skins += "\"\"";
        else AppendJsonString(skins, tile.preview);
        // The fields after the preview are left out from the last one on that has its usual value.
        std::size_t end = skins.size();
        const auto field = [&](bool usual, const auto& write) {
            skins += ',';
            write();
            if (!usual) end = skins.size();
        };
        field(!tile.preview.empty() || tile.reason.empty(),
              [&] { AppendJsonString(skins, tile.preview.empty() ? tile.reason : std::string()); });
        field(tile.size == 0, [&] { skins += std::to_string(tile.size); });
        field(tile.newest == 0, [&] { skins += std::to_string(tile.newest); });
        field(FactBits(tile) == 0, [&] { skins += std::to_string(FactBits(tile)); });
        field(groups[i] == i, [&] { skins += std::to_string(groups[i]); });
        for (const auto* names : {&tile.missing, &tile.tooSmall, &tile.unreadable})
            field(names->empty(), [&] { AppendNames(skins, *names); });
        skins.resize(end);
        skins += ']';
    }
    std::string data = "{\"ext\":" + JsonString(extension) + ",\"dirs\":[";
    data.reserve(data.size() + dirs.size() + skins.size() + 16);
    return data.append(dirs).append("],\"skins\":[").append(skins).append("]}");
}

std::string GalleryTexts(const TileList& tiles) {
    const std::size_t limit = PageTextLimit(tiles.size());
    std::string texts = "[";
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        texts += i > 0 ? ",\n" : "\n";
        if (tiles[i]->text.size() <= limit) {
            AppendJsonString(texts, tiles[i]->text);
        } else {
            texts += '[';
            AppendJsonString(texts, TextHead(tiles[i]->text, limit));
            texts += ']';
        }
    }
    return texts + "]";
}

std::string GalleryPageKey() {
    return WordHash(std::string_view(kGalleryTemplate, sizeof kGalleryTemplate - 1)) + "." +
           std::to_string(kPageDataForm);
}

std::string BuildGalleryPage(const TileList& tiles, const std::string& extension) {
    const std::string_view page(kGalleryTemplate, sizeof kGalleryTemplate - 1);
    // The texts follow the page's script, so that its first screen is drawn before they are read.
    const std::size_t data = page.find(kDataMarker), texts = page.find(kTextsMarker);
    if (data == std::string_view::npos || texts == std::string_view::npos || texts < data) return std::string(page);
    std::string out(page.substr(0, data));
    out += GalleryData(tiles, extension);
    out += page.substr(data + kDataMarker.size(), texts - data - kDataMarker.size());
    out += GalleryTexts(tiles);
    out += page.substr(texts + kTextsMarker.size());
    return out;
}

}  // namespace veltrane::preview
