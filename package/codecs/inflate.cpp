#include "inflate.h"

#include <algorithm>
#include <array>

namespace tarrow {

namespace {

// Length codes 257..285: base lengths and the extra bits that follow them (285 is the single length 258;
// in Deflate64 it is 3 plus 16 extra bits).
constexpr std::array<uint16_t, 29> kLengthBase{3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                               31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<uint8_t, 29> kLengthExtra{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<uint16_t, 29> kLengthBase64{3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 3};
constexpr std::array<uint8_t, 29> kLengthExtra64{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
// Distance codes 0..29, and 30..31 in Deflate64.
constexpr std::array<uint16_t, 32> kDistanceBase{1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
                                                 49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
                                                 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr std::array<uint8_t, 32> kDistanceExtra{0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                                 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
// The code lengths of a dynamic block arrive in this order.
constexpr std::array<uint8_t, 19> kCodeLengthOrder{16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// What each symbol of the three alphabets decodes to: literals 0-255, the end of the block, lengths and
// distances (symbols 286-287 and, in deflate, distances 30-31 are invalid); code-length symbols 0-18.
using LiteralSymbols = std::array<uint32_t, 288>;
using DistanceSymbols = std::array<uint32_t, 32>;
constexpr LiteralSymbols literalSymbols(const std::array<uint16_t, 29>& base, const std::array<uint8_t, 29>& extra) {
    LiteralSymbols s{};
    for (unsigned i = 0; i < 288; ++i)
        s[i] = i < 256   ? huff::symbolLiteral(i)
               : i < 257 ? huff::symbolEnd(i)
               : i < 286 ? huff::symbolBase(base[i - 257], extra[i - 257])
                         : huff::kSymbolInvalid;
    return s;
}
constexpr DistanceSymbols distanceSymbols(unsigned codes) {
    DistanceSymbols s{};
    for (unsigned i = 0; i < 32; ++i)
        s[i] = i < codes ? huff::symbolBase(kDistanceBase[i], kDistanceExtra[i]) : huff::kSymbolInvalid;
    return s;
}
constexpr LiteralSymbols kLiteralSymbols = literalSymbols(kLengthBase, kLengthExtra);
constexpr LiteralSymbols kLiteralSymbols64 = literalSymbols(kLengthBase64, kLengthExtra64);
constexpr DistanceSymbols kDistanceSymbols = distanceSymbols(30);
constexpr DistanceSymbols kDistanceSymbols64 = distanceSymbols(32);
constexpr std::array<uint32_t, 19> kCodeLengthSymbols = [] {
    std::array<uint32_t, 19> s{};
    for (unsigned i = 0; i < 19; ++i) s[i] = huff::symbolLiteral(i);
    return s;
}();

// First-level look-up bits: nearly every code decodes with one look-up, and the tables still fill
// quickly for the small members of a skin (11 literal bits measured faster than 10 on both the skin
// bitmaps and text). The fast loop indexes the first levels with these as constants; code-length
// codes are at most 7 bits long, so their table has no second level.
constexpr unsigned kLiteralBits = 11;
constexpr unsigned kDistanceBits = 8;
constexpr unsigned kCodeLengthBits = 7;

struct FixedTables {
    HuffmanTable literals, distances;
    FixedTables(const LiteralSymbols& literalSymbols, const DistanceSymbols& distanceSymbols) {
        // Literals 0-143 have 8 bits, 144-255 9 bits, 256-279 7 bits, 280-287 8 bits; distances 5 bits.
        std::array<uint8_t, 288> lit{};
        for (unsigned i = 0; i < 288; ++i) lit[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        std::array<uint8_t, 32> dist{};
        dist.fill(5);
        literals.build(lit, literalSymbols, kLiteralBits);
        distances.build(dist, distanceSymbols, kDistanceBits);
    }
};

DecodeStatus fromTable(TableResult r) {
    return r == TableResult::NoMemory         ? DecodeStatus::NoMemory
           : r == TableResult::OverSubscribed ? DecodeStatus::BadInput
                                              : DecodeStatus::DataError;
}

// Output through the streaming window: writes may run past flushAt into the window's slack.
struct WindowOut {
    explicit WindowOut(OutputWindow& w) : w(w), pos(w.pos), flushAt(w.flushAt) {}
    OutputWindow& w;
    uint8_t*& pos;
    uint8_t*& flushAt;

    DecodeStatus flush() { return w.flush(); }
    DecodeStatus finish() { return w.finish(); }
    static uint8_t* literal(uint8_t* out, unsigned v) {
        *out = uint8_t(v);
        return out + 1;
    }
    void put(const uint8_t* from, size_t n) {
        std::memcpy(pos, from, n);
        pos += n;
    }
    uint8_t* match(uint8_t* out, size_t dist, size_t length) {
        if (dist > size_t(out - w.floor)) {  // reaches before the member's first byte: rare, done carefully
            w.pos = out;
            w.copyMatch(dist, length);
            return w.pos;
        }
        return copyMatchFast(out, dist, length);
    }
    // The fast loop may run up to flushAt: every step's writes, even Deflate64's longest match and a
    // copy's overshoot, fit in the slack behind it.
    uint8_t* fastEnd() const { return flushAt; }
    const uint8_t* floor() const { return w.floor; }
    const uint8_t* limit() const { return flushAt + OutputWindow::kSlack; }
};

// Output into the caller's buffer [begin, end), near its end: nothing is written at or past end, but
// pos runs on as the window's would, so that the checks at flushAt see what the window's checks see.
// flushAt stands where the window's would: at the next 32 KB boundary or just past the declared size.
struct BufferOut {
    BufferOut(uint8_t* begin, uint8_t* end) : begin(begin), end(end), pos(begin) { setFlushPoint(); }
    uint8_t *begin, *end;
    uint8_t *pos, *flushAt = nullptr;

    void setFlushPoint() {
        const size_t at = size_t(pos - begin), size = size_t(end - begin);
        flushAt = begin + std::min(at / OutputWindow::kBlock * OutputWindow::kBlock + OutputWindow::kBlock, size + 1);
    }
    DecodeStatus flush() {
        if (pos > end) {
            pos = end;
            return DecodeStatus::TooLong;
        }
        setFlushPoint();
        return DecodeStatus::Ok;
    }
    DecodeStatus finish() { return flush(); }
    uint8_t* literal(uint8_t* out, unsigned v) const {
        if (out < end) *out = uint8_t(v);
        return out + 1;
    }
    void put(const uint8_t* from, size_t n) {
        if (pos < end) std::memcpy(pos, from, std::min(n, size_t(end - pos)));
        pos += n;
    }
    // Word-sized copies while the match and their overshoot fit, else exactly.
    uint8_t* match(uint8_t* out, size_t dist, size_t length) const {
        if (dist <= size_t(out - begin) && out < end && length + 16 <= size_t(end - out))
            return copyMatchFast(out, dist, length);
        copyMatchClipped(out, begin, end, dist, length);
        return out + length;
    }
    // The fast loop stays kMargin short of the end: a step writes four literals, or a deflate match
    // (258 bytes at most) with its copy's overshoot (under 16 bytes; the first 64 are copied whatever
    // the length); a longer Deflate64 match is copied exactly. It leaves the last bytes, and the flush
    // points, to the careful loop.
    static constexpr size_t kMargin = 288;
    uint8_t* fastEnd() const { return end - begin > ptrdiff_t(kMargin) ? end - kMargin : begin; }
    const uint8_t* floor() const { return begin; }
    const uint8_t* limit() const { return end; }
};

// The low bits of v, as many as the low byte of n says (below 64). BMI2 has an instruction for it,
// which the compiler does not always find.
template <bool kBmi2>
[[gnu::always_inline]] inline uint64_t lowBits(uint64_t v, uint32_t n) {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    if constexpr (kBmi2) {
        uint64_t r;
        asm("bzhi %2, %1, %0" : "=r"(r) : "rm"(v), "r"(uint64_t(n)));
        return r;
    }
#endif
    return v & ((uint64_t(1) << uint8_t(n)) - 1);
}

// What the fast loop works on, handed over in one piece so that the loop can live in a function of
// its own, built once plainly and once for BMI2.
struct FastState {
    uint64_t bits;
    unsigned count;
    const uint8_t* in;
    const uint8_t* inFastEnd;  // the loop starts a step only before this: a step's refills stay in the input
    uint8_t* out;
    uint8_t* outFastEnd;   // and only before this: a step's writes stay in the output
    const uint8_t* floor;  // the member's first byte of output: matches reaching before it go carefully
    const uint8_t* limit;  // the output's end: a Deflate64 match that would pass it goes carefully
    const uint32_t* lt;    // first levels of kLiteralBits and kDistanceBits
    const uint32_t* dt;
};

// Why the fast loop stopped.
enum class FastExit { Margin, End, Invalid };

// Input one fast step may read: a refill reads 8 bytes and moves at most 7 on, and a step refills at
// most twice (a Deflate64 match). Entering the loop refills once more, so it takes kFastEntry bytes to
// enter and take a step.
constexpr ptrdiff_t kStepInput = 16;
constexpr ptrdiff_t kFastEntry = kStepInput + 8;

// The fast loop: codes while a step can neither run out of input nor pass the output's margin, so that
// nothing inside a step is checked but the codes themselves. The bit buffer is refilled without a
// branch: one unaligned 8-byte load, the count raised to 56-63 bits. All 64 bits of the buffer are then
// input, and stay so as codes are consumed from the bottom, so the next code's first-level entry is
// looked up before the refill that makes its bits count: after a match (at most 20 + 28 bits) 16 bits
// are left, more than a first-level index.
//
// The bit count is kept by subtracting whole table entries: only its low six bits are the count, and
// those stay right because an entry's low six bits are the bits it uses (the flags above them only
// disturb the higher bits, which nothing reads). Shifts by an entry use its low six bits alone, as
// the processor's shifts do anyway.
template <bool kWide, bool kBmi2>
[[gnu::always_inline]] inline FastExit fastLoop(FastState& s) {
    // Everything in locals: stores of output bytes could otherwise alias s and force reloads.
    uint64_t bits = s.bits;
    unsigned count = s.count;
    const uint8_t* in = s.in;
    uint8_t* out = s.out;
    const uint8_t* const inFastEnd = s.inFastEnd;
    const uint8_t* const outFastEnd = s.outFastEnd;
    const uint8_t* const floor = s.floor;
    const uint8_t* const limit = s.limit;
    const uint32_t* const lt = s.lt;
    const uint32_t* const dt = s.dt;
    constexpr uint64_t lmask = (uint64_t(1) << kLiteralBits) - 1, dmask = (uint64_t(1) << kDistanceBits) - 1;
    FastExit exit = FastExit::Margin;

    auto refill = [&] {
        bits |= loadLittle64(in) << (count & 63);
        in += 7 - ((count >> 3) & 7);
        count |= 56;
    };
    auto consume = [&](uint32_t entry) {
        bits >>= entry & 63;
        count -= entry;
    };
    // A length or distance: the base plus the extra bits above the code in the bits before consuming
    // it. The entry's low byte is its bit count (the flags there are clear for these entries).
    auto extra = [](uint32_t entry, uint64_t from) {
        return huff::value(entry) + size_t(lowBits<kBmi2>(from, entry) >> ((entry >> 8) & 63));
    };

    refill();
    uint32_t e = lt[bits & lmask];
    while (in < inFastEnd && out < outFastEnd) {
        // As many steps as surely start inside both margins go without checking them: a step moves the
        // input on by at most kStepIn bytes (a refill each, two in a Deflate64 match) and writes at most
        // kStepOut bytes.
        constexpr size_t kStepIn = kWide ? 14 : 7, kStepOut = kWide ? 65538 : 258;
        size_t steps = 1 + std::min(size_t(inFastEnd - in - 1) / kStepIn, size_t(outFastEnd - out - 1) / kStepOut);
        do {
            // At least 56 bits are counted and e is the first-level entry of the next code.
            uint64_t saved = bits;
            consume(e);
            if (e & huff::kLiteral) {
                // Up to four literals: the first takes at most 11 bits, the others too (first-level
                // entries), so 44 bits at most, and 20 are left for the next look-up.
                *out++ = uint8_t(huff::value(e));
                e = lt[bits & lmask];
                if (e & huff::kLiteral) {
                    consume(e);
                    *out++ = uint8_t(huff::value(e));
                    e = lt[bits & lmask];
                    if (e & huff::kLiteral) {
                        consume(e);
                        *out++ = uint8_t(huff::value(e));
                        e = lt[bits & lmask];
                        if (e & huff::kLiteral) {
                            consume(e);
                            *out++ = uint8_t(huff::value(e));
                            e = lt[bits & lmask];
                        }
                    }
                }
                refill();
                continue;
            }
            if (e & (huff::kSubTable | huff::kEnd | huff::kInvalid)) [[unlikely]] {
                if (!(e & huff::kSubTable)) {
                    exit = e & huff::kInvalid ? FastExit::Invalid : FastExit::End;
                    goto done;
                }
                // A code longer than the first level: its entry counts its bits from the code's start,
                // where the link's bits were consumed already (the difference of the entries' low six
                // bits is what is left).
                const uint32_t link = e;
                e = huff::follow(lt, link, saved);
                consume(e - link);
                if (e & huff::kLiteral) {
                    *out++ = uint8_t(huff::value(e));
                    e = lt[bits & lmask];
                    refill();
                    continue;
                }
                if (e & (huff::kEnd | huff::kInvalid)) {
                    exit = e & huff::kInvalid ? FastExit::Invalid : FastExit::End;
                    goto done;
                }
            }

            // A length (at most 15 + 5 bits, Deflate64 15 + 16), then its distance (at most 15 + 13, or
            // 15 + 14). In deflate both fit in the 56 bits counted; Deflate64 refills between them.
            const size_t length = extra(e, saved);
            if constexpr (kWide) refill();
            uint32_t d = dt[bits & dmask];
            if (d & (huff::kSubTable | huff::kInvalid)) [[unlikely]] {
                if (d & huff::kSubTable) d = huff::follow(dt, d, bits);
                if (d & huff::kInvalid) {
                    exit = FastExit::Invalid;
                    goto done;
                }
            }
            saved = bits;
            consume(d);
            const size_t dist = extra(d, saved);
            e = lt[bits & lmask];
            refill();

            // The copy: a word at a time from at least a word back, else a repeated pattern. Before the
            // first byte of output it goes exactly, and so does a Deflate64 match too long for the room
            // left with a copy's overshoot (a deflate match always fits in the output's margin).
            if (dist > size_t(out - floor) || (kWide && length > size_t(limit - out) - 32)) [[unlikely]] {
                copyMatchClipped(out, floor, limit, dist, length);
                out += length;
                continue;
            }
            uint8_t* const stop = out + length;
            if (dist >= 16) {
                // Most matches are short: the first 64 bytes go without a test.
                const uint8_t* from = out - dist;
                std::memcpy(out, from, 16);
                std::memcpy(out + 16, from + 16, 16);
                std::memcpy(out + 32, from + 32, 16);
                std::memcpy(out + 48, from + 48, 16);
                if (length > 64) copyInSteps<16>(out + 64, from + 64, length - 64);
            } else {
                copyMatchFast(out, dist, length);
            }
            out = stop;
        } while (--steps);
    }
done:
    s.bits = bits;
    s.count = count & 63;
    s.in = in;
    s.out = out;
    return exit;
}
// The fast loop built twice: plainly, and with BMI2's shifts and bit extraction (which take their
// count from any register and leave the flags alone), chosen once by what the processor has.
using FastFn = FastExit (*)(FastState&);

template <bool kWide>
FastExit fastPlain(FastState& s) {
    return fastLoop<kWide, false>(s);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
template <bool kWide>
__attribute__((target("bmi2"))) FastExit fastBmi2(FastState& s) {
    return fastLoop<kWide, true>(s);
}

FastFn fastFor(bool wide) {
    static const bool bmi2 = __builtin_cpu_supports("bmi2");
    if (bmi2) return wide ? fastBmi2<true> : fastBmi2<false>;
    return wide ? fastPlain<true> : fastPlain<false>;
}
#else
FastFn fastFor(bool wide) { return wide ? fastPlain<true> : fastPlain<false>; }
#endif

}  // namespace

struct Inflater::Format {
    const LiteralSymbols& literals;
    const DistanceSymbols& distances;
    bool wide;
    const FixedTables& fixed() const {
        static const FixedTables deflate(kLiteralSymbols, kDistanceSymbols);
        static const FixedTables deflate64(kLiteralSymbols64, kDistanceSymbols64);
        return wide ? deflate64 : deflate;
    }
    static const Format& of(DeflateFormat f) {
        static const Format deflate{kLiteralSymbols, kDistanceSymbols, false};
        static const Format deflate64{kLiteralSymbols64, kDistanceSymbols64, true};
        return f == DeflateFormat::Deflate64 ? deflate64 : deflate;
    }
};

DecodeStatus Inflater::run(ByteSource& source, OutputWindow& window, DeflateFormat format, uint64_t* unused) {
    BitInput in(source);
    WindowOut out(window);
    const DecodeStatus status = blocks(in, out, Format::of(format));
    if (unused) *unused = in.unusedBytes();
    return status;
}

DecodeStatus Inflater::runToEnd(ByteSource& source, OutputWindow& window, DeflateFormat format, uint64_t& held) {
    BitInput in(source);
    WindowOut out(window);
    const DecodeStatus status = blocks(in, out, Format::of(format));
    held = in.heldBytes();
    return status;
}

InflateResult Inflater::toBuffer(std::span<const uint8_t> input, std::span<uint8_t> output, DeflateFormat format) {
    MemorySource source(input);
    BitInput in(source);
    // An empty destination still needs an address that positions can be counted from.
    uint8_t none = 0;
    uint8_t* begin = output.empty() ? &none : output.data();
    BufferOut out(begin, begin + output.size());
    InflateResult result;
    result.status = blocks(in, out, Format::of(format));
    result.produced = size_t(std::min(out.pos, out.end) - out.begin);
    result.consumed = size_t(input.size() - in.unusedBytes());
    return result;
}

template <class Out>
DecodeStatus Inflater::blocks(BitInput& in, Out& out, const Format& format) {
    uint32_t last = 0;
    do {
        uint32_t type;
        if (!in.take(1, last) || !in.take(2, type)) return DecodeStatus::DataError;
        DecodeStatus status;
        switch (type) {
        case 0: status = storedBlock(in, out); break;
        case 1: status = huffmanBlock(in, out, format, format.fixed().literals, format.fixed().distances); break;
        case 2:
            status = dynamicTables(in, format);
            if (status == DecodeStatus::Ok) status = huffmanBlock(in, out, format, literals_, distances_);
            break;
        default: return DecodeStatus::BadInput;  // block type 3 is reserved
        }
        if (status != DecodeStatus::Ok) return status;
    } while (!last);
    if (in.overran()) return DecodeStatus::DataError;
    return out.finish();
}

// A stored block: from the next byte boundary, LEN and its ones' complement NLEN, then LEN raw bytes.
template <class Out>
DecodeStatus Inflater::storedBlock(BitInput& in, Out& out) {
    in.drop(in.count & 7);
    uint32_t len, nlen;
    if (!in.take(16, len) || !in.take(16, nlen)) return DecodeStatus::DataError;
    if (len != (~nlen & 0xffff)) return DecodeStatus::DataError;
    // Whole bytes still in the bit buffer come first.
    while (len > 0 && in.count >= 8) {
        out.pos = out.literal(out.pos, uint8_t(in.bits));
        in.drop(8);
        --len;
    }
    if (in.overran()) return DecodeStatus::DataError;
    if (in.count == 0) in.bits = 0;  // what lay above the count are the bytes copied next
    // Those bytes may have reached the flush point: the copies below must start before it.
    if (out.pos >= out.flushAt)
        if (DecodeStatus s = out.flush(); s != DecodeStatus::Ok) return s;
    while (len > 0) {
        if (in.in == in.end && !in.pull()) return DecodeStatus::DataError;
        size_t n = std::min<size_t>({len, size_t(in.end - in.in), size_t(out.flushAt - out.pos)});
        out.put(in.in, n);
        in.in += n;
        len -= uint32_t(n);
        if (out.pos >= out.flushAt)
            if (DecodeStatus s = out.flush(); s != DecodeStatus::Ok) return s;
    }
    return DecodeStatus::Ok;
}

// A dynamic block's header: the code-length code, then the literal/length and distance code lengths.
DecodeStatus Inflater::dynamicTables(BitInput& in, const Format& format) {
    uint32_t hlit, hdist, hclen;
    if (!in.take(5, hlit) || !in.take(5, hdist) || !in.take(4, hclen)) return DecodeStatus::DataError;
    unsigned nlit = hlit + 257, ndist = hdist + 1;

    std::array<uint8_t, 19> clen{};
    for (unsigned i = 0; i < hclen + 4; ++i) {
        uint32_t v;
        if (!in.take(3, v)) return DecodeStatus::DataError;
        clen[kCodeLengthOrder[i]] = uint8_t(v);
    }
    if (TableResult r = codeLengths_.build(clen, kCodeLengthSymbols, kCodeLengthBits); r != TableResult::Ok)
        return fromTable(r);

    // Code-length symbols 0-15 are lengths; 16 repeats the previous length 3-6 times, 17 gives 3-10
    // zeros and 18 gives 11-138 zeros. A symbol and its extra bits take at most 7 + 7 bits. The bit
    // buffer is kept in locals (stores of lengths could otherwise alias it); the reader refills it.
    static constexpr uint8_t kRepeatBase[3] = {3, 3, 11}, kRepeatBits[3] = {2, 3, 7};
    std::array<uint8_t, 288 + 32 + 8> lens;  // a repeat is written eight bytes at a time
    const uint32_t* const table = codeLengths_.entries();
    const unsigned total = nlit + ndist;
    uint64_t bits = in.bits;
    unsigned count = in.count;
    uint8_t previous = 0;
    for (unsigned i = 0; i < total;) {
        if (count < 7 + 7) {
            in.bits = bits, in.count = count;
            if (!in.refill()) return DecodeStatus::DataError;
            bits = in.bits, count = in.count;
        }
        const uint32_t e = table[bits & ((1u << kCodeLengthBits) - 1)];
        if (e & huff::kInvalid) {
            in.bits = bits, in.count = count;
            return DecodeStatus::DataError;
        }
        bits >>= huff::totalBits(e);
        count -= huff::totalBits(e);
        const unsigned sym = huff::value(e);
        if (sym < 16) {
            lens[i++] = previous = uint8_t(sym);
            continue;
        }
        const unsigned extra = kRepeatBits[sym - 16];
        const unsigned repeat = kRepeatBase[sym - 16] + unsigned(bits & ((1u << extra) - 1));
        bits >>= extra;
        count -= extra;
        if (i + repeat > total) {
            in.bits = bits, in.count = count;
            return DecodeStatus::DataError;
        }
        if (sym != 16) previous = 0;
        const uint64_t fill = previous * uint64_t(0x0101010101010101);
        for (unsigned k = 0; k < repeat; k += 8) std::memcpy(&lens[i + k], &fill, 8);
        i += repeat;
    }
    in.bits = bits, in.count = count;
    if (in.overran()) return DecodeStatus::DataError;

    std::span<const uint8_t> all(lens.data(), total);
    if (TableResult r = literals_.build(all.first(nlit), format.literals, kLiteralBits); r != TableResult::Ok)
        return fromTable(r);
    // An incomplete distance code is legal (a block may use one distance code, or none).
    TableResult r = distances_.build(all.subspan(nlit), format.distances, kDistanceBits);
    if (r == TableResult::OverSubscribed || r == TableResult::NoMemory) return DecodeStatus::DataError;
    return DecodeStatus::Ok;
}

// The codes of one block: the fast loop while input and output have room for a whole step, the
// careful loop near the ends. Through the window the careful loop hands back to the fast one once a
// flush or a new chunk of input makes room again; into a buffer it finishes the block.
template <class Out>
DecodeStatus Inflater::huffmanBlock(BitInput& in, Out& out, const Format& format, const HuffmanTable& lengths,
                                    const HuffmanTable& distances) {
    const FastFn fast = fastFor(format.wide);
    for (;;) {
        if (in.end - in.in >= kFastEntry && out.pos < out.fastEnd()) {
            FastState s{in.bits,       in.count,    in.in,       in.end - kStepInput, out.pos,
                        out.fastEnd(), out.floor(), out.limit(), lengths.entries(),   distances.entries()};
            const FastExit exit = fast(s);
            in.bits = s.bits, in.count = s.count, in.in = s.in;
            out.pos = s.out;
            if (exit == FastExit::Invalid) return DecodeStatus::DataError;
            if (exit == FastExit::End) return DecodeStatus::Ok;
        }
        bool again = false;
        const DecodeStatus s = format.wide ? codes<true>(in, out, lengths, distances, again)
                                           : codes<false>(in, out, lengths, distances, again);
        if (!again) return s;
    }
}

// The careful loop: decodes literal/length and distance codes until the end-of-block code, or (through
// the window) until the fast loop can take over again. It keeps the bit buffer, the input and the
// output position in locals; while at least 8 input bytes are at hand it refills with one unaligned
// load, and only near the end of an input chunk it falls back to the byte-wise reader. A code is at
// most 15 bits, so with 56 bits buffered a length, its distance and their extra bits (48 bits) need one
// refill; Deflate64's longest length takes 31 bits, so there the distance gets a refill of its own.
// After each literal and each match the output position is checked against flushAt: that is where
// output is handed on and where output past the declared size is noticed. Checking after every code
// makes the outcome of damaged data independent of where the fast loop left off: the data is too long
// when the code that passes the declared size was whole, and ran out when it was not.
template <bool kWide, class Out>
DecodeStatus Inflater::codes(BitInput& input, Out& o, const HuffmanTable& lengths, const HuffmanTable& distances,
                             bool& again) {
    const uint32_t* lt = lengths.entries();
    const uint32_t* dt = distances.entries();
    const uint64_t lmask = (uint64_t(1) << lengths.rootBits()) - 1;
    const uint64_t dmask = (uint64_t(1) << distances.rootBits()) - 1;

    uint64_t bits = input.bits;
    unsigned count = input.count;
    const uint8_t* in = input.in;
    const uint8_t* inEnd = input.end;
    uint8_t* out = o.pos;
    uint8_t* flushAt = o.flushAt;

    auto save = [&] {
        input.bits = bits, input.count = count, input.in = in, input.end = inEnd;
        o.pos = out;
    };
    auto load = [&] {
        bits = input.bits, count = input.count, in = input.in, inEnd = input.end;
        out = o.pos, flushAt = o.flushAt;
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
    // The check after each step. Input that ran past its end is damage, not data.
    auto check = [&] {
        save();
        if (input.overran()) return DecodeStatus::DataError;
        const DecodeStatus s = o.flush();
        if (s == DecodeStatus::Ok) load();
        return s;
    };
    // True when the fast loop can take the next step: through the window, after a flush or once a new
    // chunk of input has come.
    auto fastAgain = [&] {
        if constexpr (std::is_same_v<Out, WindowOut>) {
            if (inEnd - in >= kFastEntry && out < flushAt) {
                save();
                again = true;
                return true;
            }
        }
        return false;
    };

    if (out >= flushAt)
        if (DecodeStatus s = check(); s != DecodeStatus::Ok) return s;
    if (fastAgain()) return DecodeStatus::Ok;
    if (!refill()) return DecodeStatus::DataError;
    uint32_t e = lt[bits & lmask];  // the next code's first-level entry; at least 15 bits are buffered
    for (;;) {
        if (e & huff::kSubTable) e = huff::follow(lt, e, bits);
        if (e & huff::kLiteral) {
            consume(huff::totalBits(e));
            out = o.literal(out, huff::value(e));
            if (out >= flushAt)
                if (DecodeStatus s = check(); s != DecodeStatus::Ok) return s;
            if (fastAgain()) return DecodeStatus::Ok;
            if (!refill()) return DecodeStatus::DataError;
            e = lt[bits & lmask];
            continue;
        }
        if (e & (huff::kEnd | huff::kInvalid)) {
            consume(huff::totalBits(e));
            save();
            if (e & huff::kInvalid) return DecodeStatus::DataError;
            if (input.overran()) return DecodeStatus::DataError;
            break;
        }

        const size_t length = huff::baseAndExtra(e, bits);
        consume(huff::totalBits(e));
        if constexpr (kWide)
            if (!refill()) return DecodeStatus::DataError;

        uint32_t d = dt[bits & dmask];
        if (d & huff::kSubTable) d = huff::follow(dt, d, bits);
        if (d & huff::kInvalid) {
            save();
            return DecodeStatus::DataError;
        }
        const size_t dist = huff::baseAndExtra(d, bits);
        consume(huff::totalBits(d));

        out = o.match(out, dist, length);
        if (out >= flushAt)
            if (DecodeStatus s = check(); s != DecodeStatus::Ok) return s;
        if (fastAgain()) return DecodeStatus::Ok;
        if (!refill()) return DecodeStatus::DataError;
        e = lt[bits & lmask];
    }
    return DecodeStatus::Ok;
}

DecodeStatus inflate(ByteSource& source, OutputSink& sink, uint64_t limit, DeflateFormat format) {
    OutputWindow window;
    if (!window.valid()) return DecodeStatus::NoMemory;
    window.start(sink, limit);
    Inflater inflater;
    return inflater.run(source, window, format);
}

InflateResult inflateToBuffer(std::span<const uint8_t> input, std::span<uint8_t> output, DeflateFormat format) {
    static thread_local Inflater inflater;
    return inflater.toBuffer(input, output, format);
}

}  // namespace tarrow
