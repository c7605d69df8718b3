// The extraction pass of the flat interface: for each catalogue entry, whether it is written (target
// path, existing file, freshen and update, overwrite mode) and where to (a file, a device, memory, or
// nowhere in test mode), with the messages and warnings the flat interface gives. What a member is and
// how it decodes is the archive core's (ArchiveCore.h); this file adapts its verdicts. Archives that
// span disks have no core: their local headers are read here, and their data goes through the same
// core::Reading.
#include "ArchiveCore.h"
#include "ExtraField.h"
#include "Overwrite.h"
#include "Operation.h"
#include "Messages.h"
#include "platform/Files.h"
#include "platform/Host.h"

#include "base/MemberPath.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <unistd.h>

namespace tarrow {

namespace {

constexpr uint16_t kFlagDataDescriptor = 8;
constexpr uint16_t kFolderAttribute = 0x10;

}  // namespace

// Sanitised target path: the extract-to folder joined with the member name as base/MemberPath makes
// it, so that every file lands inside the extract-to folder.
std::string targetPath(const Settings& s, const std::string& stored, bool& folder) {
    std::string base = s.extractTo ? *s.extractTo : "";
    if (!base.empty() && base.back() != '/' && base.back() != '\\') base += '/';
    std::string part = stored;
    if (!s.restoreStructure) {
        size_t cut = part.rfind('/');
        if (cut == std::string::npos) cut = part.rfind('\\');
        if (cut != std::string::npos) part.erase(0, cut + 1);
    }
    // The folder's own name goes through the same replacement, as it always has.
    veltrane::ReplaceUnfitCharacters(base);
    return base + veltrane::SafeRelativePath(part, folder);
}

namespace {

// What one extraction pass keeps from member to member. Folders get their permission bits when the
// pass ends, also when an error ends it early.
struct PassState {
    platform::OutputFolders folders;
    platform::FolderModes folderModes;
    bool deviceUsed = false;
};

// Where the flat interface's member bytes go: memory, a file or device, or nowhere (test mode), with
// a progress message after each block. Blocks go to the descriptor whole, unbuffered: they come in
// the window's 32 KB already.
class PassSink : public core::Sink {
public:
    PassSink(Operation& op, const core::Reading& reading, int fd, std::string name, uint64_t size, int progressCode)
        : m_op(op),
          m_reading(reading),
          m_fd(fd),
          m_name(std::move(name)),
          m_size(size),
          m_code(progressCode),
          m_readBefore(op.counters.compressedRead) {}

    bool write(std::span<const uint8_t> block) override {
        Settings& s = m_op.settings;
        if (block.empty() || s.test) {
        } else if (s.memoryOutput()) {
            toMemory(s, m_op.counters.outputLength, block);
        } else if (m_fd >= 0 && !platform::writeAll(m_fd, block.data(), block.size())) {
            raiseError(m_op, TARROW_ERROR_WRITE, m_name);
        }
        progress(block.size());
        return true;
    }
    // The memory output takes a member that fits whole.
    std::span<uint8_t> room(uint64_t size) override {
        const Settings& s = m_op.settings;
        const uint32_t length = m_op.counters.outputLength;
        if (s.test || !s.memoryOutput() || size > s.outputCapacity - length) return {};
        return {s.outputBuffer + length, size_t(size)};
    }
    void filled(std::span<const uint8_t> bytes) override {
        Settings& s = m_op.settings;
        uint32_t& length = m_op.counters.outputLength;
        length += uint32_t(bytes.size());
        if (length < s.outputCapacity) s.outputBuffer[length] = 0;
        progress(bytes.size());
    }

private:
    void progress(size_t bytes) {
        m_written += bytes;
        m_op.counters.compressedRead = m_readBefore + m_reading.storedRead();
        sendProgress(m_op, m_code, m_name, m_size, m_written);
    }
    // A block that does not fit is dropped whole and the buffer counts as full from then on.
    static void toMemory(const Settings& s, uint32_t& length, std::span<const uint8_t> block) {
        uint32_t room = s.outputCapacity - length;
        if (block.size() <= room) {
            std::memcpy(s.outputBuffer + length, block.data(), block.size());
            length += uint32_t(block.size());
            if (length < s.outputCapacity) s.outputBuffer[length] = 0;
        } else {
            if (length < s.outputCapacity) s.outputBuffer[length] = 0;
            length = s.outputCapacity;
        }
    }

