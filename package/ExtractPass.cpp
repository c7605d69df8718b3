// The extraction pass: for each catalogue entry, its local header, the decision whether it is written
// (target path, existing file, freshen and update, overwrite mode, password), its decoding, the output
// to a file, a device, memory or nowhere (test mode), the CRC check, and the file's time and attributes.
#include "ArchiveCore.h"
#include "ExtraField.h"
#include "MemberDecode.h"
#include "Msdos.h"
#include "Unzip.h"
#include "Utility.h"
#include "crc32.h"
#include "decrypt.h"
#include "inflate.h"
#include "platform/Files.h"
#include "platform/Host.h"
#include "winzip_aes.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <memory>
#include <unistd.h>

namespace tarrow {

namespace {

constexpr uint16_t kFlagDataDescriptor = 8;
constexpr uint16_t kFolderAttribute = 0x10;

// The local header fields a member is extracted with.
struct LocalHeader {
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    uint32_t crc32 = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    std::string name;
};

// Member data as the decoders read it: straight from the archive stream, decrypted when a cipher is set.
class MemberSource : public ByteSource {
public:
    explicit MemberSource(Operation& op) : m_op(op) {}
    std::span<const uint8_t> next() override {
        size_t got = m_op.input.memberData(m_buffer, sizeof m_buffer);
        if (cipher) cipher->decrypt(m_buffer, got);
        else if (aes) aes->decrypt(m_buffer, got);
        return {m_buffer, got};
    }
    // Member bytes as they are stored (an encryption header, a salt, an authentication code);
    // bytes beyond the member's data read as 255. Returns how many were there.
    size_t readRaw(uint8_t* data, size_t size) {
        std::fill(data, data + size, 0xFF);
        for (size_t i = 0; i < size; ++i) {
            int c = m_op.input.memberByte();
            if (c < 0) return i;
            data[i] = uint8_t(c);
        }
        return size;
    }
    TraditionalCipher* cipher = nullptr;
    AesDecryptor* aes = nullptr;

private:
    Operation& m_op;
    uint8_t m_buffer[kStreamBufferSize];
};

}  // namespace

// Sanitised target path: the extract-to folder joined with the member name. No ".." component and no
// absolute prefix survive, so every file lands inside the extract-to folder.
std::string targetPath(const Settings& s, const std::string& stored, bool& folder) {
    std::string base = s.extractTo ? *s.extractTo : "";
    if (!base.empty() && base.back() != '/' && base.back() != '\\') base += '/';
    std::string part = stored;
    if (!s.restoreStructure) {
        size_t cut = part.rfind('/');
        if (cut == std::string::npos) cut = part.rfind('\\');
        if (cut != std::string::npos) part.erase(0, cut + 1);
    }
    folder = part.empty() || part.back() == '/' || part.back() == '\\';
    std::string safe;
    size_t start = 0;
    while (start <= part.size()) {
        size_t end = part.find_first_of("/\\", start);
        if (end == std::string::npos) end = part.size();
        std::string component = part.substr(start, end - start);
        if (!component.empty() && component != "." && component != "..") safe += (safe.empty() ? "" : "/") + component;
        start = end + 1;
    }
    if (safe.empty()) folder = true;
    std::string path = base + safe + (folder && !safe.empty() ? "/" : "");
    for (size_t i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (c == '\\') path[i] = '/';
        else if (c == '*' || c == '<' || c == '>' || c == '?' || c == '|' || c == '"' || c < 32 || c == 127 ||
                 (c == ':' && (i + 1 >= path.size() || (path[i + 1] != '/' && path[i + 1] != '\\'))))
            path[i] = '_';
    }
    return path;
}

namespace {

// What one extraction pass keeps from member to member.
struct PassState {
    platform::OutputFolders folders;
    platform::LocalTime localTime;
    bool deviceUsed = false;
};

// The output routine: CRC of every block, then the block to memory, a file or device, or nowhere.
// Blocks go to the descriptor whole, unbuffered: they come in the window's 32 KB already.
class MemberOutput : public OutputSink {
public:
    MemberOutput(Operation& op, int fd, std::string name, uint64_t size, int progressCode)
        : m_op(op), m_fd(fd), m_name(std::move(name)), m_size(size), m_code(progressCode) {}

