// The handle interface: each tarrow_archive owns one archive core, which is immutable once open,
// so reading needs no lock; what a read or an extraction keeps lives on its own stack, but for the
// permission bits of folders held back until tarrow_close, which take a lock.
#include "ArchiveCore.h"
#include "NameText.h"
#include "Operation.h"
#include "platform/Files.h"
#include "platform/Host.h"
#include "tarrow.h"

#include <cstddef>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <unistd.h>

struct tarrow_archive {
    std::unique_ptr<tarrow::core::Archive> core;
    std::mutex lock;                          // of heldModes
    tarrow::platform::FolderModes heldModes;  // applied by tarrow_close
};

namespace {

using tarrow::core::Archive;

// The core's options from a caller's, of which only the members its size covers are read; false when
// they ask for what this version does not know.
bool takeOptions(const tarrow_open_options* given, tarrow::core::OpenOptions& options) {
    if (!given) return true;
    if (given->size < offsetof(tarrow_open_options, name_charset)) return false;
    if (given->flags & ~uint32_t(TARROW_OPEN_RECOVER)) return false;
    options.recover = (given->flags & TARROW_OPEN_RECOVER) != 0;
    if (given->size >= offsetof(tarrow_open_options, name_charset) + sizeof given->name_charset &&
        given->name_charset) {
        options.nameCharset = given->name_charset;
        if (!tarrow::knownCharset(options.nameCharset)) return false;
    }
    return true;
}

int adopt(std::unique_ptr<tarrow::core::Source> source, const tarrow::core::OpenOptions& options,
          tarrow_archive** out) {
    std::unique_ptr<Archive> core;
    if (const int code = Archive::open(std::move(source), core, options); code != TARROW_OK) return code;
    auto* archive = new (std::nothrow) tarrow_archive;
    if (!archive) return TARROW_E_NO_MEMORY;
    archive->core = std::move(core);
    *out = archive;
    return TARROW_OK;
}

class CallbackSink : public tarrow::core::Sink {
public:
    CallbackSink(int (*sink)(void*, const void*, size_t), void* user) : m_sink(sink), m_user(user) {}
    bool write(std::span<const uint8_t> block) override {
        return block.empty() || m_sink(m_user, block.data(), block.size()) == 0;
    }

private:
    int (*m_sink)(void*, const void*, size_t);
    void* m_user;
};

class FileSink : public tarrow::core::Sink {
public:
    explicit FileSink(int fd) : m_fd(fd) {}
    bool write(std::span<const uint8_t> block) override {
        failed = !tarrow::platform::writeAll(m_fd, block.data(), block.size());
        return !failed;
    }
    bool failed = false;

private:
    int m_fd;
};

}  // namespace

