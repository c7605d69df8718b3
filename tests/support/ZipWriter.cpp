#include "ZipWriter.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <zlib.h>

namespace ziptest {

uint32_t crc32(const std::string& data) {
    uint32_t crc = 0xFFFFFFFF;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void put16(Bytes& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put32(Bytes& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void put64(Bytes& out, uint64_t v) {
    put32(out, uint32_t(v));
    put32(out, uint32_t(v >> 32));
}

namespace {

void putText(Bytes& out, const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }

const std::string& payload(const Member& m) { return m.packed ? *m.packed : m.data; }

constexpr uint32_t kSaturated = 0xFFFFFFFF;

// What one header says about a member's data.
struct Values {
    uint32_t crc;
    uint64_t packedSize;
    uint64_t size;
    uint64_t offset;
};

Values valuesOf(const Member& m, uint64_t offset) {
    return {m.crc.value_or(crc32(m.data)), payload(m).size(), m.uncompressedSize.value_or(uint32_t(m.data.size())),
            offset};
}

// The member's extra field for one header: the zip64 block first, then the member's own blocks.
Bytes extraFor(const Member& m, const Values& v, bool central) {
    Bytes zip64;
    if (central) {
        if (m.zip64.uncompressedSize) put64(zip64, v.size);
        if (m.zip64.compressedSize) put64(zip64, v.packedSize);
        if (m.zip64.offset) put64(zip64, v.offset);
    } else if (m.zip64.local && (m.zip64.uncompressedSize || m.zip64.compressedSize)) {
        put64(zip64, m.descriptor ? 0 : v.size);
        put64(zip64, m.descriptor ? 0 : v.packedSize);
    }
    Bytes out;
    if (!zip64.empty()) {
        put16(out, 0x0001);
        put16(out, uint32_t(zip64.size()));
        out.insert(out.end(), zip64.begin(), zip64.end());
    }
    out.insert(out.end(), m.extra.begin(), m.extra.end());
    return out;
}

// The fields local and central headers share, from "version needed" to the extra field's length.
void putCommonFields(Bytes& out, const Member& m, const Values& v, const Bytes& extra, bool central) {
    const bool blank = m.descriptor && !central;
    const bool saturated = central || m.zip64.local;
    out.push_back(m.versionNeeded);
    out.push_back(0);
    put16(out, m.flags | (m.descriptor ? 8 : 0));
    put16(out, m.method);
    put16(out, m.dosTime);
    put16(out, m.dosDate);
    put32(out, blank ? 0 : v.crc);
    put32(out, m.zip64.compressedSize && saturated ? kSaturated : blank ? 0 : uint32_t(v.packedSize));
    put32(out, m.zip64.uncompressedSize && saturated ? kSaturated : blank ? 0 : uint32_t(v.size));
    put16(out, central ? m.nameLength.value_or(uint16_t(m.name.size())) : uint32_t(m.name.size()));
    put16(out, uint32_t(extra.size()));
}

void putLocal(Bytes& out, const Member& m, const Values& v) {
    Bytes extra = extraFor(m, v, false);
    put32(out, 0x04034B50);
    putCommonFields(out, m, v, extra, false);
    putText(out, m.name);
    out.insert(out.end(), extra.begin(), extra.end());
}

void putDescriptor(Bytes& out, const Member& m, const Values& v) {
    if (m.descriptorSignature) put32(out, 0x08074B50);
    put32(out, v.crc);
    if (m.zip64.compressedSize || m.zip64.uncompressedSize) {
        put64(out, v.packedSize);
        put64(out, v.size);
    } else {
        put32(out, uint32_t(v.packedSize));
        put32(out, uint32_t(v.size));
    }
}

void putCentral(Bytes& out, const Member& m, const Values& v, uint32_t signature, uint16_t disk) {
    Bytes extra = extraFor(m, v, true);
    put32(out, signature);
    out.push_back(m.versionMadeBy);
    out.push_back(m.hostSystem);
    putCommonFields(out, m, v, extra, true);
    put16(out, uint32_t(m.comment.size()));
    put16(out, disk);
    put16(out, m.internal);
    put32(out, m.external);
    put32(out, m.zip64.offset ? kSaturated : uint32_t(v.offset));
    putText(out, m.name);
    out.insert(out.end(), extra.begin(), extra.end());
    putText(out, m.comment);
}

// The zip64 end record and locator for a single-disk archive, then the end record.
void putEnd(Bytes& out, bool zip64, uint16_t endDisk, uint16_t centralDisk, uint64_t entries, uint64_t centralSize,
            uint64_t centralOffset, uint16_t commentLength) {
    if (zip64) {
        const uint64_t at = out.size();
        put32(out, 0x06064B50);
        put64(out, 44);
        put16(out, 45);
        put16(out, 45);
        put32(out, endDisk);
        put32(out, centralDisk);
        put64(out, entries);
        put64(out, entries);
        put64(out, centralSize);
        put64(out, centralOffset);
        put32(out, 0x07064B50);
        put32(out, endDisk);
        put64(out, at);
        put32(out, endDisk + 1u);
    }
    put32(out, 0x06054B50);
    put16(out, endDisk);
    put16(out, centralDisk);
    put16(out, zip64 ? 0xFFFF : uint32_t(entries));
    put16(out, zip64 ? 0xFFFF : uint32_t(entries));
    put32(out, zip64 ? kSaturated : uint32_t(centralSize));
    put32(out, zip64 ? kSaturated : uint32_t(centralOffset));
    put16(out, commentLength);
}

// Where a file position lands when the archive is cut into disks.
struct DiskPosition {
    uint16_t disk;
    uint32_t offset;
};

DiskPosition locate(const Archive& a, size_t position) {
    uint16_t disk = 0;
    size_t start = 0;
    for (size_t brk : a.diskBreaks) {
        if (position < brk) break;
        ++disk;
        start = brk;
    }
    return {disk, uint32_t(position - start)};
}

}  // namespace

std::vector<Bytes> buildDisks(const Archive& a) {
    Bytes out = a.prefix;
    const size_t base = a.offsetsFromArchiveStart ? a.prefix.size() : 0;
    if (a.spanningMarker) put32(out, 0x08074B50);
    std::vector<size_t> localOffsets;
    for (const Member& m : a.members) {
        localOffsets.push_back(out.size());
        const Values v = valuesOf(m, 0);
        putLocal(out, m, v);
        putText(out, payload(m));
        if (m.descriptor) putDescriptor(out, m, v);
    }
    const size_t centralStart = out.size();
    for (size_t i = 0; i < a.members.size(); ++i) {
        DiskPosition local = locate(a, localOffsets[i]);
        putCentral(out, a.members[i], valuesOf(a.members[i], local.offset - base), a.centralSignature, local.disk);
    }
    const size_t centralSize = out.size() - centralStart;
    DiskPosition central = locate(a, centralStart);
    DiskPosition end = locate(a, out.size());
    const bool zip64 = a.zip64End || a.members.size() > 0xFFFF;
    const uint64_t entries = a.totalEntries ? *a.totalEntries : a.members.size();
    putEnd(out, zip64, end.disk, central.disk, entries, centralSize, central.offset - base,
           a.commentLength.value_or(uint16_t(a.comment.size())));
    putText(out, a.comment);
    out.insert(out.end(), a.trailer.begin(), a.trailer.end());

    std::vector<Bytes> disks;
    size_t start = 0;
    for (size_t brk : a.diskBreaks) {
        disks.emplace_back(out.begin() + ptrdiff_t(start), out.begin() + ptrdiff_t(brk));
        start = brk;
    }
    disks.emplace_back(out.begin() + ptrdiff_t(start), out.end());
    return disks;
}

Bytes build(const Archive& a) {
    if (!a.diskBreaks.empty()) throw std::logic_error("build() makes single-disk archives; use buildDisks()");
    return buildDisks(a).front();
}

Bytes extraBlock(uint16_t id, const std::string& data) {
    Bytes out;
    put16(out, id);
    put16(out, uint32_t(data.size()));
    putText(out, data);
    return out;
}

Bytes unicodeBlock(uint16_t id, const std::string& headerBytes, const std::string& utf8) {
    std::string data(1, '\1');
    const uint32_t crc = crc32(headerBytes);
    for (int shift = 0; shift < 32; shift += 8) data += char(crc >> shift);
    return extraBlock(id, data + utf8);
}

Bytes localHeader(const Member& m, uint64_t packedSize, uint64_t size, uint32_t crc) {
    Bytes out;
    putLocal(out, m, {crc, packedSize, size, 0});
    return out;
}

Bytes centralAndEnd(const Member& m, uint64_t packedSize, uint64_t size, uint32_t crc, uint64_t centralOffset) {
    Bytes out;
    putCentral(out, m, {crc, packedSize, size, 0}, 0x02014B50, 0);
    const size_t centralSize = out.size();
    // Positions in `out` are relative to the central directory; the locator's must be absolute.
    Bytes end;
    putEnd(end, true, 0, 0, 1, centralSize, centralOffset, 0);
    const uint64_t recordAt = centralOffset + centralSize;
    for (int i = 0; i < 8; ++i) end[56 + 8 + size_t(i)] = uint8_t(recordAt >> (8 * i));
    out.insert(out.end(), end.begin(), end.end());
    return out;
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string toString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace ziptest

namespace ziptest {

std::string deflate(const std::string& data) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string packed(deflateBound(&z, uLong(data.size())) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = uInt(packed.size());
    ::deflate(&z, Z_FINISH);
    packed.resize(z.total_out);
    deflateEnd(&z);
    return packed;
}

PackedZeros deflateZeros(uint64_t size) {
    // A megabyte of zeros ended by a full flush is byte-aligned and refers to nothing before it, so
    // the stream is that piece repeated, then the rest with the final block.
    constexpr uint64_t kPiece = 1 << 20;
    const std::vector<uint8_t> zeros(kPiece, 0);
    z_stream z{};
    deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    auto compress = [&](uint64_t n, int flush) {
        std::string out(deflateBound(&z, uLong(n)) + 64, '\0');
        z.next_in = const_cast<Bytef*>(zeros.data());
        z.avail_in = uInt(n);
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = uInt(out.size());
        ::deflate(&z, flush);
        out.resize(out.size() - z.avail_out);
        return out;
    };
    const uint64_t pieces = size / kPiece, rest = size % kPiece;
    const std::string piece = pieces ? compress(kPiece, Z_FULL_FLUSH) : std::string();
    PackedZeros result;
    result.packed.reserve(piece.size() * pieces + 64);
    for (uint64_t i = 0; i < pieces; ++i) result.packed += piece;
    result.packed += compress(rest, Z_FINISH);
    deflateEnd(&z);
    const uLong pieceCrc = ::crc32(0, zeros.data(), uInt(kPiece));
    uLong crc = ::crc32(0, nullptr, 0);
    for (uint64_t i = 0; i < pieces; ++i) crc = crc32_combine(crc, pieceCrc, z_off_t(kPiece));
    result.crc = uint32_t(crc32_combine(crc, ::crc32(0, zeros.data(), uInt(rest)), z_off_t(rest)));
    return result;
}

void writeZeros(const std::string& path, const std::string& name, uint64_t size) {
    const PackedZeros zeros = deflateZeros(size);
    Member m;
    m.name = name;
    m.method = 8;
    m.versionNeeded = 45;
    m.zip64 = {size > UINT32_MAX, false, false, true};
    Bytes out = localHeader(m, zeros.packed.size(), size, zeros.crc);
    out.insert(out.end(), zeros.packed.begin(), zeros.packed.end());
    const Bytes tail = centralAndEnd(m, zeros.packed.size(), size, zeros.crc, out.size());
    out.insert(out.end(), tail.begin(), tail.end());
    writeFile(path, out);
}

Member stored(const std::string& name, const std::string& data) {
    Member m;
    m.name = name;
    m.data = data;
    return m;
}

Member deflated(const std::string& name, const std::string& data) {
    Member m = stored(name, data);
    m.method = 8;
    m.packed = deflate(data);
    return m;
}

}  // namespace ziptest
