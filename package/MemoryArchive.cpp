#include "MemoryArchive.h"

#include "Catalogue.h"
#include "Operation.h"
#include "Messages.h"

#include <new>

namespace tarrow {

namespace {

constexpr uint16_t kFolderAttribute = 0x10;
const std::string kMemoryArchiveName = "-";

// Runs one step of the library as a main call would, turning its fatal ends into their code.
template <typename Step>
int guarded(Operation& op, Step step) {
    try {
        step();
    } catch (const FatalError& fatal) {
        return fatal.code;
    } catch (const std::bad_alloc&) {
        try {
            raiseError(op, TARROW_ERROR_NO_MEMORY, "");
        } catch (...) {
        }
        return TARROW_ERROR_NO_MEMORY;
    }
    return 0;
}

}  // namespace

MemoryArchive::MemoryArchive() : m_op(std::make_unique<Operation>()), m_buffer(std::make_unique<MemberBuffer>()) {}

MemoryArchive::~MemoryArchive() = default;

int MemoryArchive::open(std::span<const uint8_t> block) {
    Operation& op = *m_op;
    op.initialise();
    m_entries.clear();
    m_warning = 0;
    // The memory settings hold 32-bit sizes; no skin comes near.
    if (block.size() >= UINT32_MAX) return TARROW_ERROR_CANNOT_OPEN;
    Settings& s = op.settings;
    s.archiveName = kMemoryArchiveName;
    s.memoryBlock = block.data() ? block.data() : reinterpret_cast<const uint8_t*>("");
    s.memorySize = uint32_t(block.size());
    s.restoreStructure = true;
    s.overwrite = TARROW_OVERWRITE_ALWAYS;
    op.messageBuffer.reset(new (std::nothrow) char[TARROW_MESSAGE_SIZE]);
    if (!op.messageBuffer) return TARROW_ERROR_NO_MEMORY;
    op.messageBuffer[0] = '\0';
    op.lastError = op.lastWarning = 0;
    op.errorRaised = false;
    op.includePatterns = {"*.*"};
    op.catalogue.clear();

    const int fatal = guarded(op, [&] { readCatalogue(op); });
    m_warning = op.lastWarning;
    if (fatal) return fatal;
    if (op.lastError) return op.lastError;
    // As in a main call: an archive whose catalogue yields no file is an error.
    bool anyFile = false;
    m_entries.reserve(op.catalogue.size());
    for (const MemberEntry& member : op.catalogue) {
        Entry entry;
        entry.name = member.name;
        entry.path = targetPath(s, member.name, entry.folder);
        entry.folder = entry.folder || (member.attributes & kFolderAttribute);
        entry.size = member.record.size;
        entry.dosDate = member.record.dosDate;
        entry.dosTime = member.record.dosTime;
        anyFile = anyFile || !entry.folder;
        m_entries.push_back(std::move(entry));
    }
    if (!anyFile) {
        guarded(op, [&] { raiseError(op, TARROW_ERROR_NOTHING_DONE, op.archiveName()); });
        return TARROW_ERROR_NOTHING_DONE;
    }
    return 0;
}

std::optional<std::span<const uint8_t>> MemoryArchive::read(std::size_t index, Failure& failure) {
    failure = Failure{};
    Operation& op = *m_op;
    if (index >= m_entries.size() || m_entries[index].folder || !op.messageBuffer) return std::nullopt;
    const MemberEntry& member = op.catalogue[index];
    op.counters.currentIndex = uint32_t(index);
    op.lastWarning = 0;
    op.lastError = 0;
    bool clean = false;
    const int fatal = guarded(op, [&] { clean = extractMemberToBuffer(op, member, member.record.size, *m_buffer); });
    if (fatal || op.lastError || !clean) {
        failure.error = fatal ? fatal : op.lastError;
        failure.warning = op.lastWarning;
        return std::nullopt;
    }
    return std::span<const uint8_t>(m_buffer->data.get(), m_buffer->length);
}

}  // namespace tarrow
