#include "Catalogue.h"

#include "ArchiveCore.h"
#include "ExtraField.h"
#include "MemberDecode.h"
#include "NameMatch.h"
#include "NameText.h"
#include "Operation.h"
#include "Messages.h"
#include "Recovery.h"
#include "platform/Files.h"
#include "platform/Host.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

namespace tarrow {

namespace {

constexpr size_t kMaxCommentShown = 1024;
constexpr size_t kMemoryHeaderSize = 14;
constexpr uint8_t kZip64Version = 45;  // the version zip64 needs, and every later one we know
constexpr uint8_t kLastKnownVersion = 63;
constexpr uint16_t kFlagStrongEncryption = 0x40;
constexpr uint16_t kFlagDirectoryEncrypted = 0x2000;

// The method of the data itself: an AES member names it in its 0x9901 field (0xFFFF, not a
// method, when that field is missing or malformed).
uint16_t dataMethod(const CentralHeader& h) {
    if (h.method != kAesMethod) return h.method;
    auto field = findAesField(h.extra);
    return field && field->method != kAesMethod ? field->method : 0xFFFF;
}

// The highest version needed to extract that a member of the method may ask for: 2.0, 2.1 for
// Deflate64, which came with that version, and 6.3 for PPMd.
uint8_t highestVersion(uint16_t method) { return method == kDeflate64 ? 21 : method == kPpmd ? 63 : 20; }

// The archive comment follows the end record: message 11 carries up to 1024 bytes of it.
void readComment(Operation& op) {
    const EndRecord& e = op.endRecord;
    if (e.commentLength == 0) return;
    ArchiveInput& in = op.input;
    const size_t wanted = std::min<size_t>(e.commentLength, kMaxCommentShown);
    char comment[kMaxCommentShown + 1];
    if (!in.seek(e.position + int64_t(kEndRecordSize)) || !in.readFully(comment, wanted)) {
        raiseWarning(op, TARROW_WARNING_COMMENT, op.archiveName());
        return;
    }
    comment[wanted] = '\0';
    // The comment ends at its first NUL as far as the host can see. It comes as stored, or, with a
    // code page chosen for names, as UTF-8 where it is valid in that code page.
    std::string_view text(comment, std::strlen(comment));
    std::optional<std::string> converted;
    if (op.codePage) converted = op.codePage->toUtf8(text, wanted < e.commentLength);
    if (converted) text = *converted;
    Message(op, TARROW_MSG_COMMENT).field(op.archiveName()).number(wanted).tail(text).deliver();
    if (op.settings.displayComment)
        platform::messageBox(op.host.parentWindow, std::string(text), "Comment in " + op.archiveName(), TARROW_BOX_OK);
}

bool readFixedCentralHeader(Operation& op);

bool readExtraField(Operation& op) {
    CentralHeader& h = op.header;
    h.extra.clear();
    if (h.extraLength == 0) return true;
    try {
        h.extra.resize(h.extraLength);
    } catch (const std::bad_alloc&) {
        return op.input.skip(h.extraLength);
    }
    if (op.input.readHeader(h.extra.data(), h.extra.size(), op.archiveName())) return true;
    h.extra.clear();
    return false;
}

MemberEntry entryFor(const CentralHeader& h, uint64_t index, platform::LocalTime& local) {
    MemberEntry m;
    m.record = core::memberFrom(h, &local);
    m.name = h.name;
    m.localHeaderOffset = h.localHeaderOffset;
    m.disk = h.startDisk;
    m.attributes = uint16_t((h.externalAttributes & 0xFF) | TARROW_ATTRIBUTE_ARCHIVE);
    m.centralIndex = index;
    return m;
}

// Versions up to the method's own need nothing the library lacks. From 4.5 (zip64) to 6.3 the
// version says only that zip64 or a newer method or cipher may be in use, and the method and
// flags tell whether one is; later versions are unknown.
bool versionReadable(const CentralHeader& h) {
    if (h.versionNeeded <= highestVersion(h.method)) return true;
    return h.versionNeeded >= kZip64Version && h.versionNeeded <= kLastKnownVersion &&
           !(h.flags & (kFlagStrongEncryption | kFlagDirectoryEncrypted));
}

// A version needed beyond what the method needs, and methods other than ours, are refused.
bool passesChecks(Operation& op, const CentralHeader& h, bool checkVersion) {
    if (checkVersion && !versionReadable(h)) {
        raiseWarning(op, TARROW_WARNING_VERSION, h.name);
        return false;
    }
    if (!supportedMethod(dataMethod(h))) {
        raiseWarning(op, TARROW_WARNING_METHOD, h.name);
        return false;
    }
    return true;
}

void record(Operation& op, const MemberEntry& entry) {
    op.catalogue.push_back(entry);
    op.counters.selectedCompressed += entry.record.packedSize;
    ++op.counters.selected;
}

// Where each member's local header lies, for the overlap check: every member's, selected or not.
class MemberStarts {
public:
    explicit MemberStarts(const EndRecord& e) : m_end(e) {
        // A hostile count cannot reserve more than the directory has room for.
        m_starts.reserve(size_t(std::min<uint64_t>(e.totalEntries, e.centralSize / kCentralHeaderSize)));
    }
    void add(const CentralHeader& h, uint64_t index) { m_starts.push_back({h.startDisk, h.localHeaderOffset, index}); }
    void sort() { std::sort(m_starts.begin(), m_starts.end()); }

