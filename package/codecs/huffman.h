// The table builder shared by inflate and explode: turns the code lengths of a prefix code into a
// two-level lookup table. The first level is indexed by the next `rootBits` input bits; a longer code
// leads from there into a sub-table indexed by the bits that follow. A sub-table entry counts its bits
// from the code's start, as a first-level entry does.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tarrow {

// One table entry: the bits a code uses, what kind of code it is, and its value.
//   bits  0-5   bits to drop: the code and the extra bits that follow it (for a sub-table link: the
//               first-level bits), so a decoder consumes a length or distance with one shift
//   bit   7     kInvalid
//   bits  8-12  the code's own length (for a sub-table link: its index bits)
//   bits 13-15  the other kind flags; none set means a length or distance base with extra bits
//   bits 16-31  literal, base value, or sub-table offset
namespace huff {
constexpr uint32_t kInvalid = 1u << 7;
constexpr uint32_t kSubTable = 1u << 13;
constexpr uint32_t kEnd = 1u << 14;
constexpr uint32_t kLiteral = 1u << 15;
constexpr uint32_t kKinds = kInvalid | kSubTable | kEnd | kLiteral;

inline unsigned totalBits(uint32_t e) { return e & 63; }
inline unsigned codeBits(uint32_t e) { return (e >> 8) & 31; }
inline unsigned extraBits(uint32_t e) { return totalBits(e) - codeBits(e); }
inline unsigned value(uint32_t e) { return e >> 16; }
// The entry a sub-table link leads to for the input bits at the bottom of `bits`.
inline uint32_t follow(const uint32_t* table, uint32_t link, uint64_t bits) {
    return table[value(link) + ((bits >> totalBits(link)) & ((1u << codeBits(link)) - 1))];
}
// A length or distance: the base plus the extra bits above the code.
inline size_t baseAndExtra(uint32_t e, uint64_t bits) {
    return value(e) + size_t((bits & ((uint64_t(1) << totalBits(e)) - 1)) >> codeBits(e));
}

// What a symbol decodes to, less its code's length, for the table builder: the kind and value, with a
// length's or distance's extra bits in bits 0-5 (the code's length adds to them).
constexpr uint32_t symbolLiteral(unsigned v) { return v << 16 | kLiteral; }
constexpr uint32_t symbolEnd(unsigned v) { return v << 16 | kEnd; }
constexpr uint32_t symbolBase(unsigned base, unsigned extraBits) { return base << 16 | extraBits; }
constexpr uint32_t kSymbolInvalid = kInvalid;
}  // namespace huff

// Results of building a table.
enum class TableResult { Ok = 0, Incomplete = 1, OverSubscribed = 2, NoMemory = 4 };

class HuffmanTable {
public:
    static constexpr unsigned kMaxLength = 16;
    static constexpr size_t kMaxSymbols = 320;  // more than any method's largest alphabet (288)

    // lengths: one code length per symbol (0 = unused); symbols: what each of them decodes to
    // (huff::symbol*). The first level has 2^rootBits entries whatever the code's lengths, so
    // a decoder may index it with a constant mask. An incomplete set is reported, and still usable
    // (its unused codes decode as invalid), unless its longest code has one bit. The entries are reused
    // from one build to the next, so building allocates only the first time.
    TableResult build(std::span<const uint8_t> lengths, std::span<const uint32_t> symbols, unsigned rootBits);

    // As above, with symbols below `simple` literals (the symbol 256 ends a deflate block) and symbol
    // s >= simple taking base[s - simple] and extra[s - simple]; symbols beyond those lists decode as
    // invalid.
    TableResult build(std::span<const uint8_t> lengths, unsigned simple, std::span<const uint16_t> base,
                      std::span<const uint8_t> extra, unsigned rootBits);

    const uint32_t* entries() const { return entries_.data(); }
    unsigned rootBits() const { return rootBits_; }

    // Looks up the code at the bottom of `bits`; the caller drops huff::codeBits of the result (or
    // huff::totalBits, with its extra bits).
    uint32_t lookup(uint64_t bits) const {
        uint32_t e = entries_[bits & ((1u << rootBits_) - 1)];
        if (e & huff::kSubTable) e = huff::follow(entries_.data(), e, bits);
        return e;
    }

private:
    std::vector<uint32_t> entries_{huff::kInvalid};
    unsigned rootBits_ = 0;
};

}  // namespace tarrow
