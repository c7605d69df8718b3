#include "ArchiveCore.h"

#include "Catalogue.h"
#include "ExtraField.h"
#include "ArchiveInput.h"
#include "NameText.h"
#include "Recovery.h"
#include "SplitSource.h"
#include "Operation.h"
#include "crc32.h"
#include "decrypt.h"
#include "inflate.h"
#include "platform/Files.h"
#include "tarrow_archive.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tarrow::core {

namespace {

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDescriptor = 0x0008;
constexpr uint16_t kFlagStrongEncryption = 0x0040;
constexpr uint16_t kFlagDirectoryEncrypted = 0x2000;
// Flags that change how the data is read: a header that disagrees on them is not trusted.
constexpr uint16_t kCipherFlags = kFlagEncrypted | kFlagStrongEncryption;
constexpr uint32_t kFolderAttribute = 0x10;
constexpr uint8_t kUnixHost = 3;
constexpr uint32_t kUnixTypeMask = 0170000, kUnixFolder = 0040000, kUnixLink = 0120000;
constexpr uint16_t kPermissionBits = 0777;  // never set-user-ID, set-group-ID or sticky

class FileSource : public Source {
public:
    FileSource(int fd, uint64_t size) : m_fd(fd), m_size(size) {}
    ~FileSource() override { ::close(m_fd); }
    uint64_t size() const override { return m_size; }
    bool readAt(uint64_t position, void* dst, size_t count) const override {
        auto* out = static_cast<uint8_t*>(dst);
        if (position > m_size || count > m_size - position) return false;
        while (count > 0) {
            const ssize_t n = ::pread(m_fd, out, count, off_t(position));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            out += n, position += uint64_t(n), count -= size_t(n);
        }
        return true;
    }

private:
    int m_fd;
    uint64_t m_size;
};

class BlockSource : public Source {
public:
    explicit BlockSource(std::span<const uint8_t> block) : m_block(block) {}
    uint64_t size() const override { return m_block.size(); }
    bool readAt(uint64_t position, void* dst, size_t count) const override {
        if (position > m_block.size() || count > m_block.size() - position) return false;
        if (count) std::memcpy(dst, m_block.data() + position, count);
        return true;
    }
    std::span<const uint8_t> block() const override { return m_block; }

private:
    std::span<const uint8_t> m_block;
};

// A source as the end-record search reads it.
class SourceReader : public DiskReader {
public:
    explicit SourceReader(const Source& source) : m_source(source) {}
    int64_t size() const override { return int64_t(std::min<uint64_t>(m_source.size(), INT64_MAX)); }
    bool readAt(int64_t position, void* dst, size_t count) override {
        return position >= 0 && m_source.readAt(uint64_t(position), dst, count);
    }

private:
    const Source& m_source;
};

std::string format(const char* pattern, auto... values) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

void markDamaged(Member& m, Fault fault, std::string why) {
    if (m.damage) return;  // the first finding stands
    m.damage = fault == Fault::Unsupported ? TARROW_E_METHOD : TARROW_E_DAMAGED;
    m.fault = fault;
    m.why = std::move(why);
}

// A local header's value of a size or CRC that the central directory's must equal: zero with a data
// descriptor, and a size saturated without a zip64 field to resolve it, state nothing.
bool disagrees(uint64_t local, uint64_t central, bool descriptor) {
    if (local == kSaturated32 || (descriptor && local == 0)) return false;
    return local != central;
}

// Whether a local header names the member as the central directory does: by the same bytes, or,
// as writers that keep the Unicode path in both headers do, by the same text.
bool sameName(std::string_view local, uint16_t localFlags, std::span<const uint8_t> localExtra,
              const CentralFacts& central, const CodePage* codePage) {
    if (local == central.stored) return true;
    if (textAsUtf8(local, localFlags, central.host, localExtra, kUnicodePathId, codePage) == central.name) return true;
    auto block = findExtraBlock(localExtra, kUnicodePathId);
    return block && block->size() >= 5 &&
           std::string_view(reinterpret_cast<const char*>(block->data() + 5), block->size() - 5) == central.name;
}

}  // namespace

ModificationTime memberTime(uint16_t dosDate, uint16_t dosTime, std::span<const uint8_t> extra,
                            platform::LocalTime& local) {
    if (auto when = extraFieldTime(extra, dosDate)) return {when, true};
    return {local.fromDos(dosDate, dosTime), false};
}

