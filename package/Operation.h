// The operation: one object that holds the settings block, the run counters and state, and the
// archive input of a main call of the flat interface. The C exports drive one process-wide instance
// (FlatExports.cpp); tests make their own.
//
// Flow of a main call (Operation::run): patterns are built, the archive is opened and its catalogue
// walked (Catalogue.cpp, ArchiveInput.cpp) beside the archive core's reading of it (ArchiveCore.h),
// and the selected members go to the extraction pass (runExtractionPass, ExtractPass.cpp), which
// decodes them through the core. Everything reports through Messages.h.
//
// Fatal errors (4, 50, 255) unwind as tarrow::FatalError up to run(), which closes the archive and
// resets the settings. Whatever a step holds (an output file that is not finished) must clean up in
// a destructor or a catch-and-rethrow.
#pragma once

#include "ArchiveCore.h"
#include "ArchiveInput.h"
#include "tarrow.h"
#include "winzip_aes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarrow {

constexpr int16_t kVersionMajor = 0;
constexpr int16_t kVersionMinor = 7;

struct FatalError {
    int code;
};

// The settings the setters fill; Tarrow_Initialise restores the defaults of `defaults()`.
struct Settings {
    std::optional<std::string> archiveName;
    std::optional<std::string> extractTo;
    std::optional<std::string> include;
    std::optional<std::string> exclude;
    std::optional<std::string> includeListFile;
    std::optional<std::string> excludeListFile;
    std::optional<std::string> password;
    std::optional<std::string> device;
    std::optional<std::string> nameCharset;  // code page of names without the UTF-8 flag (iconv name)
    bool abort = false;
    bool view = false;
    bool update = false;
    bool freshen = false;
    bool test = false;
    bool displayComment = false;
    bool restoreStructure = false;
    bool recover = false;             // walk the local headers when the end record or the central directory fails
    bool restorePermissions = false;  // Unix permission bits of members made on Unix hosts
    int16_t overwrite = 0;            // 0 before the first initialise; behaves like 10
    int16_t attributeMask = 0;

    // Memory input (Tarrow_FromMemory).
    const uint8_t* memoryBlock = nullptr;
    uint32_t memorySize = 0;
    // Memory output (Tarrow_ToMemory); what a main call wrote there is its run state's outputLength.
    uint8_t* outputBuffer = nullptr;
    uint32_t outputCapacity = 0;

    static Settings defaults();
    bool memoryInput() const { return memoryBlock != nullptr; }
    bool memoryOutput() const { return outputBuffer != nullptr; }
};

// What the host installed; Tarrow_Initialise keeps it.
struct HostLink {
    TarrowCallback callback = nullptr;
    TarrowCallbackEx callbackEx = nullptr;
    intptr_t user = 0;
    intptr_t window = 0;
    intptr_t parentWindow = 0;
    bool hasCallback() const { return callback != nullptr || callbackEx != nullptr; }
};

// Counters of one operation, carried by the progress messages.
struct RunCounters {
    uint32_t processed = 0;  // members listed, tested or extracted
    uint32_t selected = 0;
    uint32_t currentIndex = 0;        // 0-based index into the catalogue
    uint64_t selectedCompressed = 0;  // total compressed size of the selection
    uint64_t compressedRead = 0;      // member bytes read in the whole operation
    uint32_t outputLength = 0;        // bytes in the memory output
};

// End-of-central-directory record, with the values of the zip64 end record where the archive has
// one (the 16- and 32-bit fields then hold saturated values).
struct EndRecord {
    uint16_t diskNumber = 0;
    uint16_t centralStartDisk = 0;
    uint64_t entriesOnDisk = 0;
    uint64_t totalEntries = 0;
    uint64_t centralSize = 0;
    uint64_t centralOffset = 0;
    uint16_t commentLength = 0;
    int64_t position = 0;      // where its signature lies on the last disk
    int64_t directoryEnd = 0;  // where the central directory ends: the zip64 end record, or this one
    bool zip64 = false;        // the values came from a zip64 end record
};