    // Where member `index`, starting at (disk, offset), must end: the next member's start or the
    // central directory, whichever comes first on its disk. Of members that share one start, only
    // the first in the directory owns what lies there; the others have no room at all.
    uint64_t limitFor(uint16_t disk, uint64_t offset, uint64_t index) const {
        auto first = std::lower_bound(m_starts.begin(), m_starts.end(), Start{disk, offset, 0});
        if (first != m_starts.end() && first->disk == disk && first->offset == offset && first->index < index)
            return offset;
        uint64_t limit = UINT64_MAX;
        if (disk == m_end.centralStartDisk && m_end.centralOffset >= offset) limit = m_end.centralOffset;
        auto later = std::upper_bound(m_starts.begin(), m_starts.end(), Start{disk, offset, UINT64_MAX});
        if (later != m_starts.end() && later->disk == disk) limit = std::min(limit, later->offset);
        return limit;
    }

private:
    struct Start {
        uint16_t disk;
        uint64_t offset;
        uint64_t index;
        auto operator<=>(const Start&) const = default;
    };
    const EndRecord& m_end;
    std::vector<Start> m_starts;
};

// Selects members from the central directory into the catalogue. False when a header could not be
// read, which ends the operation.
bool walkCentralDirectory(Operation& op) {
    CentralHeader& h = op.header;
    MemberStarts starts(op.endRecord);
    std::vector<uint64_t> indices;  // of the catalogue's entries in the directory
    platform::LocalTime local;
    for (uint64_t i = 0; i < op.endRecord.totalEntries; ++i) {
        if (!readCentralHeader(op, i)) return false;
        starts.add(h, i);
        if (!isSelected(op.includePatterns, op.excludePatterns, h.name, op.settings.restoreStructure)) continue;
        if (passesChecks(op, h, true)) {
            record(op, entryFor(h, i, local));
            indices.push_back(i);
        }
    }
    starts.sort();
    for (size_t k = 0; k < op.catalogue.size(); ++k) {
        MemberEntry& m = op.catalogue[k];
        m.extentLimit = starts.limitFor(m.disk, m.localHeaderOffset, indices[k]);
    }
    return true;
}

// Lists the selected members (message 21), every method and version included. Members whose data
// overlaps another member's or the central directory are listed, and then reported as damage.
void viewCatalogue(Operation& op) {
    CentralHeader& h = op.header;
    MemberStarts starts(op.endRecord);
    struct Listed {
        std::string name;
        uint16_t disk;
        uint64_t offset;
        uint64_t index;
        uint64_t leastEnd;  // its local header without name and extra field, and its data
    };
    std::vector<Listed> listed;
    platform::LocalTime local;
    for (uint64_t i = 0; i < op.endRecord.totalEntries; ++i) {
        if (!readCentralHeader(op, i)) break;
        op.counters.currentIndex = uint32_t(i);
        starts.add(h, i);
        if (isSelected(op.includePatterns, op.excludePatterns, h.name, true)) {
            sendListing(op, h, core::memberTime(h.dosDate, h.dosTime, h.extra, local));
            ++op.counters.processed;
            const uint64_t end = h.localHeaderOffset + kLocalHeaderSize + h.compressedSize;
            listed.push_back({h.name, h.startDisk, h.localHeaderOffset, i, end < h.compressedSize ? UINT64_MAX : end});
        }
        if (i + 1 == op.endRecord.totalEntries) {
            // The end record should follow; a wrong signature there is of no consequence to a listing.
            uint8_t signature[4];
            op.input.readHeader(signature, sizeof signature, op.archiveName());
        }
    }
    // What the core found damaged is said so in the listing as in testing and extraction.
    if (op.core) {
        for (const Listed& m : listed) {
            if (m.index >= op.core->members().size()) continue;
            const core::Fault fault = op.core->members()[m.index].fault;
            if (fault == core::Fault::Overlap || fault == core::Fault::Truncated)
                raiseError(op, TARROW_ERROR_READ, m.name);
            else if (fault == core::Fault::LocalHeader) raiseWarning(op, TARROW_WARNING_LOCAL_HEADER, m.name);
        }
        return;
    }
    starts.sort();
    for (const Listed& m : listed)
        if (m.leastEnd > starts.limitFor(m.disk, m.offset, m.index)) raiseError(op, TARROW_ERROR_READ, m.name);
}

// Positions the input at the central directory, allowing for a shift the end record did not
// reveal. False after error 51 or 3.
bool findCentralDirectory(Operation& op) {
    ArchiveInput& in = op.input;
    EndRecord& e = op.endRecord;
    uint8_t signature[4];
    int64_t start = int64_t(e.centralOffset) + in.offsetAdjustment;
    if (in.seek(start) && in.readFully(signature, 4) && le32(signature) == kCentralHeaderSignature)
        return in.seek(start);
    in.offsetAdjustment = 0;
    start = e.centralOffset;
    if (!in.seek(start) || !in.readFully(signature, 4)) {
        raiseError(op, TARROW_ERROR_READ, op.archiveName());
        return false;
    }
    if (le32(signature) != kCentralHeaderSignature) {
        raiseError(op, TARROW_ERROR_BAD_CENTRAL, op.archiveName());
        return false;
    }
    return in.seek(start);
}

}  // namespace

bool readCentralHeader(Operation& op, uint64_t index) {
    if (!readFixedCentralHeader(op) || !readExtraField(op) || !op.input.skip(op.header.commentLength)) return false;
    finishCentralHeader(op.header, index, op.codePage.get());
    return true;
}

void finishCentralHeader(CentralHeader& h, uint64_t index, const CodePage* codePage) {
    Zip64Fields f{h.uncompressedSize, h.compressedSize, h.localHeaderOffset, h.startDisk};
    applyZip64Central(h.extra, f);
    h.uncompressedSize = f.uncompressedSize;
    h.compressedSize = f.compressedSize;
    h.localHeaderOffset = f.localHeaderOffset;
    h.startDisk = uint16_t(std::min<uint32_t>(f.disk, UINT16_MAX));
    // The name as the host sees it ends at its first NUL.
    // A name longer than kept may have lost the end of its last character.
    const bool cut = h.name.size() < h.nameLength;
    std::string name = textAsUtf8(h.name, h.flags, h.hostSystem, h.extra, kUnicodePathId, codePage, cut);
    name.resize(std::strlen(name.c_str()));
    cutUtf8(name, kMaxNameLength);
    // A name empty after conversion takes the text of a Unicode path field that matches the stored
    // bytes, else a placeholder: no member goes unseen.
    if (name.empty()) {
        if (auto text = unicodeBlockText(h.name, h.extra, kUnicodePathId)) {
            text->resize(std::strlen(text->c_str()));
            cutUtf8(*text, kMaxNameLength);
            name = std::move(*text);
        }
    }
    h.name = name.empty() ? "member-" + std::to_string(index + 1) : std::move(name);
}

void parseCentralFixed(const uint8_t* b, CentralHeader& h) {
    h.versionMadeBy = b[4];
    h.hostSystem = b[5];
    h.versionNeeded = b[6];
    h.hostNeeded = b[7];
    h.flags = le16(b + 8);
    h.method = le16(b + 10);
    h.dosTime = le16(b + 12);
    h.dosDate = le16(b + 14);
    h.crc32 = le32(b + 16);
    h.compressedSize = le32(b + 20);
    h.uncompressedSize = le32(b + 24);
    h.nameLength = le16(b + 28);
    h.extraLength = le16(b + 30);
    h.commentLength = le16(b + 32);
    h.startDisk = le16(b + 34);
    h.internalAttributes = le16(b + 36);
    h.externalAttributes = le32(b + 38);
    h.localHeaderOffset = le32(b + 42);
    h.extra.clear();
}

namespace {

bool readFixedCentralHeader(Operation& op) {
    ArchiveInput& in = op.input;
    const std::string& archive = op.archiveName();
    uint8_t b[kCentralHeaderSize];
    if (!in.readHeader(b, 4, archive)) return false;
    if (le32(b) != kCentralHeaderSignature) {
        raiseError(op, TARROW_ERROR_BAD_CENTRAL, archive);
        return false;
    }
    if (!in.readHeader(b + 4, kCentralHeaderSize - 4, archive)) return false;
    CentralHeader& h = op.header;
    parseCentralFixed(b, h);

    // Names are kept to 1023 bytes; the rest is skipped.
    char name[kNameCapacity];
    size_t kept = std::min<size_t>(h.nameLength, kMaxNameLength);
    if (kept > 0 && !in.readHeader(name, kept, archive)) return false;
    if (h.nameLength > kept && !in.skip(uint32_t(h.nameLength - kept))) return false;
    h.name.assign(name, kept);
    return true;
}

}  // namespace

bool readCatalogue(Operation& op) {
    if (!findEndRecord(op)) return false;
    // The setter took only code pages iconv knows.
    if (op.settings.nameCharset && !(op.codePage = CodePage::open(*op.settings.nameCharset))) throw std::bad_alloc();
    readComment(op);
    ArchiveInput& in = op.input;
    EndRecord& e = op.endRecord;
    if (e.centralStartDisk != in.currentDisk) {
        // A block in memory is one disk: there is no other to ask for.
        if (op.settings.memoryInput()) {
            raiseError(op, TARROW_ERROR_CANNOT_OPEN, op.archiveName());
            return false;
        }
        in.changeToDisk(e.centralStartDisk);
    }
    // A shifted archive whose directory claims offset 0 has its directory right after the shift.
    if (in.offsetAdjustment > 0 && e.centralOffset == 0) {
        if (e.centralSize == 0) return false;
        e.centralOffset = uint64_t(in.offsetAdjustment);
        in.offsetAdjustment = 0;
    }
    if (e.centralSize == 0 || !findCentralDirectory(op)) return false;
    op.core = core::Archive::forOperation(op);
    return op.settings.view || walkCentralDirectory(op);
}

namespace {

// An archive whose end record or central directory fails, read by walking its local headers (with
// recovery on): each member selected is warned of as recovered (warning 30, before its listing or
// its turn in the extraction pass), then listed or taken into the catalogue. False when the archive
// is not one to recover, which leaves it to the usual reading.
bool operateOnRecovered(Operation& op) {
    std::vector<core::LocalMember> found;
    if (op.settings.memoryInput() || !(op.core = core::Archive::forOperation(op, &found))) return false;
    const bool view = op.settings.view;
    platform::LocalTime local;
    for (size_t i = 0; i < found.size(); ++i) {
        const CentralHeader& h = found[i].header;
        if (!isSelected(op.includePatterns, op.excludePatterns, h.name, view || op.settings.restoreStructure)) continue;
        raiseWarning(op, TARROW_WARNING_RECOVERED, h.name);
        if (!view) {
            if (passesChecks(op, h, true)) record(op, entryFor(h, i, local));
            continue;
        }
        op.counters.currentIndex = uint32_t(i);
        sendListing(op, h, op.core->members()[i].mtime);
        ++op.counters.processed;
        // Only the last member found can be cut short by the end of the archive.
        if (op.core->members()[i].fault == core::Fault::Truncated) raiseError(op, TARROW_ERROR_READ, h.name);
    }
    if (!view) runExtractionPass(op);
    return true;
}

}  // namespace

void operateOnArchive(Operation& op) {
    if (op.settings.recover && operateOnRecovered(op)) return;
    if (!readCatalogue(op)) return;
    if (op.settings.view) viewCatalogue(op);
    else runExtractionPass(op);
}

void operateOnMemory(Operation& op) {
    // The block is one member: flags, method, CRC-32, compressed and uncompressed size, data.
    uint8_t b[kMemoryHeaderSize];
    if (!op.input.open() || !op.input.readHeader(b, sizeof b, op.archiveName())) return;
    CentralHeader& h = op.header;
    h = CentralHeader{};
    h.flags = b[0];
    h.method = b[1];
    h.crc32 = le32(b + 2);
    h.compressedSize = le32(b + 6);
    h.uncompressedSize = le32(b + 10);
    h.name = "-";
    if (!passesChecks(op, h, false)) return;
    platform::LocalTime local;
    MemberEntry entry = entryFor(h, 0, local);
    entry.localHeaderOffset = kMemoryHeaderSize;
    record(op, entry);
    extractMemoryMember(op, entry);
}

}  // namespace tarrow