Member memberFrom(const CentralHeader& h, platform::LocalTime* local) {
    Member m;
    m.name = h.name;
    m.size = h.uncompressedSize;
    m.packedSize = h.compressedSize;
    m.flags = h.flags;
    m.crc32 = h.crc32;
    m.dosDate = h.dosDate;
    m.dosTime = h.dosTime;
    platform::LocalTime own;
    m.mtime = memberTime(h.dosDate, h.dosTime, h.extra, local ? *local : own);
    m.externalAttributes = h.externalAttributes;
    if (h.hostSystem == kUnixHost && (h.externalAttributes >> 16) != 0)
        m.permissions = uint16_t((h.externalAttributes >> 16) & kPermissionBits);
    m.encrypted = h.flags & kFlagEncrypted;
    m.method = h.method;
    const uint32_t unixType = (h.externalAttributes >> 16) & kUnixTypeMask;
    const char last = h.name.empty() ? '\0' : h.name.back();
    m.folder = last == '/' || last == '\\' || (h.externalAttributes & kFolderAttribute) ||
               (h.hostSystem == kUnixHost && unixType == kUnixFolder);
    m.symlink = h.hostSystem == kUnixHost && unixType == kUnixLink;
    if (h.method == kAesMethod) {
        m.aes = findAesField(h.extra);
        if (m.aes) m.method = m.aes->method;
        else markDamaged(m, Fault::Unsupported, "AES member without a readable 0x9901 field");
    }
    if (h.flags & (kFlagStrongEncryption | kFlagDirectoryEncrypted))
        markDamaged(m, Fault::Unsupported, "strong encryption is not supported");
    if (!supportedMethod(m.method)) markDamaged(m, Fault::Unsupported, format("method %u is not supported", m.method));
    return m;
}

std::unique_ptr<Source> fileSource(const char* path, int& code) {
    if (isFirstPiece(path)) return splitSource(path, code);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        if (fd >= 0) ::close(fd);
        code = TARROW_E_OPEN;
        return nullptr;
    }
    return std::make_unique<FileSource>(fd, uint64_t(status.st_size));
}

std::unique_ptr<Source> memorySource(std::span<const uint8_t> block) { return std::make_unique<BlockSource>(block); }

int Archive::open(std::unique_ptr<Source> source, std::unique_ptr<Archive>& out, const OpenOptions& options,
                  const EndRecord* known, std::vector<LocalMember>* found) {
    if (!source) return TARROW_E_ARGUMENT;
    try {
        std::unique_ptr<Archive> archive(new Archive(std::move(source), options));
        if (!options.nameCharset.empty() && !(archive->m_codePage = CodePage::open(options.nameCharset)))
            return TARROW_E_ARGUMENT;
        const int code = archive->readCatalogue(known);
        // A missing or cut end record, and a directory that is not where it says or cannot be read,
        // are what a walk of the local headers gets around.
        const bool recoverable = code == TARROW_E_NOT_ZIP || code == TARROW_E_DIRECTORY || code == TARROW_E_OPEN;
        if (code != TARROW_OK && !(options.recover && recoverable && archive->recover(found))) return code;
        // An end record that something follows, or whose offsets need a shift, may be one of an archive
        // stored inside a member.
        if (code == TARROW_OK && options.recover && (archive->m_endFollowed || archive->m_adjustment != 0))
            archive->recoverFromInside(found);
        archive->m_codePage.reset();  // names are all decided
        out = std::move(archive);
        return TARROW_OK;
    } catch (const std::bad_alloc&) {
        return TARROW_E_NO_MEMORY;
    }
}

Archive::Archive(std::unique_ptr<Source> source, const OpenOptions& options)
    : m_source(std::move(source)), m_options(options) {}

Archive::~Archive() = default;

std::unique_ptr<Archive> Archive::forOperation(const Operation& op, std::vector<LocalMember>* recovered) {
    const Settings& s = op.settings;
    if (op.input.multiDisk) return nullptr;
    int code = TARROW_OK;
    std::unique_ptr<Source> source = s.memoryInput() ? memorySource({s.memoryBlock, s.memorySize})
                                     : s.archiveName ? fileSource(s.archiveName->c_str(), code)
                                                     : nullptr;
    OpenOptions options;
    options.recover = s.recover;
    options.nameCharset = s.nameCharset.value_or("");
    std::unique_ptr<Archive> archive;
    const EndRecord* known = recovered ? nullptr : &op.endRecord;
    if (source && open(std::move(source), archive, options, known, recovered) != TARROW_OK) archive.reset();
    if (recovered && archive && !archive->recovered()) archive.reset();
    return archive;
}

