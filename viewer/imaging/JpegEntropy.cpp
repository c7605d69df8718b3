// Entropy coding of cJpeg: the scan plan, the block order of each scan (with the dummy blocks that
// fill partial MCUs), the symbol statistics behind the optimised Huffman tables, and the coded
// scans themselves.
#include "imaging/JpegBitWriter.h"
#include "imaging/JpegSimd.h"
#include "imaging/cJpeg.h"

#include <array>
#include <bit>
#include <cstring>
#include <algorithm>
#include <limits>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace veltrane {

namespace {

constexpr int kMaxBlocksPerMcu = 10;  // the limit T.81 puts on an interleaved scan
constexpr int kZrl = 0xF0;            // a run of sixteen zero coefficients
constexpr int kEob = 0x00;            // the rest of the block is zero
constexpr int kMaxDcSymbol = 11;
constexpr int kMaxAcSymbol = 255;

// Components 0 uses tables 0, the chrominance components tables 1.
int TableOf(int component) { return component == 0 ? 0 : 1; }

// Bit k set when coefficient k of the block is not zero.
uint64_t NonZeroMask(const int16_t* block) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    uint64_t mask = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + i * 16));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + i * 16 + 8));
        // Saturating packing keeps every non-zero value non-zero.
        const __m128i zeros = _mm_cmpeq_epi8(_mm_packs_epi16(a, b), zero);
        mask |= uint64_t(uint16_t(~_mm_movemask_epi8(zeros))) << (i * 16);
    }
    return mask;
#else
    uint64_t mask = 0;
    for (int k = 0; k < 64; ++k)
        if (block[k] != 0) mask |= uint64_t(1) << k;
    return mask;
#endif
}

// Size category of a value: the number of bits of its magnitude.
int Category(int32_t value) {
    const auto magnitude = uint32_t(value < 0 ? -value : value);
    return int(std::bit_width(magnitude));
}
// The low bits that follow a category: the value itself, or value - 1 when negative.
uint32_t ExtraBits(int32_t value, int category) {
    return uint32_t(value < 0 ? value - 1 : value) & ((uint32_t(1) << category) - 1);
}

// A component as a scan sees it.
struct ScanPart {
    const int16_t* data;
    int32_t columns;  // blocks per row
    int32_t rows;
    int32_t h, v;
};

// Calls sink.Block(part, block, predictor) for every block of the scan in coding order, and
// sink.Dummy(part) for each dummy block of an interleaved scan. Predictors start at 0.
template <class Sink>
void VisitScan(const cJpeg& jpeg, const cJpeg::ScanGroup& scan, Sink& sink) {
    const auto& components = jpeg.Components();
    ScanPart parts[4];
    int32_t predictors[4] = {0, 0, 0, 0};
    const int count = scan.last - scan.first + 1;
    for (int i = 0; i < count; ++i) {
        const JpegComponent& c = components[size_t(scan.first + i)];
        parts[i] = ScanPart{c.Data.data(), c.BlockColumns, c.BlockRows, c.H, c.V};
    }
    if (count == 1) {
        // Non-interleaved: the component's blocks in raster order.
        const int64_t blocks = int64_t(parts[0].columns) * parts[0].rows;
        for (int64_t b = 0; b < blocks; ++b) sink.Block(0, parts[0].data + b * 64, predictors[0]);
        return;
    }
    // Interleaved: MCUs in raster order, in each the V x H blocks of every component in turn.
    // Blocks beyond a component's own (right of its last column, below its last row) are dummies.
    const int64_t unitW = 8 * int64_t(jpeg.MaxH()), unitH = 8 * int64_t(jpeg.MaxV());
    const int64_t mcuColumns = (jpeg.ImageWidth() + unitW - 1) / unitW;
    const int64_t mcuRows = (jpeg.ImageHeight() + unitH - 1) / unitH;
    for (int64_t my = 0; my < mcuRows; ++my)
        for (int64_t mx = 0; mx < mcuColumns; ++mx)
            for (int i = 0; i < count; ++i) {
                const ScanPart& p = parts[i];
                for (int v = 0; v < p.v; ++v)
                    for (int h = 0; h < p.h; ++h) {
                        const int64_t row = my * p.v + v, col = mx * p.h + h;
                        if (row >= p.rows || col >= p.columns) {
                            sink.Dummy(i);
                            continue;
                        }
                        sink.Block(i, p.data + (row * p.columns + col) * 64, predictors[i]);
                    }
            }
}

// The statistics pass records every symbol it counts, so that the writing pass only looks up the
// codes. A recorded symbol: its table in bits 24 to 31 (DC tables 0 to 3, AC tables 0 to 3 as 4
// to 7), the symbol in bits 16 to 23 and the extra bits that follow its code in bits 0 to 15.
constexpr int kAcSlot = 4;
constexpr int kSymbolTables = 8;
// Most symbols one block yields: DC, 63 coefficients or their ZRLs, EOB.
constexpr size_t kMaxBlockSymbols = 66;

