// A small ZIP writer for the tests: stored members (or given compressed bytes), comments, extra
// fields, bytes in front, and archives cut into disks. It writes what it is told, including damage.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ziptest {

using Bytes = std::vector<uint8_t>;

uint32_t crc32(const std::string &data);

struct Member {
    std::string name;
    std::string data;                    // uncompressed content
    std::optional<std::string> packed;   // compressed bytes when the method is not 0
    uint16_t method = 0;
    uint16_t flags = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0x21;             // 1980-01-01
    uint8_t versionMadeBy = 20;
    uint8_t versionNeeded = 10;
    uint16_t internal = 0;
    uint32_t external = 0x20;
    Bytes extra;
    std::string comment;
    std::optional<uint32_t> crc;         // defaults to the CRC of data
    std::optional<uint32_t> uncompressedSize;
};

struct Archive {
    std::vector<Member> members;
    std::string comment;
    std::optional<uint16_t> commentLength;   // written instead of the real length
    Bytes prefix;                            // bytes in front (a self-extractor's program)
    Bytes trailer;                           // bytes after the end record
    bool spanningMarker = false;             // "PK", 7, 8 in front of the first member
    uint32_t centralSignature = 0x02014B50;
    std::optional<uint16_t> totalEntries;
    // Offsets measured from the start of the archive data rather than of the file.
    bool offsetsFromArchiveStart = false;
    // Cut the archive into disks after these file positions (ascending).
    std::vector<size_t> diskBreaks;
};

// The archive's bytes; with disk breaks, one entry per disk.
std::vector<Bytes> buildDisks(const Archive &archive);
Bytes build(const Archive &archive);

Bytes extraBlock(uint16_t id, const std::string &data);

// Raw deflate data of data (zlib, level 6), as a member's packed bytes.
std::string deflate(const std::string &data);
// A stored member, and a deflated one, of the given name and content.
Member stored(const std::string &name, const std::string &data);
Member deflated(const std::string &name, const std::string &data);
void writeFile(const std::string &path, const Bytes &bytes);
std::string toString(const Bytes &bytes);

} // namespace ziptest
