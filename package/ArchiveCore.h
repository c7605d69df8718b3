// The archive as an object: a path read with positioned reads, or a memory block; its catalogue
// read once into member records whose every fact is decided there (the central directory checked
// against each local header by one policy); and any member decoded into a sink with its size and
// CRC-32 (or authentication code) checked at the end. Results are the TARROW_E_* codes of the
// handle interface. An open archive is immutable: members may be read from several threads at once.
#pragma once

#include "MemberDecode.h"
#include "decrypt.h"
#include "winzip_aes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarrow {
class CodePage;
class Operation;
struct CentralHeader;
struct EndRecord;
namespace platform {
class LocalTime;
}
}  // namespace tarrow

namespace tarrow::core {

struct LocalMember;

// Where an archive's bytes come from. readAt may be called from several threads at once.
class Source {
public:
    virtual ~Source() = default;
    virtual uint64_t size() const = 0;
    // Copies count bytes from position; false unless all of them arrive.
    virtual bool readAt(uint64_t position, void* dst, size_t count) const = 0;
    // The whole archive where it lies in memory; empty for a file.
    virtual std::span<const uint8_t> block() const { return {}; }
};

// Opens the file at path; nullptr with code set when it cannot be opened.
std::unique_ptr<Source> fileSource(const char* path, int& code);
// A block that must outlive the source.
std::unique_ptr<Source> memorySource(std::span<const uint8_t> block);

// What keeps a member from being read, as the flat interface reports it.
enum class Fault : uint8_t {
    None,
    Unsupported,  // a method or cipher the library lacks, or an AES member without its field
    LocalHeader,  // no local header, or one that states other facts than the central directory
    Overlap,      // its data runs into another member or the central directory
    Truncated,    // found by walking local headers: the archive ends inside its data
};

// How an archive is opened.
struct OpenOptions {
    bool recover = false;     // walk the local headers when the end record or the central directory fails
    std::string nameCharset;  // code page of names without the UTF-8 flag or a Unicode Path field; empty: CP437
};

// A member's modification time, as memberTime() decides it.
struct ModificationTime {
    std::optional<int64_t> seconds;  // since 1970; none where the DOS time names no moment
    bool utc = false;                // from the extra field rather than the DOS time
};

// The one rule of a member's modification time: the UTC time of its extra field's NTFS or
// extended-timestamp block where one is well-formed (extraFieldTime), else its DOS date and time
// read as local time.
ModificationTime memberTime(uint16_t dosDate, uint16_t dosTime, std::span<const uint8_t> extra,
                            platform::LocalTime& local);

struct Member {
    std::string name;  // UTF-8, never empty
    uint64_t size = 0;
    uint64_t packedSize = 0;  // of the stored data, encryption overhead included
    uint16_t method = 0;      // of the data: an AES member's inner method
    uint16_t flags = 0;
    uint32_t crc32 = 0;
    uint16_t dosDate = 0;
    uint16_t dosTime = 0;
    ModificationTime mtime;  // what listings show and extraction sets
    uint32_t externalAttributes = 0;
    // The permission bits (0777 only) of a member made on a Unix host whose attributes carry a mode.
    std::optional<uint16_t> permissions;
    bool folder = false;
    bool symlink = false;
    bool encrypted = false;
    bool recovered = false;  // found by walking local headers, not in a central directory
    std::optional<AesField> aes;
    uint64_t dataOffset = 0;  // where the stored data starts in the source
    int damage = 0;           // TARROW_E_DAMAGED or TARROW_E_METHOD when the member cannot be read
    Fault fault = Fault::None;
    std::string why;  // what is wrong with it
};

// A member's record from its central directory header (finishCentralHeader): every fact but those its
// local header settles (dataOffset, and damage found there). Callers making many records pass one
// LocalTime for them all; without it, one is made for this record.
Member memberFrom(const CentralHeader& header, platform::LocalTime* local = nullptr);

// A member's stored bytes, in order, from wherever they lie.
class StoredBytes {
public:
    virtual ~StoredBytes() = default;
    // The next count bytes; false when fewer are there (failed tells whether reading failed).
    virtual bool read(uint8_t* dst, size_t count) = 0;
    // The next count bytes where they lie in memory, taken as read; empty when not in memory.
    virtual std::span<const uint8_t> inPlace(size_t count) {
        (void)count;
        return {};
    }
    bool failed = false;  // the archive could not be read, as opposed to ending early
};

// The bytes of source from position on.
std::unique_ptr<StoredBytes> storedBytes(const Source& source, uint64_t position);

// Where a reading puts a member's bytes. A sink may offer memory that takes the whole member at once.
class Sink : public OutputSink {
public:
    // Memory for all of the member's size bytes; empty when the sink takes blocks only.
    virtual std::span<uint8_t> room(uint64_t size) {
        (void)size;
        return {};
    }
    // Bytes a decoder put at the start of room(), handed on as write() would hand them.
    virtual void filled(std::span<const uint8_t> bytes) { (void)bytes; }
};

// One member being read: unlock() checks the password (when the member is encrypted), then decode()
// runs once, with the size and CRC-32 (or authentication code) checked at its end.
class Reading {
public:
    Reading(const Member& member, std::unique_ptr<StoredBytes> bytes);
    ~Reading();
    Reading(const Reading&) = delete;
    Reading& operator=(const Reading&) = delete;

