// The blits work on rows in the destination's own element form: one index byte per pixel for a
// paletted destination, the pixel's three or four bytes for 24 and 32 bits. A source row is first
// converted into that form (palette lookups, nearest-colour matching), then combined with the
// destination row by the raster operation and stored.
#include "platform/Blit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace veltrane {

namespace {

constexpr uint32_t kSrcCopyCode = 0xCC;

int Elements(const Dib& d) { return d.BitCount() <= 8 ? 1 : d.BitCount() / 8; }

inline int IndexAt(const uint8_t* row, int bitCount, int32_t x) {
    switch (bitCount) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
    default: return row[x];
    }
}

void StoreIndex(uint8_t* row, int bitCount, int32_t x, uint8_t index) {
    if (bitCount == 8) {
        row[x] = index;
    } else if (bitCount == 4) {
        uint8_t& b = row[x >> 1];
        b = (x & 1) ? uint8_t((b & 0xF0) | (index & 0x0F)) : uint8_t((b & 0x0F) | (index << 4));
    } else {
        const uint8_t mask = uint8_t(0x80 >> (x & 7));
        row[x >> 3] = uint8_t((row[x >> 3] & ~mask) | ((index & 1) ? mask : 0));
    }
}

// Nearest palette entries of a paletted destination, remembered per colour for the life of one
// blit in a small direct-mapped cache, so each distinct colour searches the table once.
class NearestColorCache {
public:
    explicit NearestColorCache(const Dib& dst) : m_dst(dst) {}

    uint8_t Index(uint8_t red, uint8_t green, uint8_t blue) {
        const uint32_t key = uint32_t(red) << 16 | uint32_t(green) << 8 | blue | kValid;
        const uint32_t slot = (key * 2654435761u) >> (32 - kBits);
        if (m_keys[slot] != key) {
            m_keys[slot] = key;
            m_values[slot] = uint8_t(m_dst.NearestColorIndex(RgbQuad{blue, green, red, 0}));
        }
        return m_values[slot];
    }

private:
    static constexpr int kBits = 12;
    static constexpr uint32_t kValid = 1u << 24;
    const Dib& m_dst;
    uint32_t m_keys[1 << kBits] = {};
    uint8_t m_values[1 << kBits] = {};
};

// Converts source pixels into the destination's element form.
class SourceConverter {
public:
    SourceConverter(const Dib& src, const Dib& dst)
        : m_src(src), m_srcBits(src.BitCount()), m_dstElements(Elements(dst)) {
        if (dst.BitCount() <= 8) m_nearest = std::make_unique<NearestColorCache>(dst);
        if (m_srcBits > 8) return;
        // A paletted source maps its whole table once; equal tables keep their indices.
        const int count = 1 << m_srcBits;
        if (m_dstElements > 1) {
            // Colour table entries are already blue, green, red and a spare byte, which stays 0.
            static_assert(sizeof(RgbQuad) == 4);
            std::memcpy(m_table, src.Colors(), sizeof(RgbQuad) * std::size_t(count));
            for (int i = 0; i < count; ++i) m_table[i][3] = 0;
            return;
        }
        const bool samePalette = dst.BitCount() <= 8 && src.ColorCount() <= dst.ColorCount() &&
                                 std::equal(src.Colors(), src.Colors() + src.ColorCount(), dst.Colors());
        for (int i = 0; i < count; ++i) {
            const RgbQuad c = src.Colors()[i];
            m_table[i][0] = samePalette ? uint8_t(i) : m_nearest->Index(c.red, c.green, c.blue);
        }
    }

