// The archive as an object: a path read with positioned reads, or a memory block; its catalogue
// read once into member records whose every fact is decided there (the central directory checked
// against each local header by one policy); and any member decoded into a sink with its size and
// CRC-32 (or authentication code) checked at the end. Results are the TARROW_E_* codes of the
// handle interface. An open archive is immutable: members may be read from several threads at once.
#pragma once

#include "MemberDecode.h"
#include "winzip_aes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarrow {
class Operation;
struct EndRecord;
}  // namespace tarrow

namespace tarrow::core {

// Where an archive's bytes come from. readAt may be called from several threads at once.
class Source {
public:
    virtual ~Source() = default;
    virtual uint64_t size() const = 0;
    // Copies count bytes from position; false unless all of them arrive.
    virtual bool readAt(uint64_t position, void* dst, size_t count) const = 0;
};

// Opens the file at path; nullptr with code set when it cannot be opened.
std::unique_ptr<Source> fileSource(const char* path, int& code);
// A block that must outlive the source.
std::unique_ptr<Source> memorySource(std::span<const uint8_t> block);

struct Member {
    std::string name;  // UTF-8, never empty
    uint64_t size = 0;
    uint64_t packedSize = 0;  // of the stored data, encryption overhead included
    uint16_t method = 0;      // of the data: an AES member's inner method
    uint16_t flags = 0;
    uint32_t crc32 = 0;
    uint16_t dosDate = 0;
    uint16_t dosTime = 0;
    uint32_t externalAttributes = 0;
    bool folder = false;
    bool symlink = false;
    bool encrypted = false;
    std::optional<AesField> aes;
    uint64_t dataOffset = 0;       // where the stored data starts in the source
    int damage = 0;                // TARROW_E_DAMAGED or TARROW_E_METHOD when the member cannot be read
    std::string why;               // what is wrong with it
    bool headersDisagree = false;  // the damage: its local header states other facts than the central directory
};

// What the local header is held against: the central directory's header offset, stored name
// bytes, converted name and host system.
struct CentralFacts {
    uint64_t headerOffset = 0;
    std::string stored;
    std::string name;
    uint8_t host = 0;
};

class Archive {
public:
    // Opens the archive the flat interface's operation reads (one file, or its memory block); null
    // when it spans disks or cannot be read, where the operation's own checks are all there is.
    static std::unique_ptr<Archive> forOperation(const Operation& op);

    // Reads the catalogue; TARROW_OK with `out` set, or the code of what failed.
    // With `known`, the end record found already is taken rather than searched for again.
    static int open(std::unique_ptr<Source> source, std::unique_ptr<Archive>& out, const EndRecord* known = nullptr);

    const std::vector<Member>& members() const { return m_members; }
    // Decodes member index into sink. password may be null.
    int read(size_t index, const char* password, OutputSink& sink) const;

private:
    explicit Archive(std::unique_ptr<Source> source) : m_source(std::move(source)) {}
    int readCatalogue(const EndRecord* known);
    void checkLocalHeader(Member& member, const CentralFacts& central);
    void checkExtents(const std::vector<CentralFacts>& central, uint64_t directoryStart);

    std::unique_ptr<Source> m_source;
    std::vector<Member> m_members;
    int64_t m_adjustment = 0;  // bytes in front of the archive data
};

}  // namespace tarrow::core
