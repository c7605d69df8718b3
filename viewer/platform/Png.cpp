#include "platform/Png.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>

namespace veltrane {
namespace {

// Bits go out least significant first; Huffman codes are defined most significant first, so
// they are reversed before they are written.
class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : m_out(out) {}
    void Put(uint32_t value, int count) {
        m_buffer |= uint64_t(value) << m_count;
        m_count += count;
        while (m_count >= 8) {
            m_out.push_back(uint8_t(m_buffer));
            m_buffer >>= 8;
            m_count -= 8;
        }
    }
    void PutCode(uint32_t code, int length) {
        uint32_t reversed = 0;
        for (int i = 0; i < length; ++i) reversed |= ((code >> i) & 1u) << (length - 1 - i);
        Put(reversed, length);
    }
    void Flush() {
        if (m_count > 0) m_out.push_back(uint8_t(m_buffer));
        m_buffer = 0;
        m_count = 0;
    }

private:
    std::vector<uint8_t>& m_out;
    uint64_t m_buffer = 0;
    int m_count = 0;
};

// The fixed literal/length code: 0-143 eight bits from 0x30, 144-255 nine bits from 0x190,
// 256-279 seven bits from 0, 280-287 eight bits from 0xC0.
void PutLiteral(BitWriter& bits, int symbol) {
    if (symbol < 144) bits.PutCode(0x30 + symbol, 8);
    else if (symbol < 256) bits.PutCode(0x190 + symbol - 144, 9);
    else if (symbol < 280) bits.PutCode(symbol - 256, 7);
    else bits.PutCode(0xC0 + symbol - 280, 8);
}

constexpr std::array<int, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                             31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<int, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<int, 30> kDistBase = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                           33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                           1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<int, 30> kDistExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                            6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void PutMatch(BitWriter& bits, int length, int distance) {
    int l = 28;
    while (kLengthBase[size_t(l)] > length) --l;
    PutLiteral(bits, 257 + l);
    bits.Put(uint32_t(length - kLengthBase[size_t(l)]), kLengthExtra[size_t(l)]);
    int d = 29;
    while (kDistBase[size_t(d)] > distance) --d;
    bits.PutCode(uint32_t(d), 5);
    bits.Put(uint32_t(distance - kDistBase[size_t(d)]), kDistExtra[size_t(d)]);
}

constexpr int kWindow = 32768;
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 258;
constexpr int kHashBits = 15;
constexpr int kMaxChain = 48;

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t Adler32(const std::vector<uint8_t>& data) {
    uint32_t a = 1, b = 0;
    for (uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

void PutBig32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

void PutChunk(std::vector<uint8_t>& png, const char type[4], const std::vector<uint8_t>& data) {
    PutBig32(png, uint32_t(data.size()));
    const size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    PutBig32(png, Crc32(png.data() + start, png.size() - start));
}

int Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// Each row gets the filter whose output has the smallest sum of magnitudes, the usual heuristic.
std::vector<uint8_t> FilteredRows(const Dib& picture) {
    const size_t width = size_t(picture.Width()), rowBytes = width * 3;
    std::vector<uint8_t> out;
    out.reserve((rowBytes + 1) * size_t(picture.Height()));
    std::vector<uint8_t> previous(rowBytes, 0), current(rowBytes), candidate(rowBytes), best(rowBytes);
    for (int32_t y = 0; y < picture.Height(); ++y) {
        for (int32_t x = 0; x < picture.Width(); ++x) {
            const RgbQuad c = picture.PixelColor(x, y);
            current[size_t(x) * 3] = c.red;
            current[size_t(x) * 3 + 1] = c.green;
            current[size_t(x) * 3 + 2] = c.blue;
        }
        long bestScore = -1;
        uint8_t bestType = 0;
        for (uint8_t type : {0, 1, 2, 4}) {
            long score = 0;
            for (size_t i = 0; i < rowBytes; ++i) {
                const int left = i >= 3 ? current[i - 3] : 0;
                const int up = previous[i];
                const int upLeft = i >= 3 ? previous[i - 3] : 0;
                const int predictor = type == 0 ? 0 : type == 1 ? left : type == 2 ? up : Paeth(left, up, upLeft);
                candidate[i] = uint8_t(current[i] - predictor);
                score += std::abs(int(int8_t(candidate[i])));
            }
            if (bestScore < 0 || score < bestScore) {
                bestScore = score;
                bestType = type;
                best.swap(candidate);
            }
        }
        out.push_back(bestType);
        out.insert(out.end(), best.begin(), best.end());
        previous.swap(current);
    }
    return out;
}

}  // namespace

std::vector<uint8_t> DeflateFixed(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out;
    BitWriter bits(out);
    bits.Put(1, 1);  // the only block: final
    bits.Put(1, 2);  // fixed Huffman codes
    std::vector<int> head(size_t(1) << kHashBits, -1);
    std::vector<int> prev(data.size(), -1);
    const int n = int(data.size());
    auto hash = [&](int i) {
        return ((uint32_t(data[size_t(i)]) << 10) ^ (uint32_t(data[size_t(i) + 1]) << 5) ^ data[size_t(i) + 2]) &
               ((1u << kHashBits) - 1);
    };
    auto insert = [&](int i) {
        if (i + kMinMatch > n) return;
        const uint32_t h = hash(i);
        prev[size_t(i)] = head[h];
        head[h] = i;
    };
    int i = 0;
    while (i < n) {
        int bestLength = 0, bestDistance = 0;
        if (i + kMinMatch <= n) {
            int candidate = head[hash(i)];
            const int limit = std::min(kMaxMatch, n - i);
            for (int chain = 0; candidate >= 0 && i - candidate <= kWindow && chain < kMaxChain; ++chain) {
                int length = 0;
                while (length < limit && data[size_t(candidate + length)] == data[size_t(i + length)]) ++length;
                if (length > bestLength) {
                    bestLength = length;
                    bestDistance = i - candidate;
                    if (length == limit) break;
                }
                candidate = prev[size_t(candidate)];
            }
        }
        if (bestLength >= kMinMatch) {
            PutMatch(bits, bestLength, bestDistance);
            for (int k = 0; k < bestLength; ++k) insert(i + k);
            i += bestLength;
        } else {
            PutLiteral(bits, data[size_t(i)]);
            insert(i);
            ++i;
        }
    }
    PutLiteral(bits, 256);
    bits.Flush();
    return out;
}

std::vector<uint8_t> EncodePng(const Dib& picture) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> png(kSignature, kSignature + 8);
    if (picture.Empty()) return {};

    std::vector<uint8_t> header;
    PutBig32(header, uint32_t(picture.Width()));
    PutBig32(header, uint32_t(picture.Height()));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits per sample, RGB, deflate, adaptive, no interlace
    PutChunk(png, "IHDR", header);

    const std::vector<uint8_t> rows = FilteredRows(picture);
    std::vector<uint8_t> zlib = {0x78, 0x01};  // deflate, 32 KB window, no dictionary
    const std::vector<uint8_t> deflated = DeflateFixed(rows);
    zlib.insert(zlib.end(), deflated.begin(), deflated.end());
    PutBig32(zlib, Adler32(rows));
    PutChunk(png, "IDAT", zlib);
    PutChunk(png, "IEND", {});
    return png;
}

bool SavePng(const Dib& picture, const std::string& path) {
    const std::vector<uint8_t> png = EncodePng(picture);
    if (png.empty()) return false;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    if (std::fclose(f) != 0 || !written) {
        std::remove(path.c_str());
        return false;
    }
    return true;
}

}  // namespace veltrane
