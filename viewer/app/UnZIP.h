// The viewer's binding of the archive library libPackage.so. The library is opened by name on the
// first call, from the program's folder first and then from the default search path; each export
// is looked up by its name, and a call whose library or export is missing is skipped.
#pragma once

#include "app/EventPump.h"

#include <cstdint>
#include <string>

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
void ExtractArchive(const std::string& archive, const std::string& folder);

// How the last main call ended, read from the library after ExtractArchive. The viewer never asks;
// the batch tool does, to name a damaged archive instead of rendering what little it unpacked.
struct PackageOutcome {
    bool loaded = false;   // the library and its exports were found
    int16_t error = 0;     // Tarrow_GetLastError: 0, or a TARROW_ERROR_* code
    int16_t warning = 0;   // Tarrow_GetLastWarning: 0, or a TARROW_WARNING_* code
};
PackageOutcome LastPackageOutcome();

// True once the library was opened (after the first ExtractArchive); for tests and diagnostics.
bool PackageLibraryLoaded();

}  // namespace veltrane
