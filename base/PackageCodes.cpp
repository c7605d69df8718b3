#include "base/PackageCodes.h"

#include "tarrow.h"

namespace veltrane {

std::string PackageErrorText(int code) {
    switch (code) {
    case TARROW_ERROR_NO_END_RECORD: return "no end-of-central-directory record (not a ZIP archive, or truncated)";
    case TARROW_ERROR_BAD_CENTRAL: return "central directory header expected and not found";
    case TARROW_ERROR_NO_MEMORY: return "out of memory";
    case TARROW_ERROR_NO_ARCHIVE: return "archive not found";
    case TARROW_ERROR_CANNOT_OPEN: return "archive cannot be opened";
    case TARROW_ERROR_NOTHING_DONE: return "no member selected or processed";
    case TARROW_ERROR_WRITE: return "output file could not be written completely";
    case TARROW_ERROR_READ:
        return "archive damaged: it ended early, could not be read, or the member overlaps another member or the "
               "central directory";
    case TARROW_ERROR_ABORTED: return "aborted";
    default: return "error " + std::to_string(code);
    }
}

std::string PackageWarningText(int code) {
    switch (code) {
    case TARROW_WARNING_IMPLODE_CORRUPT: return "imploded data is corrupt";
    case TARROW_WARNING_IMPLODE_SHORT: return "imploded data is shorter than its stored size";
    case TARROW_WARNING_CANNOT_CREATE: return "output file cannot be created";
    case TARROW_WARNING_METHOD: return "compression method not supported";
    case TARROW_WARNING_NO_PASSWORD: return "encrypted, and no password given";
    case TARROW_WARNING_LOCAL_HEADER:
        return "local header missing, unreadable, or declaring more than the central directory";
    case TARROW_WARNING_PASSWORD: return "wrong password";
    case TARROW_WARNING_CRC: return "CRC-32 mismatch";
    case TARROW_WARNING_INFLATE_CORRUPT: return "deflated data is corrupt";
    case TARROW_WARNING_DATA_CORRUPT: return "compressed data is corrupt";
    case TARROW_WARNING_VERSION: return "needs a newer version to extract";
    case TARROW_WARNING_TEST_ERRORS: return "test found errors";
    case TARROW_WARNING_RECOVERED: return "recovered from its local header: the central directory is missing";
    case TARROW_WARNING_COMMENT: return "archive comment could not be read completely";
    default: return "warning " + std::to_string(code);
    }
}

}  // namespace veltrane