int Archive::readCatalogue(const EndRecord* known) {
    SourceReader reader(*m_source);
    EndRecord e;
    if (known) {
        e = *known;
    } else if (const EndSearch found = locateEndRecord(reader, reader.size(), e);
               found == EndSearch::None || found == EndSearch::Truncated) {
        return TARROW_E_NOT_ZIP;
    } else {
        m_endFollowed = found == EndSearch::Inexact;
    }
    if (e.diskNumber != 0 || e.centralStartDisk != 0) return TARROW_E_MULTIDISK;
    // The directory runs from its start to the end records; offsets measured from the start of the
    // archive data are tried when those measured from the file's start miss.
    m_adjustment = offsetAdjustment(e);
    const uint64_t directoryEnd = uint64_t(e.directoryEnd);
    uint64_t start = e.centralOffset + uint64_t(m_adjustment);
    uint8_t signature[4];
    const bool there =
        start <= directoryEnd &&
        (e.totalEntries == 0 || (m_source->readAt(start, signature, 4) && le32(signature) == kCentralHeaderSignature));
    if (!there && m_adjustment != 0 && e.centralOffset <= directoryEnd) {
        m_adjustment = 0;
        start = e.centralOffset;
    }
    if (start > directoryEnd) return TARROW_E_DIRECTORY;
    std::vector<uint8_t> directory(size_t(directoryEnd - start));
    if (!m_source->readAt(start, directory.data(), directory.size())) return TARROW_E_OPEN;

    m_members.reserve(size_t(std::min<uint64_t>(e.totalEntries, directory.size() / kCentralHeaderSize)));
    std::vector<CentralFacts> central;
    platform::LocalTime local;
    size_t at = 0;
    for (uint64_t i = 0; i < e.totalEntries; ++i) {
        const uint8_t* b = directory.data() + at;
        if (directory.size() - at < kCentralHeaderSize || le32(b) != kCentralHeaderSignature) return TARROW_E_DIRECTORY;
        CentralHeader h;
        parseCentralFixed(b, h);
        const size_t variable = size_t(h.nameLength) + h.extraLength + h.commentLength;
        if (directory.size() - at - kCentralHeaderSize < variable) return TARROW_E_DIRECTORY;
        std::string stored(reinterpret_cast<const char*>(b + kCentralHeaderSize), h.nameLength);
        h.name = stored.substr(0, kMaxNameLength);
        h.extra.assign(b + kCentralHeaderSize + h.nameLength, b + kCentralHeaderSize + h.nameLength + h.extraLength);
        finishCentralHeader(h, i, m_codePage.get());
        at += kCentralHeaderSize + variable;
        m_members.push_back(memberFrom(h, &local));
        central.push_back({h.localHeaderOffset, std::move(stored), std::move(h.name), h.hostSystem});
    }
    for (size_t i = 0; i < m_members.size(); ++i) checkLocalHeader(m_members[i], central[i]);
    checkExtents(central, start);
    return TARROW_OK;
}

bool Archive::recover(std::vector<LocalMember>* found) {
    std::vector<LocalMember> walked = walkLocalHeaders(*m_source, m_codePage.get());
    if (walked.empty()) return false;
    adopt(std::move(walked), found);
    return true;
}

// An end record may be one of an archive stored inside a member, left as the last one by a cut: its
// directory's members then lie inside the data of a member the walk finds, and the walk's members
// are the archive's.
void Archive::recoverFromInside(std::vector<LocalMember>* found) {
    std::vector<LocalMember> walked = walkLocalHeaders(*m_source, m_codePage.get());
    const auto inside = [&](const Member& m) {
        return m.dataOffset != 0 && std::any_of(walked.begin(), walked.end(), [&](const LocalMember& w) {
                   return m.dataOffset > w.dataOffset && m.dataOffset - w.dataOffset < w.header.compressedSize;
               });
    };
    if (std::any_of(m_members.begin(), m_members.end(), inside)) adopt(std::move(walked), found);
}

