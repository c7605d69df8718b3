#include "imaging/JpegHuffman.h"

#include "imaging/JpegError.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace veltrane::jpeg {

namespace {

constexpr int kReserved = 256;      // the extra symbol that keeps the all-1-bits code unused
constexpr int kMaxCodeLength = 16;  // baseline JPEG codes are at most 16 bits long

// Walks a chain of symbols that share a subtree, making each code one bit longer.
void Lengthen(std::array<int, 257>& codeSize, const std::array<int, 257>& next, int symbol) {
    for (int s = symbol; s >= 0; s = next[size_t(s)]) ++codeSize[size_t(s)];
}

}  // namespace

void GenerateHuffmanTable(HuffmanTable& table, SymbolCounts& counts) {
    counts[kReserved] = 1;
    // Sums can outgrow 32 bits when the caller's counts are large; the merge works in 64 bits.
    std::array<int64_t, 257> freq{};
    std::array<int, 257> codeSize{};
    std::array<int, 257> next{};
    next.fill(-1);
    std::vector<int> live;  // symbols still holding a count, in increasing order
    live.reserve(257);
    for (int s = 0; s <= kReserved; ++s) {
        freq[size_t(s)] = counts[size_t(s)];
        if (counts[size_t(s)] > 0) live.push_back(s);
    }

    // Merge the two least frequent subtrees until one is left. Scanning upwards with "<=" makes
    // the higher symbol win among equal counts, for c1 and for c2 alike.
    for (;;) {
        int c1 = -1, c2 = -1;
        size_t c1Slot = 0, c2Slot = 0;
        int64_t v1 = std::numeric_limits<int64_t>::max(), v2 = v1;
        for (size_t i = 0; i < live.size(); ++i) {
            const int s = live[i];
            const int64_t f = freq[size_t(s)];
            if (f <= v1) {
                c2 = c1;
                v2 = v1;
                c2Slot = c1Slot;
                c1 = s;
                v1 = f;
                c1Slot = i;
            } else if (f <= v2) {
                c2 = s;
                v2 = f;
                c2Slot = i;
            }
        }
        if (c2 < 0) break;
        freq[size_t(c1)] += freq[size_t(c2)];
        freq[size_t(c2)] = 0;
        Lengthen(codeSize, next, c1);
        int tail = c1;
        while (next[size_t(tail)] >= 0) tail = next[size_t(tail)];
        next[size_t(tail)] = c2;
        Lengthen(codeSize, next, c2);
        live.erase(live.begin() + long(c2Slot));
    }
    counts.fill(0);

    // Number of symbols of each code length; a code can be as long as the symbol count.
    std::array<int, 258> bits{};
    int longest = 0;
    for (int s = 0; s <= kReserved; ++s) {
        if (codeSize[size_t(s)] == 0) continue;
        ++bits[size_t(codeSize[size_t(s)])];
        longest = std::max(longest, codeSize[size_t(s)]);
    }

    // Limit the lengths to 16 (T.81 Figure K.3): a pair of the longest codes becomes one code a
    // bit shorter plus a new pair under the longest shorter code that can be split.
    for (int i = longest; i > kMaxCodeLength; --i) {
        while (bits[size_t(i)] > 0) {
            int j = i - 2;
            while (j > 0 && bits[size_t(j)] == 0) --j;
            if (j == 0) break;  // cannot happen for a real code tree
            bits[size_t(i)] -= 2;
            ++bits[size_t(i - 1)];
            bits[size_t(j + 1)] += 2;
            --bits[size_t(j)];
        }
    }
    // Drop the reserved symbol: it holds one of the longest codes.
    for (int i = std::min(longest, kMaxCodeLength); i > 0; --i) {
        if (bits[size_t(i)] > 0) {
            --bits[size_t(i)];
            break;
        }
    }

    for (int length = 1; length <= kMaxCodeLength; ++length)
        table.Bits[size_t(length - 1)] = uint8_t(bits[size_t(length)]);
    // Symbols in order of their unlimited code length; limiting kept that order, so the
    // canonical codes go to the same symbols, shortest first.
    size_t p = 0;
    for (int length = 1; length <= longest; ++length)
        for (int s = 0; s < kReserved; ++s)
            if (codeSize[size_t(s)] == length) table.HuffVal[p++] = uint8_t(s);
}

void BuildHuffmanCodes(HuffmanTable& table, int maxSymbol) {
    table.CodeSize.fill(0);
    table.Code.fill(0);
    std::array<bool, 256> hasCode{};
    uint32_t code = 0, mask = 1;
    size_t next = 0;
    for (int length = 1; length <= kMaxCodeLength; ++length) {
        for (int n = 0; n < table.Bits[size_t(length - 1)]; ++n) {
            if (next >= table.HuffVal.size()) throw JpegError(kBadHuffmanTable);
            const int symbol = table.HuffVal[next++];
            if (symbol > maxSymbol || hasCode[size_t(symbol)]) throw JpegError(kBadHuffmanTable);
            hasCode[size_t(symbol)] = true;
            table.CodeSize[size_t(symbol)] = mask;
            table.Code[size_t(symbol)] = code++;
        }
        // The codes of this length must leave the all-1-bits value unused.
        if (code >= (uint32_t(1) << length)) throw JpegError(kBadHuffmanTable);
        mask <<= 1;
        code <<= 1;
    }
    if (next == 0) throw JpegError(kBadHuffmanTable);
}

}  // namespace veltrane::jpeg