// The recorded symbols live in one buffer per thread that keeps its size from one picture to the
// next, so that a run of previews allocates nothing for them; it is never cleared, as every
// symbol is written before it is read. A buffer grown beyond kKeptSymbols by a large picture is
// released after use.
constexpr size_t kKeptSymbols = size_t(1) << 18;
// Room made at the start: enough for most pictures, so that the buffer seldom grows by copying.
constexpr size_t kTypicalBlockSymbols = 16;
using SymbolBuffer = std::vector<uint32_t, jpeg::RecyclingAllocator<uint32_t>>;
thread_local SymbolBuffer t_symbols;

uint32_t Recorded(int slot, int symbol, uint32_t extra) {
    return uint32_t(slot) << 24 | uint32_t(symbol) << 16 | extra;
}

// Blocks a scan codes, dummy blocks included.
int64_t ScanBlocks(const cJpeg& jpeg, const cJpeg::ScanGroup& scan) {
    const auto& components = jpeg.Components();
    if (scan.first == scan.last) {
        const JpegComponent& c = components[size_t(scan.first)];
        return int64_t(c.BlockColumns) * c.BlockRows;
    }
    const int64_t unitW = 8 * int64_t(jpeg.MaxH()), unitH = 8 * int64_t(jpeg.MaxV());
    const int64_t mcus = (jpeg.ImageWidth() + unitW - 1) / unitW * ((jpeg.ImageHeight() + unitH - 1) / unitH);
    int64_t perMcu = 0;
    for (int c = scan.first; c <= scan.last; ++c) perMcu += components[size_t(c)].H * components[size_t(c)].V;
    return mcus * perMcu;
}

using I16x8 = int16_t __attribute__((vector_size(16)));
using I32x8 = int32_t __attribute__((vector_size(32)));
using F32x8 = float __attribute__((vector_size(32)));

// For the coefficients of a block, eight at a time up to the last non-zero one (bit k of nonZero
// stands for coefficient k): the category in bits 16 to 20 and the extra bits in bits 0 to 15, as
// Category and ExtraBits give them (meaningless for a zero coefficient). The category is read off
// the exponent of the magnitude converted to float, which is exact for every 16-bit value:
// 2^e <= m < 2^(e+1) is stored with exponent field 127 + e, and the category is e + 1. The float
// 2^(e+1), converted back, gives the mask of the extra bits.
[[gnu::always_inline]] inline void CodeCoefficients(const int16_t* block, uint64_t nonZero, uint32_t* coded) {
    const int end = 64 - std::countl_zero(nonZero);
    for (int i = 0; i < end; i += 8) {
        I16x8 narrow;
        std::memcpy(&narrow, block + i, sizeof narrow);
        const I32x8 value = __builtin_convertvector(narrow, I32x8);
        const I32x8 magnitude = value < 0 ? -value : value;
        const F32x8 asFloat = __builtin_convertvector(magnitude, F32x8);
        I32x8 exponent;
        std::memcpy(&exponent, &asFloat, sizeof exponent);
        exponent >>= 23;
        const I32x8 category = exponent - 126;
        const I32x8 powerBits = (exponent + 1) << 23;
        F32x8 power;
        std::memcpy(&power, &powerBits, sizeof power);
        const I32x8 mask = __builtin_convertvector(power, I32x8) - 1;
        const I32x8 extra = (value + (value >> 31)) & mask;  // value - 1 when negative
        const I32x8 word = (category << 16) | extra;
        std::memcpy(coded + i, &word, sizeof word);
    }
}

// Records one block's symbols as the coder writes them from next on, and returns their end: the
// DC difference, then runs of zeros and the non-zero AC coefficients in zig-zag order, ZRL for
// every sixteen zeros of a run that ends in a coefficient, and EOB when the block ends in zeros.
// dcBits and acBits are the tables' slots in place (bits 24 to 31).
VELTRANE_SIMD_CLONES uint32_t* RecordBlock(const int16_t* block, int32_t& predictor, uint32_t dcBits, uint32_t acBits,
                                           uint32_t* next) {
    const int32_t dc = block[0], diff = dc - predictor;
    predictor = dc;
    const int dcCategory = Category(diff);
    *next++ = dcBits | uint32_t(dcCategory) << 16 | ExtraBits(diff, dcCategory);
    uint64_t pending = NonZeroMask(block) & ~uint64_t(1);
    if (pending == 0) {
        *next++ = acBits | uint32_t(kEob) << 16;
        return next;
    }
    alignas(32) uint32_t coded[64];
    CodeCoefficients(block, pending, coded);
    int last = 0;
    while (pending != 0) {
        const int k = std::countr_zero(pending);
        int run = k - last - 1;
        for (; run > 15; run -= 16) *next++ = acBits | uint32_t(kZrl) << 16;
        // Adding the run's nibble above the category makes the symbol run * 16 + category.
        *next++ = acBits | ((uint32_t(run) << 20) + coded[k]);
        last = k;
        pending &= pending - 1;
    }
    if (last != 63) *next++ = acBits | uint32_t(kEob) << 16;
    return next;
}

