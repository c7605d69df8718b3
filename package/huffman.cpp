#include "huffman.h"

#include <algorithm>
#include <array>
#include <new>

namespace tarrow {

namespace {

// Codes are sent starting with their most significant bit, while the reader takes bits from the bottom
// of its buffer, so tables are indexed by the code's bits in reverse.
uint32_t reverseBits(uint32_t code, unsigned length) {
    uint32_t r = 0;
    for (unsigned i = 0; i < length; ++i, code >>= 1) r = (r << 1) | (code & 1);
    return r;
}

} // namespace

TableResult HuffmanTable::build(std::span<const uint8_t> lengths, unsigned simple,
                                std::span<const uint16_t> base, std::span<const uint8_t> extra,
                                unsigned rootBits) {
    std::array<unsigned, kMaxLength + 1> count{};
    for (uint8_t len : lengths) ++count[len <= kMaxLength ? len : 0];

    unsigned minLen = 1, maxLen = kMaxLength;
    while (maxLen > 0 && count[maxLen] == 0) --maxLen;
    try {
        if (maxLen == 0) {
            entries_.assign(1, huff::kInvalid); // no codes at all: every lookup is invalid
            rootBits_ = 0;
            return TableResult::Ok;
        }
        while (count[minLen] == 0) ++minLen;
        rootBits = std::clamp(rootBits, minLen, maxLen);

        // Each length may use the code space the shorter ones left free.
        int left = 1;
        for (unsigned len = 1; len <= kMaxLength; ++len) {
            left = left * 2 - int(count[len]);
            if (left < 0) return TableResult::OverSubscribed;
        }

        // Symbols in code order: by length, then by symbol value.
        std::array<unsigned, kMaxLength + 2> offset{};
        for (unsigned len = 1; len <= kMaxLength; ++len) offset[len + 1] = offset[len] + count[len];
        std::vector<uint16_t> sorted(offset[kMaxLength + 1]);
        for (unsigned sym = 0; sym < lengths.size(); ++sym)
            if (lengths[sym] && lengths[sym] <= kMaxLength) sorted[offset[lengths[sym]]++] = uint16_t(sym);

        auto entryFor = [&](unsigned sym, unsigned len) -> uint32_t {
            if (sym < simple)
                return (sym << 16) | (sym == 256 ? huff::kEnd : huff::kLiteral) | len;
            unsigned i = sym - simple;
            if (i >= base.size() || i >= extra.size()) return huff::kInvalid | len;
            return (uint32_t(base[i]) << 16) | (uint32_t(extra[i]) << 8) | len;
        };

        entries_.assign(size_t(1) << rootBits, huff::kInvalid);
        rootBits_ = rootBits;
        std::array<unsigned, kMaxLength + 1> remaining = count;
        uint32_t code = 0; // canonical code of the current symbol, most significant bit first
        unsigned lastLen = 0;
        uint32_t subPrefix = UINT32_MAX;
        size_t subStart = 0;
        unsigned subBits = 0;
        for (uint16_t sym : sorted) {
            unsigned len = lengths[sym];
            if (lastLen) code = (code + 1) << (len - lastLen);
            lastLen = len;
            uint32_t rev = reverseBits(code, len);
            if (len <= rootBits) {
                uint32_t e = entryFor(sym, len);
                for (uint32_t i = rev; i < (1u << rootBits); i += 1u << len) entries_[i] = e;
            } else {
                uint32_t prefix = rev & ((1u << rootBits) - 1);
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
                    subStart = entries_.size();
                    if (subStart + (size_t(1) << subBits) > 0xffff) return TableResult::NoMemory;
                    entries_.resize(subStart + (size_t(1) << subBits), huff::kInvalid);
                    entries_[prefix] = (uint32_t(subStart) << 16) | huff::kSubTable | (subBits << 8) | rootBits;
                }
                uint32_t e = entryFor(sym, len);
                unsigned step = len - rootBits;
                for (uint32_t i = rev >> rootBits; i < (1u << subBits); i += 1u << step) entries_[subStart + i] = e;
            }
            --remaining[len];
        }
        if (left > 0 && maxLen > 1) return TableResult::Incomplete;
        return TableResult::Ok;
    } catch (const std::bad_alloc &) {
        entries_.assign(1, huff::kInvalid);
        rootBits_ = 0;
        return TableResult::NoMemory;
    }
}

} // namespace tarrow
