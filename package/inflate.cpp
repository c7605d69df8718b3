#include "inflate.h"

#include <algorithm>
#include <array>

namespace tarrow {

namespace {

// Length codes 257..285: base lengths and the extra bits that follow them (285 is the single length 258).
constexpr std::array<uint16_t, 29> kLengthBase{3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                               31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<uint8_t, 29> kLengthExtra{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Distance codes 0..29.
constexpr std::array<uint16_t, 30> kDistanceBase{1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                                 33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                                 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<uint8_t, 30> kDistanceExtra{0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The code lengths of a dynamic block arrive in this order.
constexpr std::array<uint8_t, 19> kCodeLengthOrder{16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr unsigned kLiteralBits = 9;
constexpr unsigned kDistanceBits = 6;

struct FixedTables {
    HuffmanTable literals, distances;
    FixedTables() {
        // Literals 0-143 have 8 bits, 144-255 9 bits, 256-279 7 bits, 280-287 8 bits; distances 5 bits.
        std::array<uint8_t, 288> lit{};
        for (unsigned i = 0; i < 288; ++i) lit[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        std::array<uint8_t, 30> dist{};
        dist.fill(5);
        literals.build(lit, 257, kLengthBase, kLengthExtra, kLiteralBits);
        distances.build(dist, 0, kDistanceBase, kDistanceExtra, 5);
    }
};

const FixedTables &fixedTables() {
    static const FixedTables tables;
    return tables;
}

DecodeStatus fromTable(TableResult r) {
    return r == TableResult::NoMemory ? DecodeStatus::NoMemory
           : r == TableResult::OverSubscribed ? DecodeStatus::BadInput
                                              : DecodeStatus::DataError;
}

} // namespace

DecodeStatus Inflater::run(ByteSource &source, OutputWindow &window) {
    BitInput in(source);
    uint32_t last = 0;
    do {
        uint32_t type;
        if (!in.take(1, last) || !in.take(2, type)) return DecodeStatus::DataError;
        DecodeStatus status;
        switch (type) {
        case 0: status = storedBlock(in, window); break;
        case 1: status = codes(in, window, fixedTables().literals, fixedTables().distances); break;
        case 2:
            status = dynamicTables(in);
            if (status == DecodeStatus::Ok) status = codes(in, window, literals_, distances_);
            break;
        default: return DecodeStatus::BadInput; // block type 3 is reserved
        }
        if (status != DecodeStatus::Ok) return status;
    } while (!last);
    if (in.overran()) return DecodeStatus::DataError;
    return window.finish();
}

// A stored block: from the next byte boundary, LEN and its ones' complement NLEN, then LEN raw bytes.
DecodeStatus Inflater::storedBlock(BitInput &in, OutputWindow &window) {
    in.drop(in.count & 7);
    uint32_t len, nlen;
    if (!in.take(16, len) || !in.take(16, nlen)) return DecodeStatus::DataError;
    if (len != (~nlen & 0xffff)) return DecodeStatus::DataError;
    // Whole bytes still in the bit buffer come first.
    while (len > 0 && in.count >= 8) {
        *window.pos++ = uint8_t(in.bits);
        in.drop(8);
        --len;
    }
    if (in.overran()) return DecodeStatus::DataError;
    if (in.count == 0) in.bits = 0; // what lay above the count are the bytes copied next
    while (len > 0) {
        if (in.in == in.end && !in.pull()) return DecodeStatus::DataError;
        size_t n = std::min<size_t>({len, size_t(in.end - in.in), size_t(window.flushAt - window.pos)});
        std::memcpy(window.pos, in.in, n);
        window.pos += n;
        in.in += n;
        len -= uint32_t(n);
        if (window.pos >= window.flushAt)
            if (DecodeStatus s = window.flush(); s != DecodeStatus::Ok) return s;
    }
    if (window.pos >= window.flushAt) return window.flush();
    return DecodeStatus::Ok;
}

// A dynamic block's header: the code-length code, then the literal/length and distance code lengths.
DecodeStatus Inflater::dynamicTables(BitInput &in) {
    uint32_t hlit, hdist, hclen;
    if (!in.take(5, hlit) || !in.take(5, hdist) || !in.take(4, hclen)) return DecodeStatus::DataError;
    unsigned nlit = hlit + 257, ndist = hdist + 1;

    std::array<uint8_t, 19> clen{};
    for (unsigned i = 0; i < hclen + 4; ++i) {
        uint32_t v;
        if (!in.take(3, v)) return DecodeStatus::DataError;
        clen[kCodeLengthOrder[i]] = uint8_t(v);
    }
    if (TableResult r = codeLengths_.build(clen, 19, {}, {}, 7); r != TableResult::Ok) return fromTable(r);

    // Code-length symbols 0-15 are lengths; 16 repeats the previous length 3-6 times, 17 gives 3-10
    // zeros and 18 gives 11-138 zeros.
    std::array<uint8_t, 288 + 32> lens{};
    unsigned total = nlit + ndist;
    uint8_t previous = 0;
    for (unsigned i = 0; i < total;) {
        if (in.count < 7 + 7 && !in.refill()) return DecodeStatus::DataError;
        uint32_t e = codeLengths_.lookup(in.bits);
        if (e & huff::kInvalid) return DecodeStatus::DataError;
        in.drop(huff::dropBits(e));
        unsigned sym = huff::value(e);
        if (sym < 16) {
            lens[i++] = previous = uint8_t(sym);
            continue;
        }
        unsigned repeat;
        uint8_t fill = 0;
        if (sym == 16) {
            repeat = 3 + in.peek(2);
            in.drop(2);
            fill = previous;
        } else if (sym == 17) {
            repeat = 3 + in.peek(3);
            in.drop(3);
        } else {
            repeat = 11 + in.peek(7);
            in.drop(7);
        }
        if (i + repeat > total) return DecodeStatus::DataError;
        while (repeat--) lens[i++] = fill;
        previous = fill;
    }
    if (in.overran()) return DecodeStatus::DataError;

    std::span<const uint8_t> all(lens.data(), total);
    if (TableResult r = literals_.build(all.first(nlit), 257, kLengthBase, kLengthExtra, kLiteralBits);
        r != TableResult::Ok)
        return fromTable(r);
    // An incomplete distance code is legal (a block may use one distance code, or none).
    TableResult r = distances_.build(all.subspan(nlit), 0, kDistanceBase, kDistanceExtra, kDistanceBits);
    if (r == TableResult::OverSubscribed || r == TableResult::NoMemory) return DecodeStatus::DataError;
    return DecodeStatus::Ok;
}

// Decodes literal/length and distance codes until the end-of-block code. The loop keeps the bit buffer,
// the input and the output position in locals; while at least 8 input bytes are at hand it refills with
// one unaligned load, and only near the end of an input chunk it falls back to the byte-wise reader.
// A code is at most 15 bits, so with 56 bits buffered a length, its distance and their extra bits (48
// bits) need one refill, and two literals (30 bits) leave enough for looking up the next code before the
// refill: that look-up's latency then overlaps the refill.
DecodeStatus Inflater::codes(BitInput &input, OutputWindow &window, const HuffmanTable &lengths,
                             const HuffmanTable &distances) {
    const uint32_t *lt = lengths.entries();
    const uint32_t *dt = distances.entries();
    const uint64_t lmask = (uint64_t(1) << lengths.rootBits()) - 1;
    const uint64_t dmask = (uint64_t(1) << distances.rootBits()) - 1;

    uint64_t bits = input.bits;
    unsigned count = input.count;
    const uint8_t *in = input.in;
    const uint8_t *inEnd = input.end;
    uint8_t *out = window.pos;
    uint8_t *flushAt = window.flushAt;

    auto save = [&] {
        input.bits = bits, input.count = count, input.in = in, input.end = inEnd;
        window.pos = out;
    };
    auto load = [&] {
        bits = input.bits, count = input.count, in = input.in, inEnd = input.end;
        out = window.pos, flushAt = window.flushAt;
    };
    // Tops the buffer up to at least 56 bits; the bits already there stay where they are.
    auto refill = [&] {
        if (inEnd - in >= 8) {
            bits |= loadLittle64(in) << count;
            in += (63 - count) >> 3;
            count |= 56;
            return true;
        }
        save();
        if (!input.refill()) return false;
        load();
        return true;
    };
    auto consume = [&](unsigned n) {
        bits >>= n;
        count -= n;
    };
    // Hands the window's full block on; input that ran past its end is damage, not data.
    auto flush = [&] {
        save();
        if (input.overran()) return DecodeStatus::DataError;
        const DecodeStatus s = window.flush();
        if (s == DecodeStatus::Ok) load();
        return s;
    };

    if (!refill()) return DecodeStatus::DataError;
    uint32_t e = lt[bits & lmask]; // the next code's first-level entry; at least 15 bits are buffered
    for (;;) {
        if (e & huff::kSubTable) e = lt[huff::value(e) + ((bits >> huff::dropBits(e)) & ((1u << huff::extraBits(e)) - 1))];
        if (e & huff::kLiteral) {
            consume(huff::dropBits(e));
            *out++ = uint8_t(huff::value(e));
            e = lt[bits & lmask];
            if (e & huff::kLiteral) {
                consume(huff::dropBits(e));
                *out++ = uint8_t(huff::value(e));
                e = lt[bits & lmask];
            }
            if (out >= flushAt)
                if (DecodeStatus s = flush(); s != DecodeStatus::Ok) return s;
            if (!refill()) return DecodeStatus::DataError;
            continue;
        }
        if (e & (huff::kEnd | huff::kInvalid)) {
            consume(huff::dropBits(e));
            save();
            if (e & huff::kInvalid) return DecodeStatus::DataError;
            if (input.overran()) return DecodeStatus::DataError;
            break;
        }

        consume(huff::dropBits(e));
        unsigned extra = huff::extraBits(e);
        size_t length = huff::value(e) + size_t(bits & ((uint64_t(1) << extra) - 1));
        consume(extra);

        uint32_t d = dt[bits & dmask];
        if (d & huff::kSubTable) d = dt[huff::value(d) + ((bits >> huff::dropBits(d)) & ((1u << huff::extraBits(d)) - 1))];
        if (d & huff::kInvalid) {
            save();
            return DecodeStatus::DataError;
        }
        consume(huff::dropBits(d));
        extra = huff::extraBits(d);
        size_t dist = huff::value(d) + size_t(bits & ((uint64_t(1) << extra) - 1));
        consume(extra);

        const uint8_t *from = out - dist;
        if (from < window.floor) { // reaches before the member's first byte: rare, done carefully
            window.pos = out;
            window.copyMatch(dist, length);
            out = window.pos;
        } else if (dist >= 16) {
            out = copyInSteps<16>(out, from, length);
        } else if (dist >= 8) {
            out = copyInSteps<8>(out, from, length);
        } else {
            out = copyPattern(out, dist, length);
        }
        if (out >= flushAt)
            if (DecodeStatus s = flush(); s != DecodeStatus::Ok) return s;
        if (!refill()) return DecodeStatus::DataError;
        e = lt[bits & lmask];
    }
    return DecodeStatus::Ok;
}

DecodeStatus inflate(ByteSource &source, OutputSink &sink, uint64_t limit) {
    OutputWindow window;
    if (!window.valid()) return DecodeStatus::NoMemory;
    window.start(sink, limit);
    Inflater inflater;
    return inflater.run(source, window);
}

} // namespace tarrow