    // Writes n pixels of source line y, from column x on, to out.
    void Row(int32_t y, int32_t x, int32_t n, uint8_t* out) {
        const uint8_t* row = m_src.Row(y);
        switch (m_srcBits * 8 + m_dstElements) {
        case 8 * 8 + 3: return FromTable<8, 3>(row, x, n, out);
        case 8 * 8 + 4: return FromTable<8, 4>(row, x, n, out);
        case 8 * 8 + 1: return FromTable<8, 1>(row, x, n, out);
        case 4 * 8 + 3: return FromTable<4, 3>(row, x, n, out);
        case 4 * 8 + 4: return FromTable<4, 4>(row, x, n, out);
        case 4 * 8 + 1: return FromTable<4, 1>(row, x, n, out);
        case 1 * 8 + 3: return FromTable<1, 3>(row, x, n, out);
        case 1 * 8 + 4: return FromTable<1, 4>(row, x, n, out);
        case 1 * 8 + 1: return FromTable<1, 1>(row, x, n, out);
        case 24 * 8 + 3: return FromTrueColor<3, 3>(row, x, n, out);
        case 24 * 8 + 4: return FromTrueColor<3, 4>(row, x, n, out);
        case 32 * 8 + 3: return FromTrueColor<4, 3>(row, x, n, out);
        case 32 * 8 + 4: return FromTrueColor<4, 4>(row, x, n, out);
        default: break;
        }
        const uint8_t* in = row + std::size_t(x) * std::size_t(m_srcBits / 8);
        for (int32_t i = 0; i < n; ++i, in += m_srcBits / 8) out[i] = m_nearest->Index(in[2], in[1], in[0]);
    }

    // A colour (not from the source) in the destination's element form.
    void Color(uint8_t red, uint8_t green, uint8_t blue, uint8_t* out) {
        if (m_dstElements == 1) {
            out[0] = m_nearest->Index(red, green, blue);
            return;
        }
        out[0] = blue;
        out[1] = green;
        out[2] = red;
        if (m_dstElements == 4) out[3] = 0;
    }

private:
    template <int SrcBits, int DstElements>
    void FromTable(const uint8_t* row, int32_t x, int32_t n, uint8_t* out) const {
        if (n <= 0) return;
        // Whole four-byte stores; for three-byte pixels the spare byte is overwritten by the next
        // pixel, and the last pixel is stored alone so nothing beyond the run is touched.
        const int32_t whole = DstElements == 3 ? n - 1 : n;
        for (int32_t i = 0; i < whole; ++i, out += DstElements)
            std::memcpy(out, m_table[IndexAt(row, SrcBits, x + i)], DstElements == 1 ? 1 : 4);
        if (whole < n) std::memcpy(out, m_table[IndexAt(row, SrcBits, x + whole)], 3);
    }

    template <int SrcElements, int DstElements>
    static void FromTrueColor(const uint8_t* row, int32_t x, int32_t n, uint8_t* out) {
        const uint8_t* in = row + std::size_t(x) * SrcElements;
        for (int32_t i = 0; i < n; ++i, in += SrcElements, out += DstElements) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            if constexpr (DstElements == 4) out[3] = SrcElements == 4 ? in[3] : 0;
        }
    }

    const Dib& m_src;
    int m_srcBits;
    int m_dstElements;
    uint8_t m_table[256][4];  // filled for every index of the source's depth
    std::unique_ptr<NearestColorCache> m_nearest;
};

// Stores n pixels in element form into destination line y from column x on.
void StoreRow(Dib& dst, int32_t y, int32_t x, int32_t n, const uint8_t* in) {
    uint8_t* row = dst.Row(y);
    const int bits = dst.BitCount();
    if (bits >= 8) {
        std::memcpy(row + std::size_t(x) * std::size_t(Elements(dst)), in, std::size_t(n) * std::size_t(Elements(dst)));
        return;
    }
    for (int32_t i = 0; i < n; ++i) StoreIndex(row, bits, x + i, in[i]);
}

void LoadRow(const Dib& dst, int32_t y, int32_t x, int32_t n, uint8_t* out) {
    const uint8_t* row = dst.Row(y);
    const int bits = dst.BitCount();
    if (bits >= 8) {
        std::memcpy(out, row + std::size_t(x) * std::size_t(Elements(dst)),
                    std::size_t(n) * std::size_t(Elements(dst)));
        return;
    }
    for (int32_t i = 0; i < n; ++i) out[i] = uint8_t(IndexAt(row, bits, x + i));
}