// The compression methods the library decodes.
constexpr uint16_t kStored = 0, kShrunk = 1, kImploded = 6, kDeflated = 8, kDeflate64 = 9, kPpmd = 98;
// Methods decoded through Debian's libraries; 20 is zstd as early writers numbered it.
constexpr uint16_t kBzip2 = 12, kLzma = 14, kZstdEarly = 20, kZstd = 93, kXz = 95;

constexpr size_t kNameCapacity = 1024;  // names are kept to 1023 bytes plus NUL
constexpr size_t kMaxNameLength = kNameCapacity - 1;

// The central directory header read last, with its name and extra field.
struct CentralHeader {
    uint8_t versionMadeBy = 0;
    uint8_t hostSystem = 0;
    uint8_t versionNeeded = 0;
    uint8_t hostNeeded = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    uint32_t crc32 = 0;
    uint64_t compressedSize = 0;  // zip64 values where the extra field supplies them
    uint64_t uncompressedSize = 0;
    uint16_t nameLength = 0;
    uint16_t extraLength = 0;
    uint16_t commentLength = 0;
    uint16_t startDisk = 0;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    uint64_t localHeaderOffset = 0;
    std::string name;            // UTF-8 where it could be converted, at most kMaxNameLength bytes
    std::vector<uint8_t> extra;  // exactly extraLength bytes when it was read
};

// One selected, supported member, in central-directory order: the core's record of it, and what the
// flat interface needs besides.
struct MemberEntry {
    core::Member record;
    std::string name;  // as the central directory stores it, converted: listings,
                       // patterns and target paths all see this one
    uint64_t localHeaderOffset = 0;
    uint16_t disk = 0;
    uint16_t attributes = 0;    // low byte of the external attributes, archive bit always on
    uint64_t centralIndex = 0;  // its place in the central directory
    // Where the next member's local header or the central directory begins (archive offset on the
    // same disk): its local header and data must end there, or it overlaps them. Checked here only
    // for archives that span disks; the core checks the others.
    uint64_t extentLimit = UINT64_MAX;
};

class CodePage;

class Operation {
public:
    Operation();
    ~Operation();

    // The exports' work: see tarrow.h for each.
    void initialise();
    int32_t run();

    Settings settings;
    HostLink host;
    RunCounters counters;
    int16_t lastError = 0;
    int16_t lastWarning = 0;

    // Valid during a main call only.
    std::unique_ptr<char[]> messageBuffer;  // TARROW_MESSAGE_SIZE bytes
    std::vector<std::string> includePatterns;
    std::vector<std::string> excludePatterns;
    EndRecord endRecord;
    CentralHeader header;
    std::unique_ptr<CodePage> codePage;  // of the names, when the settings choose one
    std::vector<MemberEntry> catalogue;
    // The archive's members as the core decided them, beside the catalogue (none for archives that
    // span disks): what a member is, is decided there once.
    std::unique_ptr<core::Archive> core;
    ArchiveInput input;
    bool errorRaised = false;  // any error during this operation
    int dialogAnswer = -1;     // last answer recorded by UnzipDlgBoxProc

    // Name of the archive as the messages show it ("" when none).
    const std::string& archiveName() const;
    // Text of the last message built (for the dialogs and the tests).
    const char* messageText() const { return messageBuffer ? messageBuffer.get() : ""; }

private:
    void runOperation();
};

// The extraction pass over the catalogue and the extraction of a memory block's member. Defined by
// the extraction module; called by the operation once the catalogue is walked.
void runExtractionPass(Operation& op);
void extractMemoryMember(Operation& op, const MemberEntry& member);

// Where the extraction writes a stored name below the extract-to folder: no ".." component or
// absolute prefix survives, characters the target cannot hold become "_". folder is set when the
// name makes a folder rather than a file.
std::string targetPath(const Settings& s, const std::string& stored, bool& folder);

}  // namespace tarrow
