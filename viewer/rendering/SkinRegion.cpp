#include "rendering/SkinRegion.h"

#include "platform/CaseLookup.h"
#include "rendering/WinAMPGraphics.h"

#include <algorithm>
#include <optional>
#include <string>

namespace veltrane {
namespace {

// Both shaped windows are this size; the playlist below them is never shaped.
constexpr int32_t kWindowWidth = 275;
constexpr int32_t kWindowHeight = 116;
// Coordinates beyond this are no outline anyone drew; the bound keeps the fill's arithmetic exact.
constexpr int64_t kMaxCoordinate = 1000000;
// Real outlines have a few hundred points; the bound keeps a hostile one from costing seconds.
constexpr std::size_t kMaxPoints = 65536;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// The whole numbers of a value, separated by any run of commas and blanks; nullopt when any other
// text is there or a number is out of bounds.
std::optional<std::vector<int64_t>> Numbers(std::string_view value) {
    std::vector<int64_t> numbers;
    std::size_t i = 0;
    for (;;) {
        while (i < value.size() && (value[i] == ',' || IsBlank(value[i]))) ++i;
        if (i == value.size()) return numbers;
        const bool negative = value[i] == '-';
        if (value[i] == '-' || value[i] == '+') ++i;
        if (i == value.size() || value[i] < '0' || value[i] > '9') return std::nullopt;
        int64_t n = 0;
        for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
            n = n * 10 + (value[i] - '0');
            if (n > kMaxCoordinate) return std::nullopt;
        }
        if (i < value.size() && value[i] != ',' && !IsBlank(value[i])) return std::nullopt;
        numbers.push_back(negative ? -n : n);
    }
}

// The keys of one section as read: the first of each name, or nothing.
struct SectionText {
    bool seen = false;
    std::optional<std::string_view> counts, points;
};

WindowRegion MakeRegion(const SectionText& section) {
    if (!section.counts || !section.points) return {};
    const auto counts = Numbers(*section.counts);
    const auto points = Numbers(*section.points);
    if (!counts || !points || counts->empty() || points->size() % 2 != 0) return {};
    std::size_t total = 0;
    for (const int64_t count : *counts) {
        if (count < 1) return {};
        total += std::size_t(count);
    }
    if (total * 2 != points->size() || total > kMaxPoints) return {};
    WindowRegion region;
    std::size_t at = 0;
    for (const int64_t count : *counts) {
        std::vector<RegionPoint> polygon;
        for (int64_t k = 0; k < count; ++k, at += 2)
            polygon.push_back({int32_t((*points)[at]), int32_t((*points)[at + 1])});
        region.polygons.push_back(std::move(polygon));
    }
    const std::vector<uint8_t> mask = FillWindowRegion(region, kWindowWidth, kWindowHeight);
    if (std::none_of(mask.begin(), mask.end(), [](uint8_t a) { return a != 0; })) return {};
    return region;
}

// Splits off the next line, accepting "\r\n", "\n" and "\r" endings.
std::string_view NextLine(std::string_view& text) {
    const std::size_t end = text.find_first_of("\r\n");
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    return line;
}

// Adds the crossings of row y's sampling line (through the pixels' top-left corners) with the
// polygon's edges, each as the first pixel at or right of the crossing, clamped to 0..width. An
// edge counts for the rows from its upper end down to just above its lower end.
void RowCrossings(const std::vector<RegionPoint>& polygon, int32_t y, int32_t width, std::vector<int32_t>& out) {
    const std::size_t n = polygon.size();
    for (std::size_t i = 0; i < n; ++i) {
        RegionPoint a = polygon[i], b = polygon[(i + 1) % n];
        if (a.y == b.y) continue;
        if (a.y > b.y) std::swap(a, b);
        if (!(a.y <= y && y < b.y)) continue;
        // Crossing x = num / d, d > 0; the pixel wanted is ceil(x).
        const int64_t d = int64_t(b.y) - a.y;
        const int64_t num = int64_t(a.x) * d + (int64_t(y) - a.y) * (int64_t(b.x) - a.x);
        const int64_t pixel = num >= 0 ? (num + d - 1) / d : -((-num) / d);
        out.push_back(int32_t(std::clamp<int64_t>(pixel, 0, width)));
    }
}

}  // namespace

SkinRegion ParseSkinRegion(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    SectionText normal, equalizer;
    SectionText* current = nullptr;
    while (!text.empty()) {
        const std::string_view line = Trim(NextLine(text));
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            const std::string_view name = Trim(line.substr(1, close == line.npos ? line.npos : close - 1));
            current = EqualIgnoringAsciiCase(name, "Normal")      ? &normal
                      : EqualIgnoringAsciiCase(name, "Equalizer") ? &equalizer
                                                                  : nullptr;
            // Only the first section of a name counts.
            if (current && current->seen) current = nullptr;
            if (current) current->seen = true;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!current || equals == line.npos) continue;
        const std::string_view key = Trim(line.substr(0, equals));
        std::string_view value = line.substr(equals + 1);
        value = Trim(value.substr(0, value.find(';')));
        if (EqualIgnoringAsciiCase(key, "NumPoints") && !current->counts) current->counts = value;
        else if (EqualIgnoringAsciiCase(key, "PointList") && !current->points) current->points = value;
    }
    return {MakeRegion(normal), MakeRegion(equalizer)};
}

std::vector<uint8_t> FillWindowRegion(const WindowRegion& region, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return {};
    std::vector<uint8_t> mask(std::size_t(width) * std::size_t(height), region.Shaped() ? 0 : 255);
    if (!region.Shaped()) return mask;
    std::vector<int32_t> crossings;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = &mask[std::size_t(y) * std::size_t(width)];
        for (const auto& polygon : region.polygons) {
            crossings.clear();
            RowCrossings(polygon, y, width, crossings);
            std::sort(crossings.begin(), crossings.end());
            // Even-odd: inside between the first and second crossing, the third and fourth, ...
            for (std::size_t k = 0; k + 1 < crossings.size(); k += 2)
                std::fill(row + crossings[k], row + crossings[k + 1], uint8_t(255));
        }
    }
    return mask;
}

std::vector<uint8_t> PreviewRegionMask(const SkinRegion& region) {
    if (!region.main.Shaped() && !region.equalizer.Shaped()) return {};
    std::vector<uint8_t> mask(std::size_t(kPreviewWidth) * std::size_t(kPreviewHeight), 255);
    int32_t top = 0;
    for (const WindowRegion* window : {&region.main, &region.equalizer}) {
        const std::vector<uint8_t> part = FillWindowRegion(*window, kWindowWidth, kWindowHeight);
        for (int32_t y = 0; y < kWindowHeight; ++y)
            std::copy_n(&part[std::size_t(y) * kWindowWidth], kWindowWidth,
                        &mask[std::size_t(top + y) * std::size_t(kPreviewWidth)]);
        top += kWindowHeight;
    }
    if (std::all_of(mask.begin(), mask.end(), [](uint8_t a) { return a == 255; })) return {};
    return mask;
}

}  // namespace veltrane