// A ternary raster operation code is the truth table of a function of pattern P, source S and
// destination D: bit number 4P + 2S + D of the code holds the result for those three input bits.
// The function is applied to every bit of the element bytes.
uint8_t EvaluateRop(uint8_t code, uint8_t p, uint8_t s, uint8_t d) {
    uint8_t result = 0;
    for (int k = 0; k < 8; ++k) {
        if (!((code >> k) & 1)) continue;
        result |= uint8_t(((k & 4) ? p : ~p) & ((k & 2) ? s : ~s) & ((k & 1) ? d : ~d));
    }
    return result;
}

bool UsesSource(uint8_t code) { return ((code >> 2) ^ code) & 0x33; }

// Combines a row of source elements into a row of destination elements, in place.
void CombineRow(uint8_t code, const uint8_t* pattern, int elements, const uint8_t* s, uint8_t* d, std::size_t n) {
    switch (code) {
    case 0xCC: std::memcpy(d, s, n); return;  // SRCCOPY
    case 0x88:
        for (std::size_t i = 0; i < n; ++i) d[i] &= s[i];
        return;  // SRCAND
    case 0xEE:
        for (std::size_t i = 0; i < n; ++i) d[i] |= s[i];
        return;  // SRCPAINT
    case 0x66:
        for (std::size_t i = 0; i < n; ++i) d[i] ^= s[i];
        return;  // SRCINVERT
    case 0x33:
        for (std::size_t i = 0; i < n; ++i) d[i] = uint8_t(~s[i]);
        return;  // NOTSRCCOPY
    default: break;
    }
    for (std::size_t i = 0; i < n; ++i) d[i] = EvaluateRop(code, pattern[i % std::size_t(elements)], s[i], d[i]);
}

// The clipped rectangle of a copy, in destination coordinates.
struct Span {
    int32_t x0, y0, x1, y1;
    bool Empty() const { return x0 >= x1 || y0 >= y1; }
};

Span ClipCopy(const Dib& dst, int64_t x, int64_t y, int64_t w, int64_t h, const Dib* src, int64_t sx, int64_t sy) {
    int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    int64_t x1 = std::min<int64_t>(x + w, dst.Width()), y1 = std::min<int64_t>(y + h, dst.Height());
    if (src) {
        x0 = std::max(x0, x - sx);
        y0 = std::max(y0, y - sy);
        x1 = std::min(x1, x - sx + src->Width());
        y1 = std::min(y1, y - sy + src->Height());
    }
    if (x0 >= x1 || y0 >= y1) return Span{0, 0, 0, 0};
    return Span{int32_t(x0), int32_t(y0), int32_t(x1), int32_t(y1)};
}

bool SamePixelFormat(const Dib& a, const Dib& b) {
    if (a.BitCount() != b.BitCount()) return false;
    return a.BitCount() > 8 || std::equal(a.Colors(), a.Colors() + a.ColorCount(), b.Colors());
}

}  // namespace

bool BitBlt(Dib& dst, int32_t x, int32_t y, int32_t w, int32_t h, const Dib& src, int32_t sx, int32_t sy, Rop rop) {
    return BitBlt(dst, x, y, w, h, src, sx, sy, uint32_t(rop));
}