extern "C" {

TARROW_EXPORT int tarrow_open_with(const char* path, const tarrow_open_options* given, tarrow_archive** out) {
    if (!path || !out) return TARROW_E_ARGUMENT;
    *out = nullptr;
    int code = TARROW_OK;
    try {
        tarrow::core::OpenOptions options;
        if (!takeOptions(given, options)) return TARROW_E_ARGUMENT;
        auto source = tarrow::core::fileSource(path, code);
        return source ? adopt(std::move(source), options, out) : code;
    } catch (const std::bad_alloc&) {
        return TARROW_E_NO_MEMORY;
    }
}

TARROW_EXPORT int tarrow_open_memory_with(const void* data, size_t size, const tarrow_open_options* given,
                                          tarrow_archive** out) {
    if (!out || (!data && size)) return TARROW_E_ARGUMENT;
    *out = nullptr;
    try {
        tarrow::core::OpenOptions options;
        if (!takeOptions(given, options)) return TARROW_E_ARGUMENT;
        return adopt(tarrow::core::memorySource({static_cast<const uint8_t*>(data), size}), options, out);
    } catch (const std::bad_alloc&) {
        return TARROW_E_NO_MEMORY;
    }
}

TARROW_EXPORT int tarrow_open(const char* path, tarrow_archive** out) { return tarrow_open_with(path, nullptr, out); }

TARROW_EXPORT int tarrow_open_memory(const void* data, size_t size, tarrow_archive** out) {
    return tarrow_open_memory_with(data, size, nullptr, out);
}

TARROW_EXPORT size_t tarrow_entry_count(const tarrow_archive* archive) {
    return archive ? archive->core->members().size() : 0;
}

TARROW_EXPORT int tarrow_entry_at(const tarrow_archive* archive, size_t index, tarrow_entry* out) {
    if (!archive || !out || index >= archive->core->members().size()) return TARROW_E_ARGUMENT;
    const tarrow::core::Member& m = archive->core->members()[index];
    tarrow_entry e{};
    e.name = m.name.c_str();
    e.size = m.size;
    e.compressed_size = m.packedSize;
    e.method = m.method;
    e.crc32 = m.crc32;
    e.mtime = m.mtime.seconds.value_or(0);
    e.dos_date = m.dosDate;
    e.dos_time = m.dosTime;
    e.attributes = m.externalAttributes;
    e.flags = (m.folder ? TARROW_ENTRY_FOLDER : 0) | (m.symlink ? TARROW_ENTRY_SYMLINK : 0) |
              (m.encrypted ? TARROW_ENTRY_ENCRYPTED : 0) | (m.recovered ? TARROW_ENTRY_RECOVERED : 0);
    e.damage = m.damage ? m.why.c_str() : nullptr;
    *out = e;
    return TARROW_OK;
}

TARROW_EXPORT int tarrow_read(tarrow_archive* archive, size_t index, const char* password,
                              int (*sink)(void*, const void*, size_t), void* user) {
    if (!archive || !sink) return TARROW_E_ARGUMENT;
    try {
        CallbackSink out(sink, user);
        return archive->core->read(index, password, out);
    } catch (const std::bad_alloc&) {
        return TARROW_E_NO_MEMORY;
    }
}

TARROW_EXPORT int tarrow_extract(tarrow_archive* archive, size_t index, const char* folder, const char* password) {
    if (!archive || !folder || index >= archive->core->members().size()) return TARROW_E_ARGUMENT;
    try {
        const tarrow::core::Member& m = archive->core->members()[index];
        if (m.damage) return m.damage;
        tarrow::Settings settings;
        settings.extractTo = folder;
        settings.restoreStructure = true;
        bool isFolder = false;
        std::string path = tarrow::platform::resolveTarget(tarrow::targetPath(settings, m.name, isFolder));
        tarrow::platform::OutputFolders folders;
        if (isFolder || m.folder) {
            folders.createFolders(isFolder ? path : path + "/");
            // A mode that would shut the owner out waits for tarrow_close: the folder's files come
            // after it in archives.
            if (m.permissions) {
                if (tarrow::platform::keepsFolderOpen(*m.permissions)) {
                    tarrow::platform::setFolderPermissions(path, *m.permissions);
                } else {
                    std::lock_guard<std::mutex> hold(archive->lock);
                    archive->heldModes.add(path, *m.permissions);
                }
            }
            return TARROW_OK;
        }
        if (auto existing = tarrow::platform::existingFile(path)) tarrow::platform::makeWritable(path, existing->mode);
        const int fd = folders.createFile(path);
        if (fd < 0) return TARROW_E_WRITE;
        FileSink out(fd);
        int code = archive->core->read(index, password, out);
        if (out.failed) code = TARROW_E_WRITE;
        if (code == TARROW_OK) {
            if (m.mtime.seconds) tarrow::platform::setTime(fd, *m.mtime.seconds);
            // A link's mode is its target's business: the link is written as a file holding its path.
            if (m.permissions && !m.symlink) tarrow::platform::setPermissions(fd, path, *m.permissions);
        }
        ::close(fd);
        if (code != TARROW_OK) ::unlink(path.c_str());
        return code;
    } catch (const std::bad_alloc&) {
        return TARROW_E_NO_MEMORY;
    }
}

TARROW_EXPORT void tarrow_close(tarrow_archive* archive) { delete archive; }

TARROW_EXPORT const char* tarrow_strerror(int code) {
    switch (code) {
    case TARROW_OK: return "success";
    case TARROW_E_ARGUMENT: return "invalid argument";
    case TARROW_E_NO_MEMORY: return "out of memory";
    case TARROW_E_OPEN: return "the archive cannot be opened or read";
    case TARROW_E_NOT_ZIP: return "not a ZIP archive, or truncated";
    case TARROW_E_MULTIDISK: return "the archive spans several disks";
    case TARROW_E_DIRECTORY: return "the central directory is damaged";
    case TARROW_E_DAMAGED: return "the member is damaged";
    case TARROW_E_METHOD: return "compression method or cipher not supported";
    case TARROW_E_NEED_PASSWORD: return "encrypted, and no password given";
    case TARROW_E_PASSWORD: return "wrong password";
    case TARROW_E_DATA: return "compressed data is corrupt";
    case TARROW_E_CRC: return "CRC-32 or authentication code mismatch";
    case TARROW_E_SIZE: return "data does not match the listed size";
    case TARROW_E_STOPPED: return "stopped by the sink";
    case TARROW_E_WRITE: return "output file cannot be written";
    default: return "unknown error";
    }
}

}  // extern "C"
