// Archive input: the bytes of the archive, whether it lies in one file, spans several disks (each
// disk appears in turn at the archive path), or lies in a memory block. Also finds the archive's
// end record.
//
// Header reads are all-or-nothing: readHeader() reports error 51 unless every byte arrives, so a
// damaged archive never leaves a header with a stale tail. Member data of a single-disk archive is
// read by the archive core (ArchiveCore.h), not through this input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace tarrow {

class Operation;

// ZIP signatures ("PK" followed by two bytes), little-endian.
constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr uint32_t kEndRecordSignature = 0x06054B50;
constexpr uint32_t kSpanningMarker = 0x08074B50;
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;

constexpr size_t kStreamBufferSize = 8192;
constexpr size_t kEndRecordSize = 22;      // with its signature, without the comment
constexpr size_t kCentralHeaderSize = 46;  // with its signature, without name, extra, comment
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kZip64EndSize = 56;  // with its signature, without extensible data
constexpr size_t kZip64LocatorSize = 20;

inline uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t le64(const uint8_t* p) { return uint64_t(le32(p)) | uint64_t(le32(p + 4)) << 32; }

// The fixed part of a local header, as stored (sizes before any zip64 field).
struct LocalFixed {
    uint8_t versionNeeded = 0;
    uint8_t hostNeeded = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    uint32_t crc32 = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint16_t nameLength = 0;
    uint16_t extraLength = 0;
};

// The fields of the kLocalHeaderSize bytes at b, signature included.
inline LocalFixed parseLocalFixed(const uint8_t* b) {
    return {b[4],         b[5],         le16(b + 6),  le16(b + 8),  le16(b + 10), le16(b + 12),
            le32(b + 14), le32(b + 18), le32(b + 22), le16(b + 26), le16(b + 28)};
}

class ArchiveInput {
public:
    explicit ArchiveInput(Operation& op) : m_op(op) {}
    ~ArchiveInput() { close(); }
    ArchiveInput(const ArchiveInput&) = delete;
    ArchiveInput& operator=(const ArchiveInput&) = delete;

    // Opens the archive path for binary reading with an 8192-byte stream buffer; false when it
    // cannot be opened. Memory input needs no opening.
    bool open();
    void close();
    bool isOpen() const { return m_file != nullptr; }
    // Size of the current disk's file (or of the memory block).
    int64_t size() const { return m_size; }

    // Moves to an absolute position on the current disk; false when it lies outside the file.
    bool seek(int64_t position);
    int64_t tell() const;

    // Copies up to count bytes and returns how many arrived. On a multi-disk archive a short read
    // continues on the next disk until count bytes arrived or the last disk is current.
    size_t read(void* dst, size_t count);
    // read() that succeeds only when every byte arrives; reports nothing.
    bool readFully(void* dst, size_t count) { return read(dst, count) == count; }
    // readFully() that raises error 51 naming `file` when the bytes do not all arrive.
    bool readHeader(void* dst, size_t count, const std::string& file);
    // Moves count bytes forward, onto the next disk when the target lies past this one; error 2
    // (reported, not fatal) and false when there is no later disk.
    bool skip(uint64_t count);

    // Disk state. Disks are 0-based here and 1-based in requests (0 asks for the last disk).
    uint16_t currentDisk = 0;
    uint16_t lastDisk = 0;
    bool multiDisk = false;        // the end record's disk number is not 0
    bool spanning = false;         // the first disk starts with the spanning marker
    int64_t offsetAdjustment = 0;  // bytes in front of the archive data (self-extractor stub)

    // Asks the user for disk n (1-based, 0 = the last disk) until the volume label shows it.
    // Cancel or a callback answer of 255 ends the operation (error 255).
    void askForDisk(uint16_t n);
    // Closes the archive and asks for disk (0-based) until it opens there; it becomes current.
    void changeToDisk(uint16_t disk);

    void resetDisks();

private:
    bool nextDisk();

    Operation& m_op;
    std::FILE* m_file = nullptr;
    int64_t m_size = 0;
    uint32_t m_memoryPosition = 0;  // read position in a memory block
    char m_buffer[kStreamBufferSize];
};

// Random access to one disk's bytes, for the end-record search.
class DiskReader {
public:
    virtual ~DiskReader() = default;
    virtual int64_t size() const = 0;
    // Copies count bytes from position; false unless all of them arrive.
    virtual bool readAt(int64_t position, void* dst, size_t count) = 0;
};

struct EndRecord;
// Found: a record whose comment reaches the end of the file; Inexact: only records that something
// follows, of which e holds the last; Truncated: a record found cannot be read whole.
enum class EndSearch { Found, Inexact, None, Truncated };
// Finds the end record in the last `window` bytes and reads it, and the zip64 record it points to,
// into e.
EndSearch locateEndRecord(DiskReader& in, int64_t window, EndRecord& e);
// Bytes in front of the archive data (a self-extractor's program) that shift every offset, as
// measured from where the central directory ends.
int64_t offsetAdjustment(const EndRecord& e);

// Finds the end record (trying the last disk of a spanning archive), fills op.endRecord and the
// disk state, and leaves the archive open. False after an error has been raised.
bool findEndRecord(Operation& op);

}  // namespace tarrow