bool BitBlt(Dib& dst, int32_t x, int32_t y, int32_t w, int32_t h, const Dib& src, int32_t sx, int32_t sy,
            uint32_t rop) {
    const uint8_t code = uint8_t(rop >> 16);
    const bool usesSource = UsesSource(code);
    if (dst.Empty() || (usesSource && src.Empty()) || w <= 0 || h <= 0) return false;
    const Span span = ClipCopy(dst, x, y, w, h, usesSource ? &src : nullptr, sx, sy);
    if (span.Empty()) return true;
    const int32_t n = span.x1 - span.x0;
    // Source = destination + (dx, dy). With a source the clipping keeps these small; without one
    // the source coordinates mean nothing and may be anything.
    const int32_t dx = usesSource ? int32_t(int64_t(sx) - x) : 0, dy = usesSource ? int32_t(int64_t(sy) - y) : 0;
    // Copying within one bitmap downwards must take the lines bottom first.
    const bool reverse = &src == &dst && dy < 0;
    auto forEachLine = [&](auto&& line) {
        if (reverse)
            for (int32_t yy = span.y1 - 1; yy >= span.y0; --yy) line(yy);
        else
            for (int32_t yy = span.y0; yy < span.y1; ++yy) line(yy);
    };

    if (code == kSrcCopyCode && dst.BitCount() >= 8 && SamePixelFormat(src, dst)) {
        const std::size_t bytes = std::size_t(n) * std::size_t(Elements(dst));
        const std::size_t from = std::size_t(span.x0 + dx) * std::size_t(Elements(dst));
        const std::size_t to = std::size_t(span.x0) * std::size_t(Elements(dst));
        forEachLine([&](int32_t yy) { std::memmove(dst.Row(yy) + to, src.Row(yy + dy) + from, bytes); });
        return true;
    }

    const int elements = Elements(dst);
    SourceConverter convert(usesSource ? src : dst, dst);
    if (code == kSrcCopyCode && dst.BitCount() >= 8) {  // convert straight into the destination
        forEachLine([&](int32_t yy) {
            convert.Row(yy + dy, span.x0 + dx, n, dst.Row(yy) + std::size_t(span.x0) * std::size_t(elements));
        });
        return true;
    }

    std::vector<uint8_t> buffer(std::size_t(n) * std::size_t(elements) * 2);
    uint8_t* sourceRow = buffer.data();
    uint8_t* destRow = sourceRow + std::size_t(n) * std::size_t(elements);
    // The brush is white, in the destination's element form.
    uint8_t pattern[4] = {0xFF, 0xFF, 0xFF, 0};
    convert.Color(0xFF, 0xFF, 0xFF, pattern);
    forEachLine([&](int32_t yy) {
        if (usesSource) convert.Row(yy + dy, span.x0 + dx, n, sourceRow);
        LoadRow(dst, yy, span.x0, n, destRow);
        CombineRow(code, pattern, elements, sourceRow, destRow, std::size_t(n) * std::size_t(elements));
        StoreRow(dst, yy, span.x0, n, destRow);
    });
    return true;
}

namespace {

// One source pixel's share of a destination pixel along one axis.
struct Tap {
    int32_t index;  // source column or line
    double weight;
};

// For the destination pixels [first, last) of a run dstLength long, the source pixels each covers:
// with averaging, every pixel its footprint overlaps, weighted by the overlap; otherwise the one
// pixel under its centre. Source pixels outside [0, limit) are left out.
std::vector<std::vector<Tap>> AxisTaps(int32_t first, int32_t last, int32_t dstLength, int32_t srcStart,
                                       int32_t srcLength, bool mirrored, int32_t limit, bool average) {
    std::vector<std::vector<Tap>> taps(static_cast<std::size_t>(last - first));
    const double scale = double(srcLength) / double(dstLength);
    for (int32_t i = first; i < last; ++i) {
        const int32_t j = mirrored ? dstLength - 1 - i : i;
        auto& list = taps[std::size_t(i - first)];
        if (!average) {
            const int64_t s = srcStart + (int64_t(2 * j + 1) * srcLength) / (2 * int64_t(dstLength));
            if (s >= 0 && s < limit) list.push_back(Tap{int32_t(s), 1.0});
            continue;
        }
        // Only the part of the footprint inside the source bitmap can contribute.
        const double a = j * scale, b = (j + 1) * scale;
        const int64_t from = std::max<int64_t>(int64_t(std::floor(a)), -int64_t(srcStart));
        const int64_t to = std::min<int64_t>(int64_t(std::ceil(b)), int64_t(limit) - srcStart);
        for (int64_t k = from; k < to; ++k) {
            const double overlap = std::min<double>(b, double(k + 1)) - std::max<double>(a, double(k));
            if (overlap > 0) list.push_back(Tap{int32_t(srcStart + k), overlap});
        }
    }
    return taps;
}

}  // namespace

