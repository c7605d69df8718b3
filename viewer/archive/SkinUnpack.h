// A skin archive unpacked within the skin budget: its catalogue is read first (nothing written),
// an archive that declares more than a skin may hold is refused, and the extraction is held to
// what the catalogue declared. The viewer's selection and the batch tool both unpack through it.
#pragma once

#include "archive/UnZIP.h"

#include <string>

namespace veltrane {

struct SkinUnpackResult {
    // Why the archive was refused ("declares 2.0 GiB unpacked, more than the 64 MiB a skin may
    // hold"); empty when it was unpacked, or when the library could not be asked at all.
    std::string refusal;
    PackageOutcome outcome;  // the library's outcome of the extraction
};

// Unpacks archive into folder (an empty folder of the caller's own). When the archive is refused,
// folder is left empty, as for an archive that cannot be unpacked.
SkinUnpackResult UnpackSkinArchive(const std::string& archive, const std::string& folder);

// Whether a warning of the library leaves the skin whole: none, or an archive comment that could
// not be read completely, which says nothing about the skin's files.
bool IsHarmlessWarning(int code);

// Why a skin archive cannot be shown, from the library's error (when not 0) or warning.
std::string UnpackFailure(int error, int warning);
// The same sentences for a reason in words: the archive as a whole fails, or a member of it.
std::string ArchiveFailure(const std::string& reason);
std::string MemberFailure(const std::string& reason);

}  // namespace veltrane
