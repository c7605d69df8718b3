#include "rendering/SkinPainter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <vector>

namespace veltrane {
namespace {

uint8_t Channel(double v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); }

// The font: five rows per glyph, four pixels wide (M and W use all five), the sixth row blank.
struct Glyph {
    char c;
    std::array<std::string_view, 5> rows;
};

constexpr Glyph kGlyphs[] = {
    {'A', {".##.", "#..#", "####", "#..#", "#..#"}},      {'B', {"###.", "#..#", "###.", "#..#", "###."}},
    {'C', {".###", "#...", "#...", "#...", ".###"}},      {'D', {"###.", "#..#", "#..#", "#..#", "###."}},
    {'E', {"####", "#...", "###.", "#...", "####"}},      {'F', {"####", "#...", "###.", "#...", "#..."}},
    {'G', {".###", "#...", "#.##", "#..#", ".###"}},      {'H', {"#..#", "#..#", "####", "#..#", "#..#"}},
    {'I', {"###.", ".#..", ".#..", ".#..", "###."}},      {'J', {"..##", "...#", "...#", "#..#", ".##."}},
    {'K', {"#..#", "#.#.", "##..", "#.#.", "#..#"}},      {'L', {"#...", "#...", "#...", "#...", "####"}},
    {'M', {"#...#", "##.##", "#.#.#", "#...#", "#...#"}}, {'N', {"#..#", "##.#", "#.##", "#..#", "#..#"}},
    {'O', {".##.", "#..#", "#..#", "#..#", ".##."}},      {'P', {"###.", "#..#", "###.", "#...", "#..."}},
    {'Q', {".##.", "#..#", "#..#", "#.#.", ".#.#"}},      {'R', {"###.", "#..#", "###.", "#.#.", "#..#"}},
    {'S', {".###", "#...", ".##.", "...#", "###."}},      {'T', {"###.", ".#..", ".#..", ".#..", ".#.."}},
    {'U', {"#..#", "#..#", "#..#", "#..#", ".##."}},      {'V', {"#.#.", "#.#.", "#.#.", "#.#.", ".#.."}},
    {'W', {"#...#", "#...#", "#.#.#", "##.##", "#...#"}}, {'X', {"#..#", "#..#", ".##.", "#..#", "#..#"}},
    {'Y', {"#.#.", "#.#.", ".#..", ".#..", ".#.."}},      {'Z', {"####", "...#", ".##.", "#...", "####"}},
    {'0', {"###.", "#.#.", "#.#.", "#.#.", "###."}},      {'1', {".#..", "##..", ".#..", ".#..", "###."}},
    {'2', {"###.", "..#.", "###.", "#...", "###."}},      {'3', {"###.", "..#.", ".##.", "..#.", "###."}},
    {'4', {"#.#.", "#.#.", "###.", "..#.", "..#."}},      {'5', {"###.", "#...", "###.", "..#.", "###."}},
    {'6', {"###.", "#...", "###.", "#.#.", "###."}},      {'7', {"###.", "..#.", "..#.", ".#..", ".#.."}},
    {'8', {"###.", "#.#.", "###.", "#.#.", "###."}},      {'9', {"###.", "#.#.", "###.", "..#.", "###."}},
    {'"', {"#.#.", "#.#.", "....", "....", "...."}},      {'@', {".##.", "#..#", "#.##", "#...", ".##."}},
    {'=', {"....", "###.", "....", "###.", "...."}},      {'(', {".#..", "#...", "#...", "#...", ".#.."}},
    {')', {"#...", ".#..", ".#..", ".#..", "#..."}},      {'-', {"....", "....", "###.", "....", "...."}},
    {'\'', {".#..", ".#..", "....", "....", "...."}},     {'!', {".#..", ".#..", ".#..", "....", ".#.."}},
    {'_', {"....", "....", "....", "....", "####"}},      {'+', {"....", ".#..", "###.", ".#..", "...."}},
    {'\\', {"#...", "#...", ".#..", "..#.", "..#."}},     {'/', {"..#.", "..#.", ".#..", "#...", "#..."}},
    {'[', {"##..", "#...", "#...", "#...", "##.."}},      {']', {"##..", ".#..", ".#..", ".#..", "##.."}},
    {'^', {".#..", "#.#.", "....", "....", "...."}},      {'&', {".#..", "#.#.", ".#..", "#.#.", ".#.#"}},
    {'%', {"#..#", "..#.", ".#..", "#...", "#..#"}},      {',', {"....", "....", "....", ".#..", "#..."}},
    {'$', {".###", "##..", ".##.", "..##", "###."}},      {'#', {".#.#", "####", ".#.#", "####", ".#.#"}},
    {'*', {"....", "#.#.", ".#..", "#.#.", "...."}},      {'.', {"....", "....", "....", "....", ".#.."}},
    {':', {"....", ".#..", "....", ".#..", "...."}},      {'?', {"###.", "..#.", ".##.", "....", ".#.."}},
};

}  // namespace

RgbQuad Mix(RgbQuad a, RgbQuad b, double t) {
    return RgbQuad{Channel(a.blue + (b.blue - a.blue) * t), Channel(a.green + (b.green - a.green) * t),
                   Channel(a.red + (b.red - a.red) * t), 0};
}

RgbQuad Scale(RgbQuad c, double factor) {
    return RgbQuad{Channel(c.blue * factor), Channel(c.green * factor), Channel(c.red * factor), 0};
}

