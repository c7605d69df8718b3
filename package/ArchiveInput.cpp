#include "ArchiveInput.h"

#include "SplitSource.h"
#include "Operation.h"
#include "Messages.h"
#include "platform/Host.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tarrow {

namespace {

constexpr int64_t kSpanningWindow = 70000;  // the end record of a spanning archive lies in its tail
constexpr int64_t kSearchChunk = 0x4000;
constexpr int64_t kSignatureLength = 4;

const uint8_t kEndSignatureBytes[4] = {'P', 'K', 5, 6};

}  // namespace

bool ArchiveInput::open() {
    close();
    const Settings& s = m_op.settings;
    if (s.memoryInput()) {
        m_size = s.memorySize;
        m_memoryPosition = 0;
        return true;
    }
    if (!s.archiveName) return false;
    // The first piece of a byte-split set stands for the whole set.
    m_file = core::isFirstPiece(*s.archiveName) ? core::openSplitStream(*s.archiveName)
                                                : std::fopen(s.archiveName->c_str(), "rb");
    if (!m_file) return false;
    std::setvbuf(m_file, m_buffer, _IOFBF, sizeof m_buffer);
    if (fseeko(m_file, 0, SEEK_END) != 0 || (m_size = ftello(m_file)) < 0 || fseeko(m_file, 0, SEEK_SET) != 0) {
        close();
        return false;
    }
    return true;
}

void ArchiveInput::close() {
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
    m_size = 0;
}

bool ArchiveInput::seek(int64_t position) {
    if (position < 0 || position > m_size) return false;
    if (m_op.settings.memoryInput()) {
        m_memoryPosition = uint32_t(position);
        return true;
    }
    if (!m_file) return false;
    // The stream resynchronises the descriptor on every seek, even to where it already is; the
    // catalogue skips empty fields and members follow one another, so that is the common case.
    if (!std::feof(m_file) && !std::ferror(m_file) && ftello(m_file) == position) return true;
    return fseeko(m_file, position, SEEK_SET) == 0;
}

int64_t ArchiveInput::tell() const {
    if (m_op.settings.memoryInput()) return m_memoryPosition;
    return m_file ? ftello(m_file) : 0;
}

size_t ArchiveInput::read(void* dst, size_t count) {
    const Settings& s = m_op.settings;
    if (s.memoryInput()) {
        size_t n = std::min<size_t>(count, s.memorySize - std::min(m_memoryPosition, s.memorySize));
        std::memcpy(dst, s.memoryBlock + m_memoryPosition, n);
        m_memoryPosition += uint32_t(n);
        return n;
    }
    if (!m_file) return 0;
    auto* out = static_cast<uint8_t*>(dst);
    size_t got = std::fread(out, 1, count, m_file);
    while (got < count && multiDisk && currentDisk < lastDisk) {
        changeToDisk(uint16_t(currentDisk + 1));
        got += std::fread(out + got, 1, count - got, m_file);
    }
    return got;
}

bool ArchiveInput::readHeader(void* dst, size_t count, const std::string& file) {
    if (readFully(dst, count)) return true;
    raiseError(m_op, TARROW_ERROR_READ, file);
    return false;
}

bool ArchiveInput::skip(uint64_t count) {
    if (count > uint64_t(INT64_MAX - std::max<int64_t>(tell(), 0))) {
        seek(m_size);
        raiseError(m_op, TARROW_ERROR_NO_END_RECORD, m_op.archiveName());
        return false;
    }
    int64_t target = tell() + int64_t(count);
    while (target > m_size && multiDisk && currentDisk < lastDisk && !m_op.settings.memoryInput()) {
        target -= m_size;
        changeToDisk(uint16_t(currentDisk + 1));
    }
    if (target <= m_size && seek(target)) return true;
    seek(m_size);
    raiseError(m_op, TARROW_ERROR_NO_END_RECORD, m_op.archiveName());
    return false;
}

