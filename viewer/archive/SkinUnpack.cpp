#include "archive/SkinUnpack.h"

#include "archive/SkinBudget.h"
#include "base/PackageCodes.h"
#include "tarrow.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace veltrane {
namespace {

// Removes everything below folder, keeping folder itself; links are removed, never followed.
void EmptyFolder(const std::string& folder) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        fs::remove_all(it->path(), error);
}

}  // namespace

SkinUnpackResult UnpackSkinArchive(const std::string& archive, const std::string& folder) {
    SkinUnpackResult result;
    const ArchiveListing listing = ListArchive(archive);
    if (!listing.loaded) {
        // No library (or one we cannot watch): nothing can be unpacked, nothing is.
        result.outcome = LastPackageOutcome();
        if (result.outcome.loaded) result.refusal = "the archive library cannot list the archive";
        return result;
    }
    if (!listing.readable) {
        result.refusal = "its catalogue cannot be read in full";
        return result;
    }
    const SkinBudgetVerdict verdict = CheckSkinBudget(listing.members);
    if (!verdict.withinBudget) {
        result.refusal = verdict.reason;
        return result;
    }
    // A listing that broke off (a damaged directory) is followed by an extraction that fails on the
    // same header; it runs all the same, so that its outcome names the damage.
    const bool held = ExtractArchive(archive, folder, verdict.declaredTotal);
    result.outcome = LastPackageOutcome();
    // In a recovered archive, the member the cut ends in is the last one and cannot be read (error
    // 51): the members before it are what recovery is for.
    if (listing.recovered && result.outcome.error == TARROW_ERROR_READ) result.outcome.error = 0;
    if (!held) {
        result.refusal =
            "unpacks to more than the " + DescribeByteCount(verdict.declaredTotal) + " its catalogue declares";
        EmptyFolder(folder);
    }
    return result;
}

bool IsHarmlessWarning(int code) {
    return code == 0 || code == TARROW_WARNING_COMMENT || code == TARROW_WARNING_RECOVERED;
}

std::string ArchiveFailure(const std::string& reason) { return "cannot unpack the archive: " + reason; }

std::string MemberFailure(const std::string& reason) { return "a member of the archive cannot be unpacked: " + reason; }

std::string UnpackFailure(int error, int warning) {
    return error != 0 ? ArchiveFailure(PackageErrorText(error)) : MemberFailure(PackageWarningText(warning));
}

}  // namespace veltrane