    bool write(std::span<const uint8_t> block) override {
        crc = crc32Update(crc, block.data(), block.size());
        written += block.size();
        Settings& s = m_op.settings;
        if (block.empty() || s.test) {
        } else if (s.memoryOutput()) {
            toMemory(s, block);
        } else if (m_fd >= 0 && !platform::writeAll(m_fd, block.data(), block.size())) {
            raiseError(m_op, TARROW_ERROR_WRITE, m_name);
        }
        sendProgress(m_op, m_code, m_name, m_size, written);
        return true;
    }

    // Where a decoder may put the member's limit bytes itself: the memory output, when all of them
    // fit. Bytes decoded there are handed on with wrote() instead of write().
    std::optional<std::span<uint8_t>> memoryTarget(uint64_t limit) const {
        const Settings& s = m_op.settings;
        if (s.test || !s.memoryOutput() || limit > s.outputCapacity - s.outputLength) return std::nullopt;
        return std::span<uint8_t>(s.outputBuffer + s.outputLength, size_t(limit));
    }
    // What write() does for bytes a decoder already put at the start of memoryTarget().
    void wrote(std::span<const uint8_t> bytes) {
        crc = crc32Update(crc, bytes.data(), bytes.size());
        written += bytes.size();
        Settings& s = m_op.settings;
        s.outputLength += uint32_t(bytes.size());
        if (s.outputLength < s.outputCapacity) s.outputBuffer[s.outputLength] = 0;
        sendProgress(m_op, m_code, m_name, m_size, written);
    }

    uint32_t crc = kCrcStart;
    uint64_t written = 0;

private:
    // A block that does not fit is dropped whole and the buffer counts as full from then on.
    static void toMemory(Settings& s, std::span<const uint8_t> block) {
        uint32_t room = s.outputCapacity - s.outputLength;
        if (block.size() <= room) {
            std::memcpy(s.outputBuffer + s.outputLength, block.data(), block.size());
            s.outputLength += uint32_t(block.size());
            if (s.outputLength < s.outputCapacity) s.outputBuffer[s.outputLength] = 0;
        } else {
            if (s.outputLength < s.outputCapacity) s.outputBuffer[s.outputLength] = 0;
            s.outputLength = s.outputCapacity;
        }
    }