// Records the symbols of a scan, each with the table of its part.
struct SymbolRecorder {
    int slot[4];  // table number of each part
    SymbolBuffer& symbols;
    size_t used;

    uint32_t* Room() {
        if (symbols.size() - used < kMaxBlockSymbols) symbols.resize(std::max(symbols.size() * 2, used + 4096));
        return symbols.data() + used;
    }
    void Block(int part, const int16_t* block, int32_t& predictor) {
        uint32_t* end =
            RecordBlock(block, predictor, Recorded(slot[part], 0, 0), Recorded(kAcSlot + slot[part], 0, 0), Room());
        used = size_t(end - symbols.data());
    }
    // A dummy block codes a DC difference of 0 and EOB. Its EOB is counted as well, which makes
    // sure EOB has a code even when every real block ends in a non-zero last coefficient.
    void Dummy(int part) {
        uint32_t* next = Room();
        *next++ = Recorded(slot[part], 0, 0);
        *next++ = Recorded(kAcSlot + slot[part], kEob, 0);
        used = size_t(next - symbols.data());
    }
};

// Adds up how often each table's symbols were recorded. Table and symbol together are bits 16 to
// 26 of a recorded symbol; four tallies taken in turn keep a run of one symbol from waiting on
// its own previous increment.
void CountRecorded(const uint32_t* symbols, size_t count, std::array<SymbolCounts, 4>& dc,
                   std::array<SymbolCounts, 4>& ac) {
    constexpr size_t kPairs = kSymbolTables * 256;
    std::array<std::array<int32_t, kPairs>, 4> tally{};
    size_t i = 0;
    for (; i + 4 <= count; i += 4)
        for (size_t t = 0; t < 4; ++t) ++tally[t][(symbols[i + t] >> 16) & (kPairs - 1)];
    for (; i < count; ++i) ++tally[0][(symbols[i] >> 16) & (kPairs - 1)];
    for (size_t k = 0; k < 4; ++k)
        for (size_t s = 0; s < 256; ++s) {
            for (size_t t = 0; t < 4; ++t) {
                dc[k][s] += tally[t][k * 256 + s];
                ac[k][s] += tally[t][(kAcSlot + k) * 256 + s];
            }
        }
}

// The codes of all tables packed for the writer, indexed like the tallies by table slot and
// symbol (bits 16 to 26 of a recorded symbol): the code shifted left by the number of extra bits
// its symbol carries (the category: the symbol itself for DC, its low four bits for AC) in bits 0
// to 31, and the code's length plus those extra bits in bits 32 to 39. A recorded symbol's extra
// bits then just fill the low bits.
using PackedCodes = std::array<uint64_t, kSymbolTables * 256>;

void PackCodes(const HuffmanTable& table, int slot, PackedCodes& packed) {
    const bool ac = slot >= kAcSlot;
    for (size_t s = 0; s < 256; ++s) {
        const auto extra = uint32_t(ac ? s % 16 : std::min<size_t>(s, 16));
        const uint64_t length = uint32_t(jpeg::CodeLength(table, int(s))) + extra;
        packed[size_t(slot) * 256 + s] = length << 32 | uint64_t(table.Code[s]) << extra;
    }
}

// Writes recorded symbols: each code followed by its extra bits. A symbol without a code writes
// nothing of itself; its extra bits still follow.
void WriteSymbols(jpeg::JpegBitWriter& bits, const uint32_t* next, const uint32_t* end, const PackedCodes& codes) {
    constexpr ptrdiff_t kChunk = 1024;
    while (next != end) {
        const uint32_t* chunkEnd = next + std::min(end - next, kChunk);
        bits.Reserve(size_t(kChunk) * jpeg::JpegBitWriter::kMaxPutBytes);
        jpeg::JpegBitWriter local = bits;
        for (; next != chunkEnd; ++next) {
            const uint32_t symbol = *next;
            const uint64_t e = codes[(symbol >> 16) & (kSymbolTables * 256 - 1)];
            local.Put(uint32_t(e) | (symbol & 0xFFFF), int(e >> 32));
        }
        bits = local;
    }
}

// Estimated bits of the symbols of a table: each code plus the extra bits its symbol carries.
int64_t EstimateBits(const SymbolCounts& counts, const HuffmanTable& table, int lastSymbol, bool ac) {
    int64_t bits = 0;
    for (int s = 0; s <= lastSymbol; ++s)
        if (counts[size_t(s)] != 0)
            bits += int64_t(counts[size_t(s)]) * (jpeg::CodeLength(table, s) + (ac ? s % 16 : s));
    return bits;
}

}  // namespace

