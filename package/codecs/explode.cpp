#include "explode.h"

#include "huffman.h"

#include <array>

namespace tarrow {

namespace {

// Length codes 0..63 stand for the minimum match plus the code; the last one adds an 8-bit count.
constexpr auto lengthBases(uint16_t minimum) {
    std::array<uint16_t, 64> b{};
    for (unsigned i = 0; i < 64; ++i) b[i] = uint16_t(minimum + i);
    return b;
}
constexpr std::array<uint16_t, 64> kLengthBase2 = lengthBases(2);
constexpr std::array<uint16_t, 64> kLengthBase3 = lengthBases(3);
constexpr std::array<uint8_t, 64> kLengthExtra = [] {
    std::array<uint8_t, 64> e{};
    e[63] = 8;
    return e;
}();
// Distance codes give the upper six bits of the distance.
constexpr std::array<uint16_t, 64> kDistanceHigh = lengthBases(0);
constexpr std::array<uint8_t, 64> kNoExtra{};

// A compressed tree: a byte holding the number of following bytes minus one, then bytes whose high nibble
// is a repeat count minus one and whose low nibble a code length minus one.
DecodeStatus readTree(BitInput& in, std::span<uint8_t> lengths) {
    uint32_t n;
    if (!in.take(8, n)) return DecodeStatus::InputOverrun;
    size_t k = 0;
    for (uint32_t i = 0; i <= n; ++i) {
        uint32_t b;
        if (!in.take(8, b)) return DecodeStatus::InputOverrun;
        size_t repeat = (b >> 4) + 1;
        if (k + repeat > lengths.size()) return DecodeStatus::BadTree;
        while (repeat--) lengths[k++] = uint8_t((b & 0xf) + 1);
    }
    return k == lengths.size() ? DecodeStatus::Ok : DecodeStatus::BadTree;
}

DecodeStatus buildTree(BitInput& in, HuffmanTable& table, size_t symbols, unsigned simple,
                       std::span<const uint16_t> base, std::span<const uint8_t> extra, unsigned bits) {
    std::array<uint8_t, 256> lengths{};
    std::span<uint8_t> used(lengths.data(), symbols);
    if (DecodeStatus s = readTree(in, used); s != DecodeStatus::Ok) return s;
    switch (table.build(used, simple, base, extra, bits)) {
    case TableResult::Ok: return DecodeStatus::Ok;
    case TableResult::Incomplete: return DecodeStatus::DataError;
    case TableResult::OverSubscribed: return DecodeStatus::BadInput;
    default: return DecodeStatus::NoMemory;
    }
}

// Shannon-Fano codes are the bitwise complement of the canonical prefix code with the same lengths,
// so the tables are built canonically and looked up with the input bits inverted.
bool decode(BitInput& in, const HuffmanTable& table, uint32_t& entry) {
    if (!in.need(HuffmanTable::kMaxLength)) return false;
    entry = table.lookup(~in.bits);
    in.drop(huff::codeBits(entry));
    return true;
}

}  // namespace

DecodeStatus explode(ByteSource& source, OutputWindow& window, const ExplodeParams& params) {
    const bool bigDictionary = params.flags & 2;
    const bool literalTree = params.flags & 4;
    const unsigned lowBits = bigDictionary ? 7 : 6;

    BitInput in(source);
    HuffmanTable literals, lengths, distances;
    if (literalTree)
        if (DecodeStatus s = buildTree(in, literals, 256, 256, {}, {}, 9); s != DecodeStatus::Ok) return s;
    if (DecodeStatus s = buildTree(in, lengths, 64, 0, literalTree ? kLengthBase3 : kLengthBase2, kLengthExtra, 7);
        s != DecodeStatus::Ok)
        return s;
    if (DecodeStatus s =
            buildTree(in, distances, 64, 0, kDistanceHigh, kNoExtra, params.compressedSize > 200000 ? 8 : 7);
        s != DecodeStatus::Ok)
        return s;

    uint64_t left = params.size;
    while (left > 0) {
        // A 1 bit introduces a literal, a 0 bit a (distance, length) pair.
        uint32_t flag, value;
        if (!in.take(1, flag)) return DecodeStatus::InputOverrun;
        if (flag) {
            if (literalTree) {
                uint32_t e;
                if (!decode(in, literals, e)) return DecodeStatus::InputOverrun;
                if (e & huff::kInvalid) return DecodeStatus::DataError;
                value = huff::value(e);
            } else if (!in.take(8, value)) {
                return DecodeStatus::InputOverrun;
            }
            *window.pos++ = uint8_t(value);
            --left;
        } else {
            uint32_t low, d, l;
            if (!in.take(lowBits, low) || !decode(in, distances, d)) return DecodeStatus::InputOverrun;
            if (d & huff::kInvalid) return DecodeStatus::DataError;
            size_t dist = ((size_t(huff::value(d)) << lowBits) | low) + 1;
            if (!decode(in, lengths, l)) return DecodeStatus::InputOverrun;
            if (l & huff::kInvalid) return DecodeStatus::DataError;
            size_t length = huff::value(l);
            if (unsigned extra = huff::extraBits(l)) {
                uint32_t more;
                if (!in.take(extra, more)) return DecodeStatus::InputOverrun;
                length += more;
            }
            if (length > left) length = size_t(left);
            window.copyMatch(dist, length);
            left -= length;
        }
        if (window.pos >= window.flushAt)
            if (DecodeStatus s = window.flush(); s != DecodeStatus::Ok) return s;
    }
    if (DecodeStatus s = window.finish(); s != DecodeStatus::Ok) return s;

    // The data must end where the decoding did, give or take the bits left in the last byte.
    if (in.overran()) return DecodeStatus::InputOverrun;
    if (in.unusedBytes() > 0) return DecodeStatus::InputUnused;
    return DecodeStatus::Ok;
}

}  // namespace tarrow
