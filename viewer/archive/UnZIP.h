// The viewer's binding of the archive library libPackage.so. The library is opened by name on the
// first call, from the program's folder first and then from the default search path; each export
// is looked up by its name, and a call whose library or export is missing is skipped.
#pragma once

#include "platform/EventPump.h"
#include "archive/SkinBudget.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltrane {

// Where the library is looked for first (the program's folder, with a trailing "/"). Set at
// start-up, before the first call; setting it while no library is bound makes the next call bind
// afresh.
void SetPackageLibraryFolder(const std::string& folder);

// The pump that runs pending events while the library's main call works; nullptr for none. The
// library empties the caller's message queue after each message it produces.
void SetPackageEventPump(EventPump* pump);

// Unpacks every member of archive below folder, recreating the archive's folders, overwriting
// without asking and restoring the read-only, hidden, system and archive attributes. Every result
// of the library is ignored: the caller looks at what arrived in folder.
// Target names are resolved without regard to letter case (the skins were made on a
// case-insensitive file system), so of two members whose paths differ only in case the later one
// in archive order is the file that stays, under the name the earlier one gave it.
void ExtractArchive(const std::string& archive, const std::string& folder);

// ExtractArchive that stops the library once its members have produced more than outputLimit
// bytes in all (the library then deletes the file it was writing). A catalogue's declared sizes
// bound the members that use a data descriptor; a member's local header may declare more, and this
// holds it to what the catalogue promised. Returns false when it had to stop the library.
bool ExtractArchive(const std::string& archive, const std::string& folder, uint64_t outputLimit);

// The members archive's catalogue declares, read in the library's view mode: nothing is unpacked.
struct ArchiveListing {
    bool loaded = false;                    // the library and its exports were found
    bool readable = true;                   // every listing message could be read
    int16_t error = 0;                      // Tarrow_GetLastError after the listing
    bool recovered = false;                 // its members were found by walking local headers
    std::vector<SkinArchiveEntry> members;  // in the catalogue's order
};
ArchiveListing ListArchive(const std::string& archive);

// How the last main call ended, read from the library after ExtractArchive. The viewer never asks;
// the batch tool does, to name a damaged archive instead of rendering what little it unpacked.
struct PackageOutcome {
    bool loaded = false;  // the library and its exports were found
    int16_t error = 0;    // Tarrow_GetLastError: 0, or a TARROW_ERROR_* code
    int16_t warning = 0;  // Tarrow_GetLastWarning: 0, or a TARROW_WARNING_* code
};
PackageOutcome LastPackageOutcome();

// True once the library was opened (after the first ExtractArchive); for tests and diagnostics.
bool PackageLibraryLoaded();

}  // namespace veltrane