bool StretchBlt(Dib& dst, int32_t dx, int32_t dy, int32_t dw, int32_t dh, const Dib& src, int32_t sx, int32_t sy,
                int32_t sw, int32_t sh, StretchMode mode) {
    if (dst.Empty() || src.Empty() || dw == 0 || dh == 0 || sw == 0 || sh == 0) return false;
    // Negative extents mirror: the rectangle starts at the other edge.
    int64_t x0 = dx, y0 = dy, sx0 = sx, sy0 = sy, w = dw, h = dh, swAbs = sw, shAbs = sh;
    if (w < 0) x0 += w, w = -w;
    if (h < 0) y0 += h, h = -h;
    if (swAbs < 0) sx0 += swAbs, swAbs = -swAbs;
    if (shAbs < 0) sy0 += shAbs, shAbs = -shAbs;
    const bool mirrorX = (dw < 0) != (sw < 0), mirrorY = (dh < 0) != (sh < 0);
    if (w > Dib::kMaxSide * 2 || h > Dib::kMaxSide * 2 || swAbs > Dib::kMaxSide * 2 || shAbs > Dib::kMaxSide * 2)
        return false;
    if (std::abs(x0) > int64_t(1) << 30 || std::abs(y0) > int64_t(1) << 30 || std::abs(sx0) > int64_t(1) << 30 ||
        std::abs(sy0) > int64_t(1) << 30)
        return false;
    const Span span = ClipCopy(dst, x0, y0, w, h, nullptr, 0, 0);
    if (span.Empty()) return true;

    const Dib copy = &src == &dst ? src : Dib();
    const Dib& from = &src == &dst ? copy : src;
    const bool average = mode == StretchMode::Halftone;
    const auto columns = AxisTaps(span.x0 - int32_t(x0), span.x1 - int32_t(x0), int32_t(w), int32_t(sx0),
                                  int32_t(swAbs), mirrorX, from.Width(), average);
    const auto lines = AxisTaps(span.y0 - int32_t(y0), span.y1 - int32_t(y0), int32_t(h), int32_t(sy0), int32_t(shAbs),
                                mirrorY, from.Height(), average);

    // Source lines in red, green, blue as the taps need them, converted once each.
    std::vector<std::vector<uint8_t>> rgb(std::size_t(from.Height()));
    auto sourceLine = [&](int32_t line) -> const std::vector<uint8_t>& {
        auto& out = rgb[std::size_t(line)];
        if (out.empty()) {
            out.resize(std::size_t(from.Width()) * 3);
            for (int32_t x = 0; x < from.Width(); ++x) {
                const RgbQuad c = from.PixelColor(x, line);
                out[3 * std::size_t(x)] = c.red;
                out[3 * std::size_t(x) + 1] = c.green;
                out[3 * std::size_t(x) + 2] = c.blue;
            }
        }
        return out;
    };

    SourceConverter convert(from, dst);
    uint8_t element[4];
    for (int32_t yy = span.y0; yy < span.y1; ++yy) {
        const auto& lineTaps = lines[std::size_t(yy - span.y0)];
        for (int32_t xx = span.x0; xx < span.x1; ++xx) {
            const auto& columnTaps = columns[std::size_t(xx - span.x0)];
            double sum[3] = {0, 0, 0}, total = 0;
            for (const Tap& line : lineTaps) {
                const uint8_t* pixels = sourceLine(line.index).data();
                for (const Tap& column : columnTaps) {
                    const double weight = line.weight * column.weight;
                    const uint8_t* p = pixels + 3 * std::size_t(column.index);
                    sum[0] += weight * p[0];
                    sum[1] += weight * p[1];
                    sum[2] += weight * p[2];
                    total += weight;
                }
            }
            if (total <= 0) continue;  // the source lies outside its bitmap here
            auto channel = [&](double v) { return uint8_t(std::clamp(std::nearbyint(v / total), 0.0, 255.0)); };
            if (!average && from.BitCount() <= 8) {
                convert.Row(lineTaps[0].index, columnTaps[0].index, 1, element);  // keep indices exact
            } else {
                convert.Color(channel(sum[0]), channel(sum[1]), channel(sum[2]), element);
            }
            StoreRow(dst, yy, xx, 1, element);
        }
    }
    return true;
}

