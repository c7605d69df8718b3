#include "ZipWriter.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <zlib.h>

namespace ziptest {

uint32_t crc32(const std::string &data)
{
    uint32_t crc = 0xFFFFFFFF;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

namespace {

void put16(Bytes &out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put32(Bytes &out, uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void putText(Bytes &out, const std::string &s) { out.insert(out.end(), s.begin(), s.end()); }

const std::string &payload(const Member &m) { return m.packed ? *m.packed : m.data; }

// The fields local and central headers share, from "version needed" to the extra field's length.
void putCommonFields(Bytes &out, const Member &m)
{
    out.push_back(m.versionNeeded);
    out.push_back(0);
    put16(out, m.flags);
    put16(out, m.method);
    put16(out, m.dosTime);
    put16(out, m.dosDate);
    put32(out, m.crc.value_or(crc32(m.data)));
    put32(out, uint32_t(payload(m).size()));
    put32(out, m.uncompressedSize.value_or(uint32_t(m.data.size())));
    put16(out, uint32_t(m.name.size()));
    put16(out, uint32_t(m.extra.size()));
}

// Where a file position lands when the archive is cut into disks.
struct DiskPosition {
    uint16_t disk;
    uint32_t offset;
};

DiskPosition locate(const Archive &a, size_t position)
{
    uint16_t disk = 0;
    size_t start = 0;
    for (size_t brk : a.diskBreaks) {
        if (position < brk)
            break;
        ++disk;
        start = brk;
    }
    return {disk, uint32_t(position - start)};
}

} // namespace

std::vector<Bytes> buildDisks(const Archive &a)
{
    Bytes out = a.prefix;
    const size_t base = a.offsetsFromArchiveStart ? a.prefix.size() : 0;
    if (a.spanningMarker)
        put32(out, 0x08074B50);
    std::vector<size_t> localOffsets;
    for (const Member &m : a.members) {
        localOffsets.push_back(out.size());
        put32(out, 0x04034B50);
        putCommonFields(out, m);
        putText(out, m.name);
        out.insert(out.end(), m.extra.begin(), m.extra.end());
        putText(out, payload(m));
    }
    const size_t centralStart = out.size();
    for (size_t i = 0; i < a.members.size(); ++i) {
        const Member &m = a.members[i];
        DiskPosition local = locate(a, localOffsets[i]);
        put32(out, a.centralSignature);
        out.push_back(m.versionMadeBy);
        out.push_back(0);
        putCommonFields(out, m);
        put16(out, uint32_t(m.comment.size()));
        put16(out, local.disk);
        put16(out, m.internal);
        put32(out, m.external);
        put32(out, uint32_t(local.offset - base));
        putText(out, m.name);
        out.insert(out.end(), m.extra.begin(), m.extra.end());
        putText(out, m.comment);
    }
    const size_t centralSize = out.size() - centralStart;
    DiskPosition central = locate(a, centralStart);
    DiskPosition end = locate(a, out.size());
    uint16_t entries = a.totalEntries.value_or(uint16_t(a.members.size()));
    put32(out, 0x06054B50);
    put16(out, end.disk);
    put16(out, central.disk);
    put16(out, entries);
    put16(out, entries);
    put32(out, uint32_t(centralSize));
    put32(out, uint32_t(central.offset - base));
    put16(out, a.commentLength.value_or(uint16_t(a.comment.size())));
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

Bytes build(const Archive &a)
{
    if (!a.diskBreaks.empty())
        throw std::logic_error("build() makes single-disk archives; use buildDisks()");
    return buildDisks(a).front();
}

Bytes extraBlock(uint16_t id, const std::string &data)
{
    Bytes out;
    put16(out, id);
    put16(out, uint32_t(data.size()));
    putText(out, data);
    return out;
}

void writeFile(const std::string &path, const Bytes &bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

std::string toString(const Bytes &bytes) { return std::string(bytes.begin(), bytes.end()); }

} // namespace ziptest

namespace ziptest {

std::string deflate(const std::string &data)
{
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string packed(deflateBound(&z, uLong(data.size())) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef *>(packed.data());
    z.avail_out = uInt(packed.size());
    ::deflate(&z, Z_FINISH);
    packed.resize(z.total_out);
    deflateEnd(&z);
    return packed;
}

Member stored(const std::string &name, const std::string &data)
{
    Member m;
    m.name = name;
    m.data = data;
    return m;
}

Member deflated(const std::string &name, const std::string &data)
{
    Member m = stored(name, data);
    m.method = 8;
    m.packed = deflate(data);
    return m;
}

} // namespace ziptest