void ArchiveInput::askForDisk(uint16_t n) {
    const std::string& archive = m_op.archiveName();
    for (;;) {
        if (m_op.host.hasCallback()) {
            Message(m_op, TARROW_MSG_DISK).field(archive).number(n).deliver();
        } else {
            char text[96];
            if (n == 0)
                std::snprintf(text, sizeof text,
                              "Please insert the LAST disk of this multi-disk archive, then click OK to continue");
            else std::snprintf(text, sizeof text, "Please insert disk #%i, then click OK to continue", int(n));
            if (platform::messageBox(m_op.host.parentWindow, text, "Disk change", TARROW_BOX_OK_CANCEL) !=
                TARROW_BOX_ANSWER_OK)
                raiseError(m_op, TARROW_ERROR_ABORTED, "");
        }
        if (n == 0) return;
        // A disk is known by its volume label, which carries its number as three digits.
        char digits[16];
        std::snprintf(digits, sizeof digits, "%03i", int(n));
        if (platform::volumeLabel(archive).find(digits) != std::string::npos) return;
    }
}

void ArchiveInput::changeToDisk(uint16_t disk) {
    close();
    do askForDisk(uint16_t(disk + 1));
    while (!open());
    currentDisk = disk;
}

void ArchiveInput::resetDisks() {
    close();
    currentDisk = lastDisk = 0;
    multiDisk = spanning = false;
    offsetAdjustment = 0;
}

namespace {

// Searches [size - window, size) from its end in chunks that overlap by a signature's length, and
// returns the first end signature of the first chunk holding one, or -1.
int64_t searchBackwards(DiskReader& in, int64_t window) {
    const int64_t size = in.size();
    const int64_t chunk = std::min({kSearchChunk, window, size});
    if (chunk < kSignatureLength) return -1;
    const int64_t lowest = size - window;
    std::vector<uint8_t> buffer(static_cast<size_t>(chunk));
    for (int64_t end = size;;) {
        int64_t start = std::max(end - chunk, lowest);
        size_t length = size_t(end - start);
        if (!in.readAt(start, buffer.data(), length)) return -1;
        auto hit = std::search(buffer.begin(), buffer.begin() + ptrdiff_t(length), std::begin(kEndSignatureBytes),
                               std::end(kEndSignatureBytes));
        if (hit != buffer.begin() + ptrdiff_t(length)) return start + (hit - buffer.begin());
        if (start == lowest || chunk == kSignatureLength) return -1;
        end = start + kSignatureLength;
    }
}

// Where the locator in front of the end record at `match` says the zip64 end record lies, that
// record is read into e (its 64-bit values replace the record's, saturated or not: writers that
// add the zip64 record mean it). Returns the position it was found at, or -1 when the archive has
// none. The record usually lies just before the locator; with a self-extractor's program in front,
// the locator's offset is short by the program's length, so that place is tried first.
int64_t readZip64EndRecord(DiskReader& in, EndRecord& e, int64_t match) {
    uint8_t l[kZip64LocatorSize];
    if (match < int64_t(kZip64LocatorSize) || !in.readAt(match - int64_t(kZip64LocatorSize), l, sizeof l) ||
        le32(l) != kZip64LocatorSignature)
        return -1;
    const uint64_t stated = le64(l + 8);
    const int64_t adjacent = match - int64_t(kZip64LocatorSize + kZip64EndSize);
    for (int64_t at : {adjacent, stated <= uint64_t(INT64_MAX) ? int64_t(stated) : int64_t(-1)}) {
        uint8_t r[kZip64EndSize];
        if (at < 0 || !in.readAt(at, r, sizeof r) || le32(r) != kZip64EndSignature) continue;
        e.diskNumber = uint16_t(std::min<uint32_t>(le32(r + 16), UINT16_MAX));
        e.centralStartDisk = uint16_t(std::min<uint32_t>(le32(r + 20), UINT16_MAX));
        e.entriesOnDisk = le64(r + 24);
        e.totalEntries = le64(r + 32);
        e.centralSize = le64(r + 40);
        e.centralOffset = le64(r + 48);
        e.zip64 = true;
        return at;
    }
    return -1;
}

// Reads the record at `match` (and the zip64 record it points to) into e; false when its bytes
// cannot all be read.
bool readEndRecord(DiskReader& in, int64_t match, EndRecord& e) {
    uint8_t r[kEndRecordSize];
    if (!in.readAt(match, r, sizeof r)) return false;
    e.diskNumber = le16(r + 4);
    e.centralStartDisk = le16(r + 6);
    e.entriesOnDisk = le16(r + 8);
    e.totalEntries = le16(r + 10);
    e.centralSize = le32(r + 12);
    e.centralOffset = le32(r + 16);
    e.commentLength = le16(r + 20);
    e.position = match;
    e.zip64 = false;
    // The directory ends where the record that describes it begins: the zip64 end record if there
    // is one, else this record.
    e.directoryEnd = match;
    if (int64_t zip64 = readZip64EndRecord(in, e, match); zip64 >= 0) e.directoryEnd = zip64;
    return true;
}

// The archive input as the end-record search reads it.
class InputReader : public DiskReader {
public:
    explicit InputReader(ArchiveInput& in) : m_in(in) {}
    int64_t size() const override { return m_in.size(); }
    bool readAt(int64_t position, void* dst, size_t count) override {
        return m_in.seek(position) && m_in.readFully(dst, count);
    }

private:
    ArchiveInput& m_in;
};

}  // namespace