    Operation& m_op;
    int m_fd;
    std::string m_name;
    uint64_t m_size;
    int m_code;
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

// The outcome of a decoder that either yields the whole member or fails it: out of memory is fatal,
// anything else raises the method's data warning.
bool finishWholeStream(Operation& op, const LocalHeader& h, DecodeStatus status, int16_t warning, bool& processed) {
    processed = status == DecodeStatus::Ok;
    if (processed) return true;
    if (status == DecodeStatus::NoMemory) raiseError(op, TARROW_ERROR_NO_MEMORY, "");
    raiseWarning(op, warning, h.name);
    return false;
}

// The member's data as the methods decode it. Returns whether the decoder ended without error (so
// that the CRC is checked) and sets `processed` as the member counts.
bool decode(Operation& op, const LocalHeader& h, MemberSource& source, MemberOutput& out, uint64_t limit,
            bool& processed) {
    // A deflated member in memory going to memory is decoded straight from the block into its place.
    if (h.method == kDeflated || h.method == kDeflate64) {
        const std::optional<std::span<uint8_t>> target = source.cipher ? std::nullopt : out.memoryTarget(limit);
        if (target && op.settings.memoryInput()) {
            static thread_local Inflater inflater;
            const DeflateFormat format = h.method == kDeflate64 ? DeflateFormat::Deflate64 : DeflateFormat::Deflate;
            const InflateResult result = inflater.toBuffer(op.input.memberDataInPlace(), *target, format);
            out.wrote(target->first(result.produced));
            return finishWholeStream(op, h, result.status, TARROW_WARNING_INFLATE_CORRUPT, processed);
        }
    }
    const DecodeStatus status = decodeMethod({h.method, h.flags, h.compressedSize}, source, out, limit);
    switch (h.method) {
    case kStored:
    case kShrunk:
        processed = true;
        if (status == DecodeStatus::NoMemory) raiseError(op, TARROW_ERROR_NO_MEMORY, "");
        // More data than declared is corrupt; a shrunk stream that breaks off shows in its CRC.
        if (status == DecodeStatus::TooLong) {
            raiseWarning(op, TARROW_WARNING_CRC, h.name);
            return false;
        }
        return true;
    case kImploded:
        processed = status == DecodeStatus::Ok;
        if (status == DecodeStatus::Ok) return true;
        if (status == DecodeStatus::InputUnused) {
            raiseWarning(op, TARROW_WARNING_IMPLODE_SHORT, h.name);
            return true;
        }
        raiseWarning(op, TARROW_WARNING_IMPLODE_CORRUPT, h.name);
        return false;
    case kDeflated:
    case kDeflate64: return finishWholeStream(op, h, status, TARROW_WARNING_INFLATE_CORRUPT, processed);
    default:  // the catalogue admits only the methods decodeMethod knows
        return finishWholeStream(op, h, status, TARROW_WARNING_DATA_CORRUPT, processed);
    }
}

// Decides whether an existing file at path is replaced: freshen/update by date, else the overwrite mode.
bool mayWrite(Operation& op, const std::string& path, const std::optional<platform::ExistingFile>& existing,
              const LocalHeader& h, uint64_t size) {
    if (!existing) return true;
    Settings& s = op.settings;
    if (s.freshen || s.update) {
        uint32_t member = uint32_t(h.dosDate) << 16 | h.dosTime;
        uint32_t file = uint32_t(existing->dosDate) << 16 | existing->dosTime;
        return member > file;
    }
    if (s.overwrite == TARROW_OVERWRITE_ALWAYS) return true;
    if (s.overwrite == TARROW_OVERWRITE_NEVER) return false;
    int answer =
        askOverwrite(op, path, existing->size, existing->dosDate, existing->dosTime, size, h.dosDate, h.dosTime);
    if (answer == TARROW_OVERWRITE_YES_TO_ALL) s.overwrite = TARROW_OVERWRITE_ALWAYS;
    if (answer == TARROW_OVERWRITE_NO_TO_ALL) s.overwrite = TARROW_OVERWRITE_NEVER;
    return answer == TARROW_OVERWRITE_YES || answer == TARROW_OVERWRITE_YES_TO_ALL;
}

// An encrypted member needs a password that passes the header check. Leaves the cipher set up.
bool passwordFits(Operation& op, const LocalHeader& h, const std::string& shown, MemberSource& source,
                  std::optional<TraditionalCipher>& cipher) {
    if (!op.settings.password) {
        raiseWarning(op, TARROW_WARNING_NO_PASSWORD, shown);
        return false;
    }
    uint8_t header[kEncryptionHeaderSize];
    source.readRaw(header, sizeof header);
    cipher.emplace(*op.settings.password);
    if (!cipher->checkHeader(header, passwordCheckByte(h.crc32, h.dosTime, h.flags & kFlagDataDescriptor))) {
        raiseWarning(op, TARROW_WARNING_PASSWORD, shown);
        return false;
    }
    source.cipher = &*cipher;
    return true;
}

// A WinZip AES member needs a password that derives its verifier. Leaves the source decrypting the
// data between the salt and verifier in front and the authentication code behind.
bool aesPasswordFits(Operation& op, const AesField& field, const std::string& shown, MemberSource& source,
                     AesDecryptor& aes) {
    if (!op.settings.password) {
        raiseWarning(op, TARROW_WARNING_NO_PASSWORD, shown);
        return false;
    }
    // Too short to hold salt, verifier and code: damaged.
    if (op.input.memberBytesLeft < field.overhead()) {
        raiseWarning(op, TARROW_WARNING_CRC, shown);
        return false;
    }
    uint8_t salt[16];
    uint8_t verifier[kAesVerifierSize];
    source.readRaw(salt, field.saltSize());
    source.readRaw(verifier, sizeof verifier);
    if (!aes.start(*op.settings.password, field.strength, {salt, field.saltSize()}, verifier)) {
        raiseWarning(op, TARROW_WARNING_PASSWORD, shown);
        return false;
    }
    op.input.memberBytesLeft -= kAesCodeSize;
    source.aes = &aes;
    return true;
}

// After decoding: the rest of the encrypted data goes through the MAC, whose code must match the
// one stored behind the data.
bool aesAuthentic(Operation& op, MemberSource& source, AesDecryptor& aes) {
    while (!source.next().empty()) {
    }
    op.input.memberBytesLeft = kAesCodeSize;
    uint8_t code[kAesCodeSize];
    return source.readRaw(code, sizeof code) == sizeof code && aes.authentic(code);
}

// Extracts (or tests) one member whose data the input is positioned at.
void extractMember(Operation& op, const MemberEntry& entry, const LocalHeader& h, bool fromMemory, PassState& pass) {
    Settings& s = op.settings;
    op.input.memberBytesLeft = h.compressedSize;
    // No memory buffer holds more than 32-bit sizes: such a member is not decoded only to be
    // dropped, and the buffer counts as full, as for any output that does not fit.
    if (s.memoryOutput() && !s.test && h.uncompressedSize > UINT32_MAX) {
        s.outputLength = s.outputCapacity;
        return;
    }
    const bool toFile = !s.test && !s.memoryOutput();
    const bool toDevice = toFile && s.device;
    std::string path = fromMemory ? "-" : h.name;
    if (toFile && !toDevice && !fromMemory) {
        bool folder = false;
        path = platform::resolveTarget(targetPath(s, h.name, folder));
        // Archives from DOS tools mark folders by the attribute alone, without a trailing "/".
        if (folder || (entry.attributes & kFolderAttribute)) {
            if (!folder) path += '/';
            if (s.restoreStructure) pass.folders.createFolders(path);
            return;
        }
    }
    // One look at the target serves both the overwrite decision and making it writable.
    std::optional<platform::ExistingFile> existing;
    if (toFile && !toDevice) {
        existing = platform::existingFile(path);
        if (!fromMemory && !mayWrite(op, path, existing, h, h.uncompressedSize)) return;
    }
    // Messages name the target path of a file, else the stored name.
    const std::string shown = toFile && !toDevice ? path : h.name;

    MemberSource source(op);
    std::optional<TraditionalCipher> cipher;
    std::optional<AesDecryptor> aes;
    if (entry.aes) {
        if (!aesPasswordFits(op, *entry.aes, shown, source, aes.emplace())) return;
    } else if (entry.encrypted && !passwordFits(op, h, shown, source, cipher)) {
        return;
    }

    int fd = -1;
    if (toDevice) {
        // The first member replaces what the device or file held, later ones follow it.
        fd = ::open(s.device->c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (pass.deviceUsed ? O_APPEND : O_TRUNC), 0666);
        pass.deviceUsed = true;
        if (fd < 0) {
            raiseWarning(op, TARROW_WARNING_CANNOT_CREATE, *s.device);
            return;
        }
    } else if (toFile) {
        if (existing) platform::makeWritable(path, existing->mode);
        fd = pass.folders.createFile(path);
        if (fd < 0) {
            raiseWarning(op, TARROW_WARNING_CANNOT_CREATE, path);
            return;
        }
    }
    OpenOutput output(fd, path, toFile && !toDevice);

    const int startCode = s.test ? TARROW_MSG_TEST_START : TARROW_MSG_EXTRACT_START;
    const int doneCode = s.test ? TARROW_MSG_TEST_DONE : TARROW_MSG_EXTRACT_DONE;
    MemberOutput out(op, fd, shown, h.uncompressedSize, startCode);
    sendProgress(op, startCode, shown, h.uncompressedSize, 0);

    bool processed = false;
    // An AES member's data is that of its real method, without the salt, verifier and code.
    LocalHeader data = h;
    if (entry.aes) {
        data.method = entry.aes->method;
        data.compressedSize -= entry.aes->overhead();
    }
    bool clean = decode(op, data, source, out, h.uncompressedSize, processed);
    // A bad authentication code is a CRC-class failure.
    if (clean && aes && !aesAuthentic(op, source, *aes)) {
        raiseWarning(op, TARROW_WARNING_CRC, shown);
        clean = false;
    }
    if (processed) ++op.counters.processed;
    if (toFile && !toDevice) {
        // Time and mode go on through the descriptor: nothing is written after this point.
        if (auto when = pass.localTime.fromDos(h.dosDate, h.dosTime)) platform::setTime(fd, *when);
        uint16_t attributes = entry.attributes;
        if (s.attributeMask == 0) attributes = 0;
        else attributes &= uint16_t(~((TARROW_ATTRIBUTES_ALL) & ~s.attributeMask));
        platform::setDosAttributes(fd, attributes);
    }
    output.close();
    if (!clean) return;
    // AE-2 members store no CRC: the authentication code alone vouches for them.
    const bool crcStored = !(entry.aes && entry.aes->version == 2);
    if (crcStored && ~out.crc != h.crc32) raiseWarning(op, TARROW_WARNING_CRC, shown);
    sendProgress(op, doneCode, shown, h.uncompressedSize, h.uncompressedSize);
}

// Reads the local header at the entry's offset (allowing for the archive's offset adjustment) and
// leaves the input at the member's data. False, with the warning or error raised, when it cannot.
bool readLocalHeader(Operation& op, const MemberEntry& entry, LocalHeader& h) {
    // What a member is was decided once, by the archive core: one whose local header states other
    // facts than the central directory is damaged, and nothing is written for it.
    if (op.core && entry.centralIndex < op.core->members().size() &&
        op.core->members()[entry.centralIndex].headersDisagree) {
        raiseWarning(op, TARROW_WARNING_LOCAL_HEADER, entry.name);
        return false;
    }
    ArchiveInput& in = op.input;
    const std::string& archive = op.archiveName();
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
    if (!in.readHeader(b + 4, kLocalHeaderSize - 4, archive)) return false;
    h.flags = le16(b + 6);
    h.method = le16(b + 8);
    h.dosTime = le16(b + 10);
    h.dosDate = le16(b + 12);
    h.crc32 = le32(b + 14);
    h.compressedSize = le32(b + 18);
    h.uncompressedSize = le32(b + 22);
    uint16_t nameLength = le16(b + 26), extraLength = le16(b + 28);

    uint8_t extra[UINT16_MAX];
    bool ok =
        (nameLength == 0 || in.skip(nameLength)) && (extraLength == 0 || in.readHeader(extra, extraLength, archive));
    if (!ok) {
        raiseWarning(op, TARROW_WARNING_LOCAL_HEADER, entry.name);
        return false;
    }
    const std::span<const uint8_t> extraField(extra, extraLength);
    // The member is written under the name it was listed and selected by: a local name that differs
    // (a Unicode path field in one header only, or a name changed on purpose) does not count.
    h.name = entry.name;
    // A member written with a data descriptor has its CRC and sizes in the central directory only;
    // saturated sizes come from the zip64 block, or from the central directory when it has none.
    if (h.flags & kFlagDataDescriptor) {
        h.crc32 = entry.crc32;
        h.compressedSize = entry.compressedSize;
        h.uncompressedSize = entry.uncompressedSize;
    } else {
        applyZip64Local(extraField, h.uncompressedSize, h.compressedSize);
        if (h.compressedSize == kSaturated32 || h.uncompressedSize == kSaturated32) {
            h.compressedSize = entry.compressedSize;
            h.uncompressedSize = entry.uncompressedSize;
        }
        // The host listed, checked and budgeted the catalogue's size: a local header that declares
        // more is damaged, and the member is not written (no member outgrows its listing).
        if (h.uncompressedSize > entry.uncompressedSize) {
            raiseWarning(op, TARROW_WARNING_LOCAL_HEADER, h.name);
            return false;
        }
    }
    // Header and data must end before the next member's header and the central directory: members
    // that share their data are how a small archive claims a huge output.
    const uint64_t headerEnd = entry.localHeaderOffset + kLocalHeaderSize + nameLength + extraLength;
    const uint64_t end = headerEnd + h.compressedSize;
    if (headerEnd < entry.localHeaderOffset || end < headerEnd || end > entry.extentLimit) {
        raiseError(op, TARROW_ERROR_READ, h.name);
        return false;
    }
    return true;
}

}  // namespace

void runExtractionPass(Operation& op) {
    PassState pass;
    for (size_t i = 0; i < op.catalogue.size(); ++i) {
        const MemberEntry& entry = op.catalogue[i];
        op.counters.currentIndex = uint32_t(i);
        while (entry.disk != op.input.currentDisk) op.input.changeToDisk(entry.disk);
        LocalHeader h;
        if (readLocalHeader(op, entry, h)) extractMember(op, entry, h, false, pass);
    }
    if (op.settings.test) {
        if (op.errorRaised) raiseWarning(op, TARROW_WARNING_TEST_ERRORS, op.archiveName());
        else if (op.counters.processed == 0) raiseError(op, TARROW_ERROR_NOTHING_DONE, op.archiveName());
    }
}

bool extractMemberToBuffer(Operation& op, const MemberEntry& entry, uint64_t bound, MemberBuffer& buffer) {
    buffer.length = 0;
    LocalHeader h;
    if (!readLocalHeader(op, entry, h)) return false;
    // The header's size sizes the buffer, so it must stay within what the catalogue promised.
    if (h.uncompressedSize > bound || h.uncompressedSize >= UINT32_MAX) {
        raiseWarning(op, TARROW_WARNING_LOCAL_HEADER, h.name);
        return false;
    }
    const size_t size = size_t(h.uncompressedSize);
    if (!buffer.data || buffer.capacity < size || buffer.capacity == 0) {
        buffer.capacity = std::max<size_t>(size, 1);
        buffer.data.reset(new uint8_t[buffer.capacity]);
    }
    Settings& s = op.settings;
    struct Restore {
        Settings& s;
        ~Restore() { s.outputBuffer = nullptr, s.outputCapacity = s.outputLength = 0; }
    } restore{s};
    s.outputBuffer = buffer.data.get();
    s.outputCapacity = uint32_t(size);
    s.outputLength = 0;
    const int16_t warningBefore = op.lastWarning;
    op.lastWarning = 0;
    PassState pass;
    extractMember(op, entry, h, false, pass);
    buffer.length = s.outputLength;
    const bool clean = op.lastWarning == 0;
    if (clean) op.lastWarning = warningBefore;
    return clean;
}

void extractMemoryMember(Operation& op, const MemberEntry& entry, const CentralHeader& header) {
    LocalHeader h;
    h.flags = header.flags;
    h.method = header.method;
    h.crc32 = header.crc32;
    h.compressedSize = header.compressedSize;
    h.uncompressedSize = header.uncompressedSize;
    h.name = "-";
    PassState pass;
    op.input.seek(entry.localHeaderOffset);
    extractMember(op, entry, h, true, pass);
    if (op.settings.test && op.errorRaised) raiseWarning(op, TARROW_WARNING_TEST_ERRORS, op.archiveName());
}

}  // namespace tarrow
