// A small ZIP writer for the tests: stored members (or given compressed bytes), comments, extra
// fields, bytes in front, archives cut into disks, zip64 fields and data descriptors. It writes
// what it is told, including damage.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ziptest {

using Bytes = std::vector<uint8_t>;

uint32_t crc32(const std::string& data);

// Which values a member carries in the zip64 block (0x0001) instead of its header, where the header
// holds 0xFFFFFFFF. Local headers carry both sizes whenever either is there.
struct Zip64Fields {
    bool uncompressedSize = false;
    bool compressedSize = false;
    bool offset = false;  // central header only
    bool local = true;    // also in the local header (sizes)
    bool any() const { return uncompressedSize || compressedSize || offset; }
};

struct Member {
    std::string name;
    std::string data;                   // uncompressed content
    std::optional<std::string> packed;  // compressed bytes when the method is not 0
    uint16_t method = 0;
    uint16_t flags = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0x21;  // 1980-01-01
    uint8_t versionMadeBy = 20;
    uint8_t hostSystem = 0;  // MS-DOS
    uint8_t versionNeeded = 10;
    uint16_t internal = 0;
    uint32_t external = 0x20;
    Bytes extra;
    std::string comment;
    std::optional<uint32_t> crc;  // defaults to the CRC of data
    std::optional<uint32_t> uncompressedSize;
    Zip64Fields zip64;
    // Flag bit 3: the local header's CRC and sizes are 0 and a descriptor ("PK", 7, 8, CRC, sizes;
    // 8-byte sizes when the member has zip64 sizes) follows the data.
    bool descriptor = false;
    bool descriptorSignature = true;     // false: the descriptor starts with the CRC, as early writers had it
    std::optional<uint16_t> nameLength;  // written instead of the real length (central header)
};

struct Archive {
    std::vector<Member> members;
    std::string comment;
    std::optional<uint16_t> commentLength;  // written instead of the real length
    Bytes prefix;                           // bytes in front (a self-extractor's program)
    Bytes trailer;                          // bytes after the end record
    bool spanningMarker = false;            // "PK", 7, 8 in front of the first member
    uint32_t centralSignature = 0x02014B50;
    std::optional<uint16_t> totalEntries;
    // The zip64 end record and its locator in front of the end record, whose fields then hold
    // 0xFFFF and 0xFFFFFFFF. Archives of more than 65,535 members always get them.
    bool zip64End = false;
    // Offsets measured from the start of the archive data rather than of the file.
    bool offsetsFromArchiveStart = false;
    // Cut the archive into disks after these file positions (ascending).
    std::vector<size_t> diskBreaks;
};

// The archive's bytes; with disk breaks, one entry per disk.
std::vector<Bytes> buildDisks(const Archive& archive);
Bytes build(const Archive& archive);

Bytes extraBlock(uint16_t id, const std::string& data);
// Little-endian values appended to out.
void put16(Bytes& out, uint32_t v);
void put32(Bytes& out, uint32_t v);
void put64(Bytes& out, uint64_t v);

// Raw deflate data of data (zlib, level 6), as a member's packed bytes.
std::string deflate(const std::string& data);
// Raw deflate data of `size` zeros (about a thousandth of `size`, made in milliseconds), and
// their CRC.
struct PackedZeros {
    std::string packed;
    uint32_t crc = 0;
};
PackedZeros deflateZeros(uint64_t size);
// A one-member archive of `size` deflated zeros, with zip64 end records, and zip64 sizes when
// `size` needs them.
void writeZeros(const std::string& path, const std::string& name, uint64_t size);
// A stored member, and a deflated one, of the given name and content.
Member stored(const std::string& name, const std::string& data);
Member deflated(const std::string& name, const std::string& data);

// A Unicode path or comment block (0x7075, 0x6375): version 1, the CRC of the header's bytes, text.
Bytes unicodeBlock(uint16_t id, const std::string& headerBytes, const std::string& utf8);

// Pieces of a one-member zip64 archive too large to build in memory; the caller writes the member's
// packed data between them. The member's data and packed fields are ignored.
Bytes localHeader(const Member& m, uint64_t packedSize, uint64_t size, uint32_t crc);
Bytes centralAndEnd(const Member& m, uint64_t packedSize, uint64_t size, uint32_t crc, uint64_t centralOffset);
void writeFile(const std::string& path, const Bytes& bytes);
std::string toString(const Bytes& bytes);

}  // namespace ziptest
