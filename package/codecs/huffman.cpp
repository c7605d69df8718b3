#include "huffman.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace tarrow {

namespace {

// Codes are sent starting with their most significant bit, while the reader takes bits from the bottom
// of its buffer, so tables are indexed by the code's bits in reverse.
constexpr std::array<uint8_t, 256> kReversedBytes = [] {
    std::array<uint8_t, 256> r{};
    for (unsigned i = 0; i < 256; ++i)
        for (unsigned b = 0; b < 8; ++b) r[i] |= uint8_t(((i >> b) & 1) << (7 - b));
    return r;
}();

uint32_t reverseBits(uint32_t code, unsigned length) {
    uint32_t r = uint32_t(kReversedBytes[code & 0xff]) << 8 | kReversedBytes[(code >> 8) & 0xff];
    return r >> (16 - length);
}

}  // namespace

TableResult HuffmanTable::build(std::span<const uint8_t> lengths, unsigned simple, std::span<const uint16_t> base,
                                std::span<const uint8_t> extra, unsigned rootBits) {
    if (lengths.size() > kMaxSymbols) return TableResult::NoMemory;
    std::array<uint32_t, kMaxSymbols> symbols;
    for (unsigned sym = 0; sym < lengths.size(); ++sym) {
        const unsigned i = sym - simple;
        symbols[sym] = sym < simple ? sym == 256 ? huff::symbolEnd(sym) : huff::symbolLiteral(sym)
                       : i < base.size() && i < extra.size() ? huff::symbolBase(base[i], extra[i])
                                                             : huff::kSymbolInvalid;
    }
    return build(lengths, std::span(symbols).first(lengths.size()), rootBits);
}