void Archive::adopt(std::vector<LocalMember>&& walked, std::vector<LocalMember>* found) {
    m_members.clear();
    m_members.reserve(walked.size());
    m_adjustment = 0;
    m_recovered = true;
    for (const LocalMember& local : walked) {
        Member m = memberFrom(local.header);
        m.dataOffset = local.dataOffset;
        m.recovered = true;
        if (!local.damage.empty()) {
            m.damage = 0;
            markDamaged(m, Fault::Truncated, local.damage);
        }
        m_members.push_back(std::move(m));
    }
    if (found) *found = std::move(walked);
}

// The one policy by which a local header is held against the central directory.
void Archive::checkLocalHeader(Member& m, const CentralFacts& central) {
    const uint64_t headerOffset = central.headerOffset;
    uint8_t b[kLocalHeaderSize];
    uint64_t at = headerOffset + uint64_t(m_adjustment);
    auto headerAt = [&](uint64_t position) {
        return m_source->readAt(position, b, sizeof b) && le32(b) == kLocalHeaderSignature;
    };
    if (!headerAt(at) && !(m_adjustment != 0 && headerAt(at = headerOffset))) {
        markDamaged(m, Fault::LocalHeader, format("no local header at offset %llu", (unsigned long long)headerOffset));
        return;
    }
    const LocalFixed local = parseLocalFixed(b);
    const uint16_t flags = local.flags, method = local.method, nameLength = local.nameLength,
                   extraLength = local.extraLength;
    const uint32_t crc = local.crc32;
    uint64_t packed = local.compressedSize, size = local.uncompressedSize;
    std::vector<uint8_t> variable(size_t(nameLength) + extraLength);
    if (!m_source->readAt(at + kLocalHeaderSize, variable.data(), variable.size())) {
        markDamaged(m, Fault::LocalHeader, "local header runs past the end of the archive");
        return;
    }
    m.dataOffset = at + kLocalHeaderSize + variable.size();
    const uint16_t centralMethod = m.aes ? kAesMethod : m.method;
    const bool descriptor = (flags | m.flags) & kFlagDescriptor;
    applyZip64Local(std::span(variable).subspan(nameLength), size, packed);
    // A central size left saturated, without a zip64 value, states nothing: the local header's holds.
    if (m.size == kSaturated32 && size != kSaturated32) m.size = size;
    if (m.packedSize == kSaturated32 && packed != kSaturated32) m.packedSize = packed;
    auto disagreement = [&m](std::string why) { markDamaged(m, Fault::LocalHeader, std::move(why)); };
    if (method != centralMethod)
        disagreement(format("local header names method %u, the central directory %u", method, centralMethod));
    if ((flags ^ m.flags) & kCipherFlags)
        disagreement(format("local header names flags 0x%04x, the central directory 0x%04x", flags, m.flags));
    if (disagrees(crc, m.crc32, descriptor))
        disagreement(format("local header names CRC-32 %08x, the central directory %08x", crc, m.crc32));
    if (disagrees(size, m.size, descriptor))
        disagreement(format("local header names a size of %llu bytes, the central directory %llu",
                            (unsigned long long)size, (unsigned long long)m.size));
    if (disagrees(packed, m.packedSize, descriptor))
        disagreement(format("local header names a compressed size of %llu bytes, the central directory %llu",
                            (unsigned long long)packed, (unsigned long long)m.packedSize));
    const std::string_view localName(reinterpret_cast<const char*>(variable.data()), nameLength);
    if (!sameName(localName, flags, std::span(variable).subspan(nameLength), central, m_codePage.get()))
        disagreement("local header names the member otherwise than the central directory");
}

// Each member's data ends before the next member's local header and before the central directory:
// members that share their data are how a small archive claims a huge output.
void Archive::checkExtents(const std::vector<CentralFacts>& central, uint64_t directoryStart) {
    std::vector<std::pair<uint64_t, size_t>> starts;
    starts.reserve(m_members.size());
    for (size_t i = 0; i < m_members.size(); ++i) starts.emplace_back(central[i].headerOffset, i);
    std::sort(starts.begin(), starts.end());
    for (size_t k = 0; k < starts.size(); ++k) {
        Member& m = m_members[starts[k].second];
        // An overlap is the member's damage whatever else its headers say.
        const auto overlap = [&m](std::string why) {
            m.damage = 0;
            markDamaged(m, Fault::Overlap, std::move(why));
        };
        if (k > 0 && starts[k - 1].first == starts[k].first) {
            overlap(format("shares its local header with member %zu", starts[k - 1].second + 1));
            continue;
        }
        uint64_t limit = directoryStart;
        for (size_t next = k + 1; next < starts.size(); ++next)
            if (starts[next].first > starts[k].first) {
                limit = std::min(limit, starts[next].first + uint64_t(m_adjustment));
                break;
            }
        // A member without a local header has no data to place.
        const bool placed = m.damage == 0 || (m.fault == Fault::LocalHeader && m.dataOffset != 0);
        if (placed && (m.dataOffset > limit || m.packedSize > limit - m.dataOffset))
            overlap("its data runs into the next member or the central directory");
    }
}