EndSearch locateEndRecord(DiskReader& in, int64_t window, EndRecord& e) {
    const int64_t size = in.size();
    bool remembered = false;
    for (int64_t match; (match = searchBackwards(in, window)) >= 0;) {
        if (!readEndRecord(in, match, e)) return EndSearch::Truncated;
        if (match + int64_t(kEndRecordSize) + e.commentLength == size) return EndSearch::Found;
        // Something follows the record that its comment does not explain: look for a later one.
        remembered = true;
        window = size - match - 1;
    }
    return remembered ? EndSearch::Inexact : EndSearch::None;
}

int64_t offsetAdjustment(const EndRecord& e) {
    const uint64_t expected = e.centralOffset + e.centralSize;
    return expected < e.centralOffset || expected > uint64_t(INT64_MAX) ? 0 : e.directoryEnd - int64_t(expected);
}

bool findEndRecord(Operation& op) {
    ArchiveInput& in = op.input;
    const std::string& archive = op.archiveName();
    for (;;) {
        if (!op.settings.memoryInput() && platform::pathKind(archive) != platform::PathKind::File) {
            if (in.spanning) {
                in.askForDisk(0);
                continue;
            }
            raiseError(op, TARROW_ERROR_NO_ARCHIVE, archive);
            return false;
        }
        if (!in.open()) {
            if (in.spanning) {
                in.askForDisk(0);
                continue;
            }
            raiseError(op, TARROW_ERROR_CANNOT_OPEN, archive);
            return false;
        }
        if (!in.spanning) {
            uint8_t marker[4];
            in.spanning = in.readFully(marker, 4) && le32(marker) == kSpanningMarker;
        }
        const int64_t size = in.size();
        InputReader reader(in);
        EndRecord& e = op.endRecord;
        switch (locateEndRecord(reader, in.spanning ? std::min(kSpanningWindow, size) : size, e)) {
        case EndSearch::Truncated: raiseError(op, TARROW_ERROR_READ, archive); return false;
        case EndSearch::Inexact:
            if (in.spanning) break;  // the last disk's record explains its tail: ask for that disk
            [[fallthrough]];
        case EndSearch::Found:
            in.currentDisk = in.lastDisk = e.diskNumber;
            in.multiDisk = e.diskNumber != 0;
            // Whatever precedes the archive data (a self-extractor's program) shifts every offset;
            // on a multi-disk archive the offsets belong to other disks and no shift is measured.
            in.offsetAdjustment = in.multiDisk ? 0 : offsetAdjustment(e);
            return true;
        case EndSearch::None: break;
        }
        if (in.spanning) {
            in.close();
            in.askForDisk(0);
            continue;
        }
        raiseError(op, TARROW_ERROR_NO_END_RECORD, archive);
        return false;
    }
}

}  // namespace tarrow