TableResult HuffmanTable::build(std::span<const uint8_t> lengths, std::span<const uint32_t> symbols,
                                unsigned rootBits) {
    if (lengths.size() > kMaxSymbols || symbols.size() < lengths.size()) return TableResult::NoMemory;
    // Counting and sorting run over four runs of the symbols side by side: runs of equal lengths would
    // otherwise make each step wait for the last one's count in memory.
    constexpr unsigned kWays = 4;
    const unsigned n = unsigned(lengths.size()), part = n / kWays;
    auto lengthOf = [&](unsigned sym) -> unsigned { return lengths[sym] <= kMaxLength ? lengths[sym] : 0; };
    std::array<std::array<unsigned, kMaxLength + 1>, kWays> counts{};
    for (unsigned i = 0; i < part; ++i)
        for (unsigned w = 0; w < kWays; ++w) ++counts[w][lengthOf(w * part + i)];
    for (unsigned sym = kWays * part; sym < n; ++sym) ++counts[kWays - 1][lengthOf(sym)];
    std::array<unsigned, kMaxLength + 1> count;
    for (unsigned len = 0; len <= kMaxLength; ++len)
        count[len] = counts[0][len] + counts[1][len] + counts[2][len] + counts[3][len];
    count[0] = 0;

    unsigned minLen = 1, maxLen = kMaxLength;
    while (maxLen > 0 && count[maxLen] == 0) --maxLen;
    const size_t rootSize = size_t(1) << rootBits;
    try {
        if (entries_.size() < rootSize) entries_.resize(rootSize);
        rootBits_ = rootBits;
        uint32_t* t = entries_.data();
        if (maxLen == 0) {
            std::fill_n(t, rootSize, huff::kInvalid);  // no codes at all: every lookup is invalid
            return TableResult::Ok;
        }
        while (count[minLen] == 0) ++minLen;

        // Each length may use the code space the shorter ones left free.
        int left = 1;
        for (unsigned len = 1; len <= kMaxLength; ++len) {
            left = left * 2 - int(count[len]);
            if (left < 0) return TableResult::OverSubscribed;
        }
        // A complete code writes every entry; an incomplete one leaves gaps that must read as invalid.
        const bool complete = left == 0;

        // Symbols in code order: by length, then by symbol value; each run starts where the runs before
        // it end within each length. Unused symbols land in one spare slot past the used ones, which
        // nothing reads.
        std::array<uint16_t, kMaxSymbols + 1> sorted;
        {
            std::array<std::array<unsigned, kMaxLength + 1>, kWays> next;
            unsigned at = 0;
            for (unsigned len = 1; len <= kMaxLength; ++len)
                for (unsigned w = 0; w < kWays; ++w) {
                    next[w][len] = at;
                    at += counts[w][len];
                }
            for (unsigned w = 0; w < kWays; ++w) next[w][0] = at;
            auto place = [&](unsigned w, unsigned sym) {
                const unsigned len = lengthOf(sym);
                sorted[next[w][len]] = uint16_t(sym);
                next[w][len] += len != 0;
            };
            for (unsigned i = 0; i < part; ++i)
                for (unsigned w = 0; w < kWays; ++w) place(w, w * part + i);
            for (unsigned sym = kWays * part; sym < n; ++sym) place(kWays - 1, sym);
        }

        // The first level is filled from the short end: the codes of one length go into the first
        // 2^length entries, which are then doubled up before the next length, so each code ends up in
        // every entry whose low bits are its reversed code.
        const unsigned rootLast = std::min(maxLen, rootBits);
        size_t filled = size_t(1) << std::min(minLen, rootBits);
        if (!complete) std::fill_n(t, filled, huff::kInvalid);
        auto widen = [&](size_t to) {
            for (; filled < to; filled *= 2) std::memcpy(t + filled, t, filled * sizeof *t);
        };
        uint32_t code = 0;  // canonical code of the next symbol, most significant bit first
        unsigned i = 0;
        for (unsigned len = minLen; len <= rootLast; ++len, code <<= 1) {
            widen(size_t(1) << len);
            const uint32_t bits = len << 8 | len;
            for (const unsigned stop = i + count[len]; i < stop; ++i, ++code)
                t[reverseBits(code, len)] = symbols[sorted[i]] + bits;
        }
        widen(rootSize);
        if (maxLen <= rootBits) return complete || maxLen == 1 ? TableResult::Ok : TableResult::Incomplete;

        // Longer codes go into sub-tables behind the first level, one per first-level prefix.
        size_t size = rootSize;
        uint32_t subPrefix = UINT32_MAX;
        size_t subStart = 0;
        unsigned subBits = 0;
        std::array<unsigned, kMaxLength + 1> remaining = count;
        for (unsigned len = std::max(minLen, rootBits + 1); len <= maxLen; ++len, code <<= 1) {
            const uint32_t bits = len << 8 | len;
            for (const unsigned stop = i + count[len]; i < stop; ++i, ++code) {
                const uint32_t rev = reverseBits(code, len);
                const uint32_t prefix = rev & uint32_t(rootSize - 1);
                if (prefix != subPrefix) {
                    // A new sub-table, wide enough for the codes that share this prefix: grow it while
                    // the codes still to come at the next length cannot fill it.
                    subBits = len - rootBits;
                    int room = 1 << subBits;
                    while (subBits + rootBits < maxLen) {
                        room -= int(remaining[subBits + rootBits]);
                        if (room <= 0) break;
                        ++subBits;
                        room <<= 1;
                    }
                    subPrefix = prefix;
                    subStart = size;
                    size += size_t(1) << subBits;
                    if (size > 0xffff) return TableResult::NoMemory;
                    if (entries_.size() < size) entries_.resize(size);
                    t = entries_.data();
                    if (!complete) std::fill(t + subStart, t + size, huff::kInvalid);
                    t[prefix] = (uint32_t(subStart) << 16) | huff::kSubTable | (subBits << 8) | rootBits;
                }
                const uint32_t e = symbols[sorted[i]] + bits;
                const unsigned step = len - rootBits;
                for (uint32_t k = rev >> rootBits; k < (1u << subBits); k += 1u << step) t[subStart + k] = e;
                --remaining[len];
            }
        }
        return complete || maxLen == 1 ? TableResult::Ok : TableResult::Incomplete;
    } catch (const std::bad_alloc&) {
        entries_.assign(1, huff::kInvalid);
        rootBits_ = 0;
        return TableResult::NoMemory;
    }
}

}  // namespace tarrow