    Operation& m_op;
    const core::Reading& m_reading;
    int m_fd;
    std::string m_name;
    uint64_t m_size;
    int m_code;
    uint64_t m_readBefore;
    uint64_t m_written = 0;
};

// An output file that is deleted unless the member's extraction ends normally.
class OpenOutput {
public:
    OpenOutput(int fd, std::string path, bool removeOnFailure)
        : fd(fd), m_path(std::move(path)), m_remove(removeOnFailure) {}
    ~OpenOutput() {
        if (fd >= 0) ::close(fd);
        if (fd >= 0 && m_remove) ::unlink(m_path.c_str());
    }
    void close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    int fd;

private:
    std::string m_path;
    bool m_remove;
};

// Decides whether an existing file at path is replaced: freshen/update by date, else the overwrite mode.
bool mayWrite(Operation& op, const std::string& path, const std::optional<platform::ExistingFile>& existing,
              const core::Member& m) {
    if (!existing) return true;
    Settings& s = op.settings;
    // A member without a time is never the newer.
    if (s.freshen || s.update) return m.mtime.seconds.value_or(INT64_MIN) > existing->mtime;
    if (s.overwrite == TARROW_OVERWRITE_ALWAYS) return true;
    if (s.overwrite == TARROW_OVERWRITE_NEVER) return false;
    int answer = askOverwrite(op, path, existing->size, dosDateText(existing->dosDate, existing->dosTime), m.size,
                              timeText(m.mtime, m.dosDate, m.dosTime));
    if (answer == TARROW_OVERWRITE_YES_TO_ALL) s.overwrite = TARROW_OVERWRITE_ALWAYS;
    if (answer == TARROW_OVERWRITE_NO_TO_ALL) s.overwrite = TARROW_OVERWRITE_NEVER;
    return answer == TARROW_OVERWRITE_YES || answer == TARROW_OVERWRITE_YES_TO_ALL;
}

// The warning of a password the core refused; false when there is none.
bool unlocked(Operation& op, core::Reading& reading, const std::string& shown) {
    const Settings& s = op.settings;
    switch (reading.unlock(s.password ? s.password->c_str() : nullptr)) {
    case TARROW_OK: return true;
    case TARROW_E_NEED_PASSWORD: raiseWarning(op, TARROW_WARNING_NO_PASSWORD, shown); return false;
    case TARROW_E_PASSWORD: raiseWarning(op, TARROW_WARNING_PASSWORD, shown); return false;
    default: raiseWarning(op, TARROW_WARNING_CRC, shown); return false;  // too short to hold the cipher's header
    }
}

// The warnings of a decoded member, as the flat interface has them. Returns whether the member counts
// as processed; `done` tells whether its end is reported (also after a CRC mismatch).
bool reportDecoded(Operation& op, const core::Member& m, const core::Reading& reading, int code,
                   const std::string& shown, bool& done) {
    const DecodeStatus status = reading.status();
    const bool copied = m.method == kStored || m.method == kShrunk;
    const bool decoderFailed = status != DecodeStatus::Ok && status != DecodeStatus::InputUnused;
    done = code == TARROW_OK || (!decoderFailed && (code == TARROW_E_SIZE || (code == TARROW_E_CRC && !m.aes)));
    if (m.method == kImploded && status == DecodeStatus::InputUnused)
        raiseWarning(op, TARROW_WARNING_IMPLODE_SHORT, shown);
    if (code == TARROW_E_NO_MEMORY) raiseError(op, TARROW_ERROR_NO_MEMORY, "");
    if (code == TARROW_OK) return true;
    if (copied || (!decoderFailed && code != TARROW_E_DATA && code != TARROW_E_OPEN)) {
        raiseWarning(op, TARROW_WARNING_CRC, shown);
    } else {
        // Corrupt data, or data the archive does not hold whole.
        raiseWarning(op,
                     m.method == kImploded                             ? TARROW_WARNING_IMPLODE_CORRUPT
                     : m.method == kDeflated || m.method == kDeflate64 ? TARROW_WARNING_INFLATE_CORRUPT
                                                                       : TARROW_WARNING_DATA_CORRUPT,
                     shown);
    }
    return status == DecodeStatus::Ok || copied;
}

// Where a member goes and under which name its messages show it.
struct Target {
    bool toFile = false;
    bool toDevice = false;
    std::string path;   // of the file, else the stored name
    std::string shown;  // messages name the target path of a file, else the stored name
    std::optional<platform::ExistingFile> existing;
};

// The member's target; false when nothing is to be written (a folder, or a file to be kept).
bool chooseTarget(Operation& op, const MemberEntry& entry, const core::Member& m, bool fromMemory, PassState& pass,
                  Target& t) {
    const Settings& s = op.settings;
    t.toFile = !s.test && !s.memoryOutput();
    t.toDevice = t.toFile && s.device;
    t.path = fromMemory ? "-" : entry.name;
    if (t.toFile && !t.toDevice && !fromMemory) {
        bool folder = false;
        t.path = platform::resolveTarget(targetPath(s, entry.name, folder));
        // Archives from DOS tools mark folders by the attribute alone, without a trailing "/".
        if (folder || (entry.attributes & kFolderAttribute)) {
            if (!folder) t.path += '/';
            if (s.restoreStructure) {
                pass.folders.createFolders(t.path);
                if (s.restorePermissions && m.permissions) pass.folderModes.add(t.path, *m.permissions);
            }
            return false;
        }
    }
    // One look at the target serves both the overwrite decision and making it writable.
    if (t.toFile && !t.toDevice) {
        t.existing = platform::existingFile(t.path);
        if (!fromMemory && !mayWrite(op, t.path, t.existing, m)) return false;
    }
    t.shown = t.toFile && !t.toDevice ? t.path : entry.name;
    return true;
}

// The output descriptor of a target written to a file or device; -1 otherwise, and after the warning
// of one that cannot be made (failed set).
int openTarget(Operation& op, const Target& t, PassState& pass, bool& failed) {
    const Settings& s = op.settings;
    failed = false;
    int fd = -1;
    if (t.toDevice) {
        // The first member replaces what the device or file held, later ones follow it.
        fd = ::open(s.device->c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (pass.deviceUsed ? O_APPEND : O_TRUNC), 0666);
        pass.deviceUsed = true;
        if (fd < 0) raiseWarning(op, TARROW_WARNING_CANNOT_CREATE, *s.device);
    } else if (t.toFile) {
        if (t.existing) platform::makeWritable(t.path, t.existing->mode);
        fd = pass.folders.createFile(t.path);
        if (fd < 0) raiseWarning(op, TARROW_WARNING_CANNOT_CREATE, t.path);
    }
    failed = (t.toFile || t.toDevice) && fd < 0;
    return fd;
}

// Extracts (or tests) one member whose stored bytes `bytes` reads.
void extractMember(Operation& op, const MemberEntry& entry, const core::Member& m,
                   std::unique_ptr<core::StoredBytes> bytes, bool fromMemory, PassState& pass) {
    Settings& s = op.settings;
    // No memory buffer holds more than 32-bit sizes: such a member is not decoded only to be
    // dropped, and the buffer counts as full, as for any output that does not fit.
    if (s.memoryOutput() && !s.test && m.size > UINT32_MAX) {
        op.counters.outputLength = s.outputCapacity;
        return;
    }
    Target t;
    if (!chooseTarget(op, entry, m, fromMemory, pass, t)) return;
    core::Reading reading(m, std::move(bytes));
    if (!unlocked(op, reading, t.shown)) return;
    bool failed = false;
    const int fd = openTarget(op, t, pass, failed);
    if (failed) return;
    OpenOutput output(fd, t.path, t.toFile && !t.toDevice);

    const int startCode = s.test ? TARROW_MSG_TEST_START : TARROW_MSG_EXTRACT_START;
    const int doneCode = s.test ? TARROW_MSG_TEST_DONE : TARROW_MSG_EXTRACT_DONE;
    PassSink out(op, reading, fd, t.shown, m.size, startCode);
    sendProgress(op, startCode, t.shown, m.size, 0);
    const int code = reading.decode(out);
    bool done = false;
    if (reportDecoded(op, m, reading, code, t.shown, done)) ++op.counters.processed;
    if (t.toFile && !t.toDevice) {
        // Time and mode go on through the descriptor: nothing is written after this point. A member
        // with Unix permission bits gets them, when asked for, instead of the DOS attribute rules; a
        // link is written as a file holding its target, with no mode of its own.
        if (m.mtime.seconds) platform::setTime(fd, *m.mtime.seconds);
        if (s.restorePermissions && m.permissions) {
            if (!m.symlink) platform::setPermissions(fd, t.path, *m.permissions);
        } else {
            uint16_t attributes = entry.attributes;
            if (s.attributeMask == 0) attributes = 0;
            else attributes &= uint16_t(~((TARROW_ATTRIBUTES_ALL) & ~s.attributeMask));
            platform::setDosAttributes(fd, attributes);
        }
    }
    output.close();
    if (done) sendProgress(op, doneCode, t.shown, m.size, m.size);
}

// The stored bytes of a member of an archive that spans disks, where the input stands.
class InputBytes : public core::StoredBytes {
public:
    explicit InputBytes(ArchiveInput& input) : m_input(input) {}
    bool read(uint8_t* dst, size_t count) override {
        failed = !m_input.readFully(dst, count);
        return !failed;
    }

private:
    ArchiveInput& m_input;
};

// A member of an archive that spans disks: its local header, read at the entry's offset on the current
// disk, settles what the central directory leaves open, and the input is left at its data. False, with
// the warning or error raised, when it cannot be read.
bool readSpannedHeader(Operation& op, const MemberEntry& entry, core::Member& m) {
    ArchiveInput& in = op.input;
    uint8_t b[kLocalHeaderSize];
    bool found = in.seek(int64_t(entry.localHeaderOffset) + in.offsetAdjustment) && in.readFully(b, 4);
    if (!found && in.offsetAdjustment != 0 && in.seek(entry.localHeaderOffset) && in.readFully(b, 4)) {
        in.offsetAdjustment = 0;
        found = true;
    }
    // The warning names the member whose header it is, so that a host can tell which one is lost.
    if (!found || le32(b) != kLocalHeaderSignature) {
        raiseWarning(op, TARROW_WARNING_LOCAL_HEADER, entry.name);
        return false;
    }
    if (!in.readHeader(b + 4, kLocalHeaderSize - 4, op.archiveName())) return false;
    const LocalFixed local = parseLocalFixed(b);
    const uint16_t flags = local.flags, nameLength = local.nameLength, extraLength = local.extraLength;
    uint64_t packed = local.compressedSize, size = local.uncompressedSize;
    uint8_t extra[UINT16_MAX];
    if (!in.skip(nameLength) || !in.readHeader(extra, extraLength, op.archiveName())) {
        raiseWarning(op, TARROW_WARNING_LOCAL_HEADER, entry.name);
        return false;
    }
    applyZip64Local({extra, extraLength}, size, packed);
    // A member written with a data descriptor has its CRC and sizes in the central directory only.
    if (!(flags & kFlagDataDescriptor) && size != kSaturated32 && packed != kSaturated32) {
        // No member outgrows its listing.
        if (size > m.size) {
            raiseWarning(op, TARROW_WARNING_LOCAL_HEADER, entry.name);
            return false;
        }
        m.crc32 = le32(b + 14);
        m.size = size;
        m.packedSize = packed;
    }
    const uint64_t headerEnd = entry.localHeaderOffset + kLocalHeaderSize + nameLength + extraLength;
    const uint64_t end = headerEnd + m.packedSize;
    if (end < headerEnd || end > entry.extentLimit) {
        raiseError(op, TARROW_ERROR_READ, entry.name);
        return false;
    }
    return true;
}

// The core's record of a catalogue entry and a reader of its stored bytes; false, with the fault
// reported, when it cannot be read.
bool prepareMember(Operation& op, const MemberEntry& entry, core::Member& m,
                   std::unique_ptr<core::StoredBytes>& bytes) {
    if (!op.core) {
        m = entry.record;
        if (!readSpannedHeader(op, entry, m)) return false;
        bytes = std::make_unique<InputBytes>(op.input);
        return true;
    }
    m = op.core->members()[entry.centralIndex];
    switch (m.fault) {
    case core::Fault::None: bytes = core::storedBytes(op.core->source(), m.dataOffset); return true;
    case core::Fault::Overlap:
    case core::Fault::Truncated: raiseError(op, TARROW_ERROR_READ, entry.name); return false;
    case core::Fault::Unsupported: raiseWarning(op, TARROW_WARNING_METHOD, entry.name); return false;
    case core::Fault::LocalHeader: raiseWarning(op, TARROW_WARNING_LOCAL_HEADER, entry.name); return false;
    }
    return false;
}

}  // namespace

void runExtractionPass(Operation& op) {
    PassState pass;
    for (size_t i = 0; i < op.catalogue.size(); ++i) {
        const MemberEntry& entry = op.catalogue[i];
        op.counters.currentIndex = uint32_t(i);
        while (entry.disk != op.input.currentDisk) op.input.changeToDisk(entry.disk);
        core::Member m;
        std::unique_ptr<core::StoredBytes> bytes;
        if (prepareMember(op, entry, m, bytes)) extractMember(op, entry, m, std::move(bytes), false, pass);
    }
    if (op.settings.test) {
        if (op.errorRaised) raiseWarning(op, TARROW_WARNING_TEST_ERRORS, op.archiveName());
        else if (op.counters.processed == 0) raiseError(op, TARROW_ERROR_NOTHING_DONE, op.archiveName());
    }
}

void extractMemoryMember(Operation& op, const MemberEntry& entry) {
    PassState pass;
    const core::Member& m = entry.record;
    const std::span<const uint8_t> block(op.settings.memoryBlock, op.settings.memorySize);
    const std::unique_ptr<core::Source> source = core::memorySource(block);
    extractMember(op, entry, m, core::storedBytes(*source, entry.localHeaderOffset), true, pass);
    if (op.settings.test && op.errorRaised) raiseWarning(op, TARROW_WARNING_TEST_ERRORS, op.archiveName());
}

}  // namespace tarrow