std::vector<cJpeg::ScanGroup> cJpeg::ScanPlan(int first, int last) const {
    if (first < 0 || first > last || last >= ComponentCount()) throw std::out_of_range("Subscript out of range");
    std::vector<ScanGroup> plan;
    int start = first, blocks = 0;
    for (int b = first; b <= last;) {
        const JpegComponent& c = m_components[size_t(b)];
        blocks += c.H * c.V;
        if (blocks <= kMaxBlocksPerMcu) {
            if (b - start + 1 == 3 || b == last) {
                plan.push_back({start, b});
                start = b + 1;
                blocks = 0;
            }
            ++b;
        } else if (b != start) {
            plan.push_back({start, b - 1});  // b starts the next scan, counted afresh
            start = b;
            blocks = 0;
        } else {
            plan.push_back({b, b});  // too many blocks to interleave: a scan of its own
            start = ++b;
            blocks = 0;
        }
    }
    return plan;
}

int32_t cJpeg::OptimizeHuffmanTables(int first, int last) {
    const std::vector<ScanGroup> plan = ScanPlan(first, last);
    // Without sampled blocks an interleaved scan would consist of dummy blocks only.
    for (int c = first; c <= last; ++c)
        if (m_components[size_t(c)].Data.empty()) throw JpegError(jpeg::kBadHuffmanTable);
    std::array<SymbolCounts, 4> dcCounts{}, acCounts{};
    std::array<bool, 4> used{};
    m_scanSymbolEnds.clear();
    int64_t blocks = 0;
    for (const ScanGroup& scan : plan) blocks += ScanBlocks(*this, scan);
    if (t_symbols.size() < size_t(blocks) * kTypicalBlockSymbols)
        t_symbols.resize(size_t(blocks) * kTypicalBlockSymbols);
    SymbolRecorder recorder{{}, t_symbols, 0};
    for (const ScanGroup& scan : plan) {
        for (int c = scan.first; c <= scan.last; ++c) {
            const int k = TableOf(c);
            used[size_t(k)] = true;
            recorder.slot[c - scan.first] = k;
        }
        VisitScan(*this, scan, recorder);
        m_scanSymbolEnds.push_back(recorder.used);
    }
    m_symbolCount = recorder.used;
    CountRecorded(t_symbols.data(), m_symbolCount, dcCounts, acCounts);
    int64_t bits = 0;
    for (size_t k = 0; k < 4; ++k) {
        if (!used[k]) continue;
        const SymbolCounts dc = dcCounts[k], ac = acCounts[k];
        GenerateHuffmanTable(m_dcTables[k], dcCounts[k]);
        BuildHuffmanCodes(m_dcTables[k], kMaxDcSymbol);
        bits += EstimateBits(dc, m_dcTables[k], 15, false);
        GenerateHuffmanTable(m_acTables[k], acCounts[k]);
        BuildHuffmanCodes(m_acTables[k], kMaxAcSymbol);
        bits += EstimateBits(ac, m_acTables[k], 255, true);
    }
    const int64_t bytes = bits / 8 + (bits % 8 != 0 ? 1 : 0);
    return int32_t(std::min<int64_t>(bytes, std::numeric_limits<int32_t>::max()));
}

void cJpeg::WriteScans(int first, int last) {
    const std::vector<ScanGroup> plan = ScanPlan(first, last);
    if (m_scanSymbolEnds.size() != plan.size() || t_symbols.size() < m_symbolCount)
        throw std::logic_error("WriteScans: the scans were not counted");
    // Only the slots of the tables in use are filled; no recorded symbol refers to the others.
    PackedCodes codes;
    std::array<bool, 4> packed{};
    size_t start = 0;
    for (size_t i = 0; i < plan.size(); ++i) {
        const ScanGroup& scan = plan[i];
        WriteScanHeader(scan);
        for (int c = scan.first; c <= scan.last; ++c) {
            const auto k = size_t(TableOf(c));
            if (packed[k]) continue;
            PackCodes(m_dcTables[k], int(k), codes);
            PackCodes(m_acTables[k], kAcSlot + int(k), codes);
            packed[k] = true;
        }
        jpeg::JpegBitWriter bits(m_outBuffer, m_outPos);
        WriteSymbols(bits, t_symbols.data() + start, t_symbols.data() + m_scanSymbolEnds[i], codes);
        bits.Flush();
        m_outPos = bits.Position();
        start = m_scanSymbolEnds[i];
    }
    m_scanSymbolEnds.clear();
    if (t_symbols.size() > kKeptSymbols) SymbolBuffer().swap(t_symbols);
}

}  // namespace veltrane