const std::string_view* FontGlyph(char c) {
    for (const Glyph& g : kGlyphs)
        if (g.c == c) return g.rows.data();
    return nullptr;
}

SkinPainter::SkinPainter(int32_t width, int32_t height, RgbQuad fill) : m_dib(width, height, 24) {
    Fill(0, 0, width, height, fill);
}

void SkinPainter::Fill(int32_t x, int32_t y, int32_t w, int32_t h, RgbQuad c) {
    const int32_t x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int32_t x1 = std::min(x + w, m_dib.Width()), y1 = std::min(y + h, m_dib.Height());
    for (int32_t yy = y0; yy < y1; ++yy) {
        uint8_t* p = m_dib.Row(yy) + 3 * x0;
        for (int32_t xx = x0; xx < x1; ++xx, p += 3) {
            p[0] = c.blue;
            p[1] = c.green;
            p[2] = c.red;
        }
    }
}

void SkinPainter::Frame(int32_t x, int32_t y, int32_t w, int32_t h, RgbQuad c) {
    HLine(x, y, w, c);
    HLine(x, y + h - 1, w, c);
    VLine(x, y, h, c);
    VLine(x + w - 1, y, h, c);
}

void SkinPainter::Bevel(int32_t x, int32_t y, int32_t w, int32_t h, RgbQuad light, RgbQuad dark, bool sunken) {
    if (sunken) std::swap(light, dark);
    HLine(x, y, w, light);
    VLine(x, y, h, light);
    HLine(x + 1, y + h - 1, w - 1, dark);
    VLine(x + w - 1, y + 1, h - 1, dark);
}

void SkinPainter::VGradient(int32_t x, int32_t y, int32_t w, int32_t h, RgbQuad top, RgbQuad bottom) {
    for (int32_t i = 0; i < h; ++i) HLine(x, y + i, w, Mix(top, bottom, h > 1 ? double(i) / (h - 1) : 0.0));
}

void SkinPainter::HGradient(int32_t x, int32_t y, int32_t w, int32_t h, RgbQuad left, RgbQuad right) {
    for (int32_t i = 0; i < w; ++i) VLine(x + i, y, h, Mix(left, right, w > 1 ? double(i) / (w - 1) : 0.0));
}

void SkinPainter::Pattern(int32_t x, int32_t y, std::initializer_list<std::string_view> rows, RgbQuad c) {
    int32_t row = 0;
    for (std::string_view line : rows) {
        for (std::size_t i = 0; i < line.size(); ++i)
            if (line[i] == '#') Pixel(x + int32_t(i), y + row, c);
        ++row;
    }
}

namespace {

// Columns a glyph's ink spans; a blank is three columns wide.
int32_t GlyphWidth(char c) {
    const std::string_view* rows = FontGlyph(c);
    if (rows == nullptr) return 3;
    int32_t width = 0;
    for (int32_t r = 0; r < 5; ++r)
        if (const std::size_t last = rows[r].find_last_of('#'); last != std::string_view::npos)
            width = std::max(width, int32_t(last) + 1);
    return width;
}

}  // namespace

int32_t SkinPainter::TextWidth(std::string_view text) {
    int32_t width = 0;
    for (char ch : text) width += GlyphWidth(ch) + 1;
    return text.empty() ? 0 : width - 1;
}

void SkinPainter::Text(int32_t x, int32_t y, std::string_view text, RgbQuad c) {
    for (char ch : text) {
        if (const std::string_view* rows = FontGlyph(ch))
            for (int32_t r = 0; r < 5; ++r)
                for (std::size_t i = 0; i < rows[r].size(); ++i)
                    if (rows[r][i] == '#') Pixel(x + int32_t(i), y + r, c);
        x += GlyphWidth(ch) + 1;
    }
}

void SkinPainter::CentredText(int32_t x, int32_t y, int32_t w, std::string_view text, RgbQuad c) {
    Text(x + (w - TextWidth(text)) / 2, y, text, c);
}

Dib SkinPainter::ToPaletted() const {
    std::map<uint32_t, int> counts;
    const auto key = [](RgbQuad c) { return uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue; };
    for (int32_t y = 0; y < m_dib.Height(); ++y)
        for (int32_t x = 0; x < m_dib.Width(); ++x) ++counts[key(m_dib.PixelColor(x, y))];
    std::vector<std::pair<int, uint32_t>> byFrequency;
    for (const auto& [colour, count] : counts) byFrequency.emplace_back(-count, colour);
    std::sort(byFrequency.begin(), byFrequency.end());
    if (byFrequency.size() > 256) byFrequency.resize(256);

    std::vector<RgbQuad> table;
    for (const auto& entry : byFrequency)
        table.push_back(RgbQuad{uint8_t(entry.second), uint8_t(entry.second >> 8), uint8_t(entry.second >> 16), 0});
    table.resize(256);
    Dib out(m_dib.Width(), m_dib.Height(), 8);
    out.SetColors(table.data(), int(table.size()));
    std::map<uint32_t, int> index;
    for (std::size_t i = 0; i < byFrequency.size(); ++i) index[byFrequency[i].second] = int(i);
    for (int32_t y = 0; y < m_dib.Height(); ++y)
        for (int32_t x = 0; x < m_dib.Width(); ++x) {
            const RgbQuad c = m_dib.PixelColor(x, y);
            const auto found = index.find(key(c));
            out.SetPixelIndex(x, y, found != index.end() ? found->second : out.NearestColorIndex(c));
        }
    return out;
}

}  // namespace veltrane
