// A ZIP archive held in memory, for hosts inside this project that want a few members' bytes rather
// than files: the catalogue is read once, and any member can then be decoded into memory on its
// own. It runs the library's own code (the catalogue walk and the extraction pass's memory output,
// with their checks, bounded output and messages) on a private operation, so it shares no state
// with the C exports and several archives can be open side by side.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarrow {

class Operation;
struct MemberBuffer;

class MemoryArchive {
public:
    struct Entry {
        std::string name;                   // as stored, converted as the library's listings show it
        std::string path;                   // where the extraction would write it, relative, "/"-separated
        bool folder = false;                // the extraction makes a folder for it, not a file
        uint64_t size = 0;                  // declared uncompressed size
        uint16_t dosDate = 0, dosTime = 0;  // modification time as stored: local time, no zone
    };

    MemoryArchive();
    ~MemoryArchive();
    MemoryArchive(const MemoryArchive&) = delete;
    MemoryArchive& operator=(const MemoryArchive&) = delete;

    // Reads the catalogue of the archive in block, which must outlive this object. Returns 0, or
    // the TARROW_ERROR_* code a main call on the same archive reports. Members the library cannot
    // decode are left out of entries(), and warning() names the last of them, as in a main call.
    int open(std::span<const uint8_t> block);
    // The selected members in catalogue order (every member, with the folder structure kept).
    const std::vector<Entry>& entries() const { return m_entries; }
    // The last TARROW_WARNING_* code raised while reading the catalogue, 0 for none.
    int warning() const { return m_warning; }

    // What went wrong with a member: the TARROW_ERROR_* and TARROW_WARNING_* codes a main call
    // would have been left with.
    struct Failure {
        int error = 0;
        int warning = 0;
    };
    // Decodes entry index; its bytes stay valid until the next call. nullopt, with failure set,
    // when it does not decode cleanly or is a folder.
    std::optional<std::span<const uint8_t>> read(std::size_t index, Failure& failure);

private:
    std::unique_ptr<Operation> m_op;
    std::unique_ptr<MemberBuffer> m_buffer;
    std::vector<Entry> m_entries;
    int m_warning = 0;
};

}  // namespace tarrow