namespace {

// Bytes of a source from a position on.
class SourceBytes : public StoredBytes {
public:
    SourceBytes(const Source& source, uint64_t position) : m_source(source), m_position(position) {}
    bool read(uint8_t* dst, size_t count) override {
        if (!m_source.readAt(m_position, dst, count)) {
            failed = true;
            return false;
        }
        m_position += count;
        return true;
    }
    std::span<const uint8_t> inPlace(size_t count) override {
        const std::span<const uint8_t> block = m_source.block();
        if (block.empty() || m_position > block.size() || count > block.size() - m_position) return {};
        m_position += count;
        return block.subspan(size_t(m_position - count), count);
    }

private:
    const Source& m_source;
    uint64_t m_position;
};

// The caller's sink behind the running CRC and count.
class CheckedSink : public OutputSink {
public:
    explicit CheckedSink(Sink& sink) : m_sink(sink) {}
    bool write(std::span<const uint8_t> block) override {
        count(block);
        stopped = !m_sink.write(block);
        return !stopped;
    }
    void filled(std::span<const uint8_t> block) {
        count(block);
        m_sink.filled(block);
    }
    uint32_t crc = kCrcStart;
    uint64_t written = 0;
    bool stopped = false;

private:
    void count(std::span<const uint8_t> block) {
        crc = crc32Update(crc, block.data(), block.size());
        written += block.size();
    }
    Sink& m_sink;
};

int resultOf(DecodeStatus status) {
    switch (status) {
    case DecodeStatus::Ok:
    case DecodeStatus::InputUnused: return TARROW_OK;  // the CRC decides
    case DecodeStatus::NoMemory: return TARROW_E_NO_MEMORY;
    case DecodeStatus::TooLong: return TARROW_E_SIZE;
    case DecodeStatus::Stopped: return TARROW_E_STOPPED;
    default: return TARROW_E_DATA;
    }
}

}  // namespace

std::unique_ptr<StoredBytes> storedBytes(const Source& source, uint64_t position) {
    return std::make_unique<SourceBytes>(source, position);
}

// A member's stored data as the decoders read it: in runs, decrypted when a cipher is set.
class Reading::Data : public ByteSource {
public:
    Data(std::unique_ptr<StoredBytes> bytes, uint64_t size) : m_bytes(std::move(bytes)), m_left(size) {}
    std::span<const uint8_t> next() override {
        const size_t n = size_t(std::min<uint64_t>(m_left, sizeof m_buffer));
        if (n == 0 || !raw(m_buffer, n)) return {};
        if (cipher) cipher->decrypt(m_buffer, n);
        else if (aes) aes->decrypt(m_buffer, n);
        return {m_buffer, n};
    }
    // The next bytes as stored; false when the member or the archive has fewer.
    bool raw(uint8_t* data, size_t size) {
        if (size > m_left || !m_bytes->read(data, size)) {
            m_left = 0;
            return false;
        }
        m_left -= size;
        m_read += size;
        return true;
    }
    // The rest of the data where it lies in memory, taken as read; empty when not in memory.
    std::span<const uint8_t> inPlace() {
        const std::span<const uint8_t> bytes = m_bytes->inPlace(size_t(std::min<uint64_t>(m_left, SIZE_MAX)));
        m_left -= bytes.size();
        m_read += bytes.size();
        return bytes;
    }
    // Holds back the last bytes (an authentication code) from next(); release() gives them back.
    void holdBack(uint64_t bytes) {
        m_held = std::min(m_left, bytes);
        m_left -= m_held;
    }
    void release() { m_left += std::exchange(m_held, 0); }
    bool failed() const { return m_bytes->failed; }
    uint64_t read() const { return m_read; }

