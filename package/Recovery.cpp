#include "Recovery.h"

#include "ArchiveInput.h"
#include "Catalogue.h"
#include "ExtraField.h"
#include "crc32.h"
#include "inflate.h"

#include "base/Utf8.h"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>

namespace tarrow::core {

namespace {

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDescriptor = 0x0008;
constexpr uint32_t kDescriptorSignature = 0x08074B50;
constexpr uint32_t kFirstPieceMarker = 0x30304B50;  // "PK00": a spanned archive written on one disk after all
constexpr uint8_t kDosHost = 0, kUnixHost = 3;
constexpr size_t kScanChunk = size_t(1) << 16;
constexpr size_t kLongestDescriptor = 24;
constexpr size_t kScanOverlap = kLongestDescriptor + 4;  // a descriptor and the signature after it

const char* const kRunsPastEnd = "its data runs past the end of the archive";
const char* const kNoDescriptor = "no data descriptor matches its data";

// A data descriptor: where a member's data ends, and its CRC-32 and size.
struct Descriptor {
    uint32_t crc = 0;
    uint64_t size = 0;
    size_t length = 0;  // bytes the descriptor takes
};

// The descriptors bytes may start with that state a compressed size of `packed`: with or without
// the signature, with 32- or 64-bit sizes.
int descriptorsAt(std::span<const uint8_t> b, uint64_t packed, Descriptor (&out)[4]) {
    int n = 0;
    for (const size_t lead : {size_t(4), size_t(0)}) {
        if (lead && (b.size() < 4 || le32(b.data()) != kDescriptorSignature)) continue;
        const uint8_t* p = b.data() + lead;
        const size_t room = b.size() - lead;
        if (room >= 12 && le32(p + 4) == packed) out[n++] = {le32(p), le32(p + 8), lead + 12};
        if (room >= 20 && le64(p + 4) == packed) out[n++] = {le32(p), le64(p + 12), lead + 20};
    }
    return n;
}

bool walkSignature(uint32_t signature) {
    return signature == kLocalHeaderSignature || signature == kCentralHeaderSignature ||
           signature == kEndRecordSignature || signature == kZip64EndSignature;
}

// Whether what follows a member (`after`, up to the end of the source when it holds fewer than four
// bytes) is a header the walk knows, or nothing.
bool headerFollows(std::span<const uint8_t> after, bool sourceEnds) {
    if (after.size() < 4) return sourceEnds;
    return walkSignature(le32(after.data()));
}

// The bytes of a source from a position to its end, counted as they are handed out.
class SourceRun : public ByteSource {
public:
    SourceRun(const Source& source, uint64_t position) : m_source(source), m_position(position) {}
    std::span<const uint8_t> next() override {
        const size_t n = size_t(std::min<uint64_t>(sizeof m_buffer, m_source.size() - m_position));
        if (n == 0 || !m_source.readAt(m_position, m_buffer, n)) return {};
        m_position += n;
        return {m_buffer, n};
    }
    uint64_t position() const { return m_position; }

private:
    const Source& m_source;
    uint64_t m_position;
    uint8_t m_buffer[kScanChunk];
};

// Counts and sums what a decoder writes.
class CrcCounter : public OutputSink {
public:
    bool write(std::span<const uint8_t> block) override {
        crc = crc32Update(crc, block.data(), block.size());
        size += block.size();
        return true;
    }
    uint32_t crc = kCrcStart;
    uint64_t size = 0;
};

class Walk {
public:
    Walk(const Source& source, const CodePage* codePage) : m_source(source), m_codePage(codePage) {}
    std::vector<LocalMember> run();

private:
    bool member(uint64_t at, LocalMember& found, uint64_t& next);
    std::optional<Descriptor> scan(uint64_t start, bool stored, uint64_t& packed);
    std::optional<Descriptor> inflateToDescriptor(uint64_t start, uint16_t method, uint64_t& packed,
                                                  std::string& damage);
    Descriptor skipDescriptor(uint64_t end, uint64_t packed);