bool PlgBlt(Dib& dst, const Point points[3], const Dib& src, int32_t sx, int32_t sy, int32_t w, int32_t h) {
    if (dst.Empty() || src.Empty() || w <= 0 || h <= 0 || w > Dib::kMaxSide * 2 || h > Dib::kMaxSide * 2) return false;
    constexpr int64_t kFar = int64_t(1) << 24;
    for (int i = 0; i < 3; ++i)
        if (std::abs(int64_t(points[i].x)) > kFar || std::abs(int64_t(points[i].y)) > kFar) return false;
    // The destination point of source offset (u, v) is P0 + u/w (P1 - P0) + v/h (P2 - P0). Inverting
    // that at doubled pixel centres keeps the arithmetic in integers, so mirrors and quarter turns
    // come out exact: u = w (cx B - cy C) / 2D and v = h (A cy - E cx) / 2D, with c the doubled
    // centre relative to P0.
    const int64_t ax = points[1].x - points[0].x, ay = points[1].y - points[0].y;
    const int64_t bx = points[2].x - points[0].x, by = points[2].y - points[0].y;
    __int128 det = __int128(ax) * by - __int128(bx) * ay;
    if (det == 0) return false;

    const int64_t cornersX[4] = {points[0].x, points[1].x, points[2].x, points[1].x + bx};
    const int64_t cornersY[4] = {points[0].y, points[1].y, points[2].y, points[1].y + by};
    const Span span =
        ClipCopy(dst, *std::min_element(cornersX, cornersX + 4), *std::min_element(cornersY, cornersY + 4),
                 *std::max_element(cornersX, cornersX + 4) - *std::min_element(cornersX, cornersX + 4),
                 *std::max_element(cornersY, cornersY + 4) - *std::min_element(cornersY, cornersY + 4), nullptr, 0, 0);
    if (span.Empty()) return true;

    const Dib copy = &src == &dst ? src : Dib();
    const Dib& from = &src == &dst ? copy : src;
    SourceConverter convert(from, dst);
    __int128 den = 2 * det;
    int sign = 1;
    if (den < 0) den = -den, sign = -1;
    const __int128 uLimit = __int128(w) * den, vLimit = __int128(h) * den;
    uint8_t element[4];
    for (int32_t yy = span.y0; yy < span.y1; ++yy) {
        const int64_t cy = 2 * int64_t(yy) + 1 - 2 * int64_t(points[0].y);
        const int64_t cx0 = 2 * int64_t(span.x0) + 1 - 2 * int64_t(points[0].x);
        // Numerators of u and v, stepped along the line.
        __int128 uNum = sign * __int128(w) * (__int128(cx0) * by - __int128(cy) * bx);
        __int128 vNum = sign * __int128(h) * (__int128(ax) * cy - __int128(ay) * cx0);
        const __int128 uStep = sign * __int128(w) * 2 * by, vStep = -sign * __int128(h) * 2 * ay;
        for (int32_t xx = span.x0; xx < span.x1; ++xx, uNum += uStep, vNum += vStep) {
            if (uNum < 0 || vNum < 0 || uNum >= uLimit || vNum >= vLimit) continue;
            const int64_t u = int64_t(uNum / den), v = int64_t(vNum / den);
            const int64_t px = sx + u, py = sy + v;
            if (px < 0 || py < 0 || px >= from.Width() || py >= from.Height()) continue;
            convert.Row(int32_t(py), int32_t(px), 1, element);
            StoreRow(dst, yy, xx, 1, element);
        }
    }
    return true;
}

}  // namespace veltrane