    TraditionalCipher* cipher = nullptr;
    AesDecryptor* aes = nullptr;

private:
    std::unique_ptr<StoredBytes> m_bytes;
    uint64_t m_left;
    uint64_t m_held = 0;
    uint64_t m_read = 0;
    uint8_t m_buffer[32768];
};

Reading::Reading(const Member& member, std::unique_ptr<StoredBytes> bytes)
    : m_member(member),
      m_data(std::make_unique<Data>(std::move(bytes), member.packedSize)),
      m_dataSize(member.packedSize) {}

Reading::~Reading() = default;

uint64_t Reading::storedRead() const { return m_data->read(); }

int Reading::unlock(const char* password) {
    const Member& m = m_member;
    m_unlocked = true;
    if (m.aes) {
        if (!password) return TARROW_E_NEED_PASSWORD;
        uint8_t salt[16], verifier[kAesVerifierSize];
        if (m.packedSize < m.aes->overhead() || !m_data->raw(salt, m.aes->saltSize()) ||
            !m_data->raw(verifier, sizeof verifier))
            return m_data->failed() ? TARROW_E_OPEN : TARROW_E_DATA;
        if (!m_aes.emplace().start(password, m.aes->strength, {salt, m.aes->saltSize()}, verifier))
            return TARROW_E_PASSWORD;
        m_data->holdBack(kAesCodeSize);
        m_data->aes = &*m_aes;
        m_dataSize = m.packedSize - m.aes->overhead();
    } else if (m.encrypted) {
        if (!password) return TARROW_E_NEED_PASSWORD;
        uint8_t header[kEncryptionHeaderSize];
        if (!m_data->raw(header, sizeof header)) return m_data->failed() ? TARROW_E_OPEN : TARROW_E_DATA;
        m_cipher.emplace(password);
        if (!m_cipher->checkHeader(header, passwordCheckByte(m.crc32, m.dosTime, m.flags & kFlagDescriptor)))
            return TARROW_E_PASSWORD;
        m_data->cipher = &*m_cipher;
        m_dataSize = m.packedSize - kEncryptionHeaderSize;
    }
    return TARROW_OK;
}

int Reading::decode(Sink& sink) {
    const Member& m = m_member;
    if (!m_unlocked) return TARROW_E_ARGUMENT;
    CheckedSink out(sink);
    const std::span<uint8_t> room =
        m.method == kDeflated || m.method == kDeflate64 ? sink.room(m.size) : std::span<uint8_t>{};
    const std::span<const uint8_t> inPlace =
        room.empty() || m_cipher || m_aes ? std::span<const uint8_t>{} : m_data->inPlace();
    if (!inPlace.empty()) {
        // Deflated data in memory going to memory is decoded from where it lies to where it goes.
        static thread_local Inflater inflater;
        const InflateResult result = inflater.toBuffer(
            inPlace, room, m.method == kDeflate64 ? DeflateFormat::Deflate64 : DeflateFormat::Deflate);
        out.filled(room.first(result.produced));
        m_status = result.status;
    } else {
        m_status = decodeMethod({m.method, m.flags, m_dataSize}, *m_data, out, m.size);
    }
    const int decoded = resultOf(m_status);
    if (out.stopped) return TARROW_E_STOPPED;
    if (m_data->failed()) return TARROW_E_OPEN;
    if (decoded != TARROW_OK) return decoded;
    if (out.written != m.size) return TARROW_E_SIZE;
    if (m_aes && !finishAes()) return TARROW_E_CRC;
    // AE-2 members store no CRC: the authentication code alone vouches for them.
    if (!(m.aes && m.aes->version == 2) && ~out.crc != m.crc32) return TARROW_E_CRC;
    return TARROW_OK;
}

// The rest of the encrypted data goes through the MAC, whose code follows it.
int Reading::finishAes() {
    while (!m_data->next().empty()) {
    }
    m_data->release();
    uint8_t code[kAesCodeSize];
    return m_data->raw(code, sizeof code) && m_aes->authentic(code);
}

int Archive::read(size_t index, const char* password, Sink& sink) const {
    if (index >= m_members.size()) return TARROW_E_ARGUMENT;
    const Member& m = m_members[index];
    if (m.damage) return m.damage;
    Reading reading(m, storedBytes(*m_source, m.dataOffset));
    if (const int code = reading.unlock(password); code != TARROW_OK) return code;
    return reading.decode(sink);
}

}  // namespace tarrow::core