    const Source& m_source;
    const CodePage* m_codePage;
    std::unique_ptr<OutputWindow> m_window;
    std::unique_ptr<Inflater> m_inflater;
    size_t m_index = 0;
};

std::vector<LocalMember> Walk::run() {
    std::vector<LocalMember> members;
    uint8_t marker[4];
    uint64_t at = 0;
    if (m_source.readAt(0, marker, 4) && (le32(marker) == kDescriptorSignature || le32(marker) == kFirstPieceMarker))
        at = 4;
    for (;;) {
        LocalMember found;
        uint64_t next = 0;
        if (!member(at, found, next)) break;
        const bool whole = found.damage.empty();
        members.push_back(std::move(found));
        if (!whole) break;
        at = next;
    }
    return members;
}

// The member whose local header lies at `at`, and where the next header would lie; false when no
// readable local header lies there.
bool Walk::member(uint64_t at, LocalMember& found, uint64_t& next) {
    uint8_t b[kLocalHeaderSize];
    if (!m_source.readAt(at, b, sizeof b) || le32(b) != kLocalHeaderSignature) return false;
    CentralHeader& h = found.header;
    const LocalFixed f = parseLocalFixed(b);
    h.versionNeeded = h.versionMadeBy = f.versionNeeded;
    h.hostNeeded = f.hostNeeded;
    h.flags = f.flags;
    h.method = f.method;
    h.dosTime = f.dosTime;
    h.dosDate = f.dosDate;
    h.crc32 = f.crc32;
    h.compressedSize = f.compressedSize;
    h.uncompressedSize = f.uncompressedSize;
    h.nameLength = f.nameLength;
    h.extraLength = f.extraLength;
    std::string stored(h.nameLength, '\0');
    h.extra.resize(h.extraLength);
    const uint64_t variableAt = at + kLocalHeaderSize;
    if (!m_source.readAt(variableAt, stored.data(), stored.size()) ||
        !m_source.readAt(variableAt + h.nameLength, h.extra.data(), h.extra.size()))
        return false;
    // The host that made the member is told by the central directory only: a name that is UTF-8
    // beyond ASCII is taken as it is, any other as MS-DOS text (unless a code page is chosen).
    const bool ascii = std::all_of(stored.begin(), stored.end(), [](char c) { return uint8_t(c) < 0x80; });
    h.hostSystem = !ascii && veltrane::text::IsUtf8(stored) ? kUnixHost : kDosHost;
    h.name = stored.substr(0, kMaxNameLength);
    applyZip64Local(h.extra, h.uncompressedSize, h.compressedSize);
    finishCentralHeader(h, m_index++, m_codePage);
    h.localHeaderOffset = at;
    found.dataOffset = variableAt + h.nameLength + h.extraLength;

    const uint64_t size = m_source.size();
    const bool descriptor = h.flags & kFlagDescriptor;
    if (descriptor && (h.compressedSize == 0 || h.compressedSize == kSaturated32)) {
        // The data ends at the first descriptor that fits it.
        uint64_t packed = 0;
        std::optional<Descriptor> d;
        const bool plain = !(h.flags & kFlagEncrypted);
        if (plain && (h.method == kDeflated || h.method == kDeflate64)) {
            d = inflateToDescriptor(found.dataOffset, h.method, packed, found.damage);
        } else {
            d = scan(found.dataOffset, plain && h.method == kStored, packed);
            if (!d) found.damage = kNoDescriptor;
        }
        if (!d) return true;
        h.crc32 = d->crc;
        h.compressedSize = packed;
        h.uncompressedSize = d->size;
        next = found.dataOffset + packed + d->length;
        return true;
    }
    if (h.compressedSize > size - std::min(size, found.dataOffset)) {
        found.damage = kRunsPastEnd;
        return true;
    }
    next = found.dataOffset + h.compressedSize;
    if (descriptor) next += skipDescriptor(next, h.compressedSize).length;
    return true;
}

// The first descriptor from start on whose compressed size is the distance from start (packed) and
// which the data before it fits: stored data by its CRC-32 and size, data that cannot be checked
// here (encrypted, or of another method) by a header, or the end of the source, following it. Each
// byte is looked at once and summed at most once: the scan is linear in what it passes.
std::optional<Descriptor> Walk::scan(uint64_t start, bool stored, uint64_t& packed) {
    const uint64_t size = m_source.size();
    std::vector<uint8_t> buffer(kScanChunk + kScanOverlap);
    uint32_t crc = kCrcStart;
    uint64_t summed = start;  // crc covers [start, summed)
    for (uint64_t base = start; base < size; base += kScanChunk) {
        const size_t n = size_t(std::min<uint64_t>(buffer.size(), size - base));
        if (!m_source.readAt(base, buffer.data(), n)) return std::nullopt;
        const size_t stop = std::min(n, kScanChunk);
        for (size_t i = 0; i < stop && n - i >= 12; ++i) {
            const uint8_t* p = buffer.data() + i;
            const uint64_t distance = base + i - start;
            // The compressed size lies 4 bytes in, or 8 behind a signature.
            if (le32(p + 4) != uint32_t(distance) && !(n - i >= 16 && le32(p + 8) == uint32_t(distance))) continue;
            Descriptor candidates[4];
            const int count = descriptorsAt({p, n - i}, distance, candidates);
            for (int k = 0; k < count; ++k) {
                const Descriptor& d = candidates[k];
                if (stored) {
                    if (d.size != distance) continue;
                    crc = crc32Update(crc, buffer.data() + (summed - base), size_t(base + i - summed));
                    summed = base + i;
                    if (~crc != d.crc) continue;
                } else {
                    const size_t after = std::min(n, i + d.length);
                    const size_t following = std::min<size_t>(4, n - after);
                    if (!headerFollows({buffer.data() + after, following}, base + n == size)) continue;
                }
                packed = distance;
                return d;
            }
        }
        if (stored) {
            crc = crc32Update(crc, buffer.data() + (summed - base), size_t(base + stop - summed));
            summed = base + stop;
        }
    }
    return std::nullopt;
}

// Deflated data ends where its last block does: the descriptor must follow there and state what
// the data decoded to.
std::optional<Descriptor> Walk::inflateToDescriptor(uint64_t start, uint16_t method, uint64_t& packed,
                                                    std::string& damage) {
    if (!m_window) m_window = std::make_unique<OutputWindow>();
    if (!m_inflater) m_inflater = std::make_unique<Inflater>();
    if (!m_window->valid()) throw std::bad_alloc();
    CrcCounter out;
    auto in = std::make_unique<SourceRun>(m_source, start);
    m_window->start(out, UINT64_MAX);
    uint64_t held = 0;
    const DecodeStatus status = m_inflater->runToEnd(
        *in, *m_window, method == kDeflate64 ? DeflateFormat::Deflate64 : DeflateFormat::Deflate, held);
    if (status != DecodeStatus::Ok) {
        damage = in->position() == m_source.size() ? kRunsPastEnd : "its deflated data is corrupt";
        return std::nullopt;
    }
    packed = in->position() - held - start;
    uint8_t bytes[kLongestDescriptor];
    const uint64_t end = start + packed;
    const size_t n = size_t(std::min<uint64_t>(sizeof bytes, m_source.size() - end));
    Descriptor candidates[4];
    const int count = m_source.readAt(end, bytes, n) ? descriptorsAt({bytes, n}, packed, candidates) : 0;
    for (int k = 0; k < count; ++k)
        if (candidates[k].size == out.size && candidates[k].crc == ~out.crc) return candidates[k];
    damage = n < 12 ? kRunsPastEnd : kNoDescriptor;
    return std::nullopt;
}

// The descriptor after data whose sizes the local header gave: the first form that a header, or the
// end of the source, follows; none when no form fits.
Descriptor Walk::skipDescriptor(uint64_t end, uint64_t packed) {
    uint8_t bytes[kScanOverlap];
    const size_t n = size_t(std::min<uint64_t>(sizeof bytes, m_source.size() - std::min(end, m_source.size())));
    if (!m_source.readAt(end, bytes, n)) return {};
    Descriptor candidates[4];
    const int count = descriptorsAt({bytes, n}, packed, candidates);
    for (int k = 0; k < count; ++k) {
        const size_t after = std::min(n, candidates[k].length);
        if (headerFollows({bytes + after, std::min<size_t>(4, n - after)}, end + n == m_source.size()))
            return candidates[k];
    }
    return {};
}

}  // namespace

std::vector<LocalMember> walkLocalHeaders(const Source& source, const CodePage* codePage) {
    return Walk(source, codePage).run();
}

}  // namespace tarrow::core