    // TARROW_OK, TARROW_E_NEED_PASSWORD or TARROW_E_PASSWORD; TARROW_E_DATA or TARROW_E_OPEN when the
    // cipher's header is not all there. password may be null.
    int unlock(const char* password);
    int decode(Sink& sink);
    // What the decoder said: InputUnused tells of imploded data that ended before its stored size.
    DecodeStatus status() const { return m_status; }
    // Stored bytes read so far.
    uint64_t storedRead() const;

private:
    class Data;
    int finishAes();

    const Member& m_member;
    std::unique_ptr<Data> m_data;
    std::optional<TraditionalCipher> m_cipher;
    std::optional<AesDecryptor> m_aes;
    uint64_t m_dataSize;  // of the method's data, without cipher header, salt, verifier or code
    bool m_unlocked = false;
    DecodeStatus m_status = DecodeStatus::Ok;
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
    // With `recovered`, the end record is searched for here, and only an archive whose members had
    // to be found by walking local headers is returned, with the walk's members in `recovered`.
    static std::unique_ptr<Archive> forOperation(const Operation& op, std::vector<LocalMember>* recovered = nullptr);

    // Reads the catalogue; TARROW_OK with `out` set, or the code of what failed.
    // With `known`, the end record found already is taken rather than searched for again.
    // With options.recover, an archive whose end record is missing or cut, or whose central directory
    // cannot be read, has the members a walk of its local headers finds (every one marked recovered);
    // when the walk finds none, the code of what failed stays. `found`, when given, receives the
    // walk's members.
    static int open(std::unique_ptr<Source> source, std::unique_ptr<Archive>& out, const OpenOptions& options = {},
                    const EndRecord* known = nullptr, std::vector<LocalMember>* found = nullptr);
    ~Archive();

    const std::vector<Member>& members() const { return m_members; }
    // Whether the members were found by walking local headers.
    bool recovered() const { return m_recovered; }
    const Source& source() const { return *m_source; }
    // Decodes member index into sink. password may be null.
    int read(size_t index, const char* password, Sink& sink) const;

private:
    Archive(std::unique_ptr<Source> source, const OpenOptions& options);
    int readCatalogue(const EndRecord* known);
    bool recover(std::vector<LocalMember>* found);
    void recoverFromInside(std::vector<LocalMember>* found);
    void adopt(std::vector<LocalMember>&& walked, std::vector<LocalMember>* found);
    void checkLocalHeader(Member& member, const CentralFacts& central);
    void checkExtents(const std::vector<CentralFacts>& central, uint64_t directoryStart);

    std::unique_ptr<Source> m_source;
    OpenOptions m_options;
    std::unique_ptr<const CodePage> m_codePage;  // of options.nameCharset, while the catalogue is read
    std::vector<Member> m_members;
    int64_t m_adjustment = 0;  // bytes in front of the archive data
    bool m_recovered = false;
    bool m_endFollowed = false;  // the end record is followed by what its comment does not explain
};

}  // namespace tarrow::core
