#include "SkinRender.h"

#include "InMemorySkin.h"

#include "app/Commands.h"
#include "platform/FileHandling.h"
#include "archive/SkinUnpack.h"
#include "platform/CaseLookup.h"
#include "platform/Picture.h"
#include "rendering/SkinFiles.h"
#include "rendering/SkinPreview.h"
#include "tarrow.h"

#include <malloc.h>

namespace veltrane::preview {
namespace {

// A skin is worth rendering when its main window's background is there and decodes; every other
// file may be missing, as in the viewer, and then keeps the default skin's bitmap.
bool CheckMainBitmap(const std::string& folder, std::string& error) {
    const SkinFolderFiles files(folder);
    if (!files.HasFile("main.bmp")) {
        error = "no main.bmp in the skin";
        return false;
    }
    Dib scratch;
    if (!files.LoadBitmap("main.bmp", scratch)) {
        error = "main.bmp is not a readable bitmap";
        return false;
    }
    return true;
}

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

// The warning about a cut archive comment says nothing about the skin's files.
bool HarmlessWarning(int code) { return code == 0 || code == TARROW_WARNING_COMMENT; }

bool RenderArchive(const std::string& archive, const std::string& tempFolder, Dib& canvas, std::string& error) {
    NoEventPump pump;
    bool extracted = false;
    SkinUnpackResult unpacked;
    const PackageOutcome& outcome = unpacked.outcome;
    bool rendered = false;
    const auto extract = [&](const std::string& copy, const std::string& folder) {
        unpacked = UnpackSkinArchive(copy, folder);
        extracted = true;
    };
    LoadSkinArchive(
        archive, tempFolder, pump,
        [&](std::string& folder) {
            if (!extracted) {
                error = "cannot make a working folder in " + tempFolder;
            } else if (!unpacked.refusal.empty()) {
                error = "refused: the archive " + unpacked.refusal;
            } else if (!outcome.loaded) {
                error = "the archive library libPackage.so cannot be loaded";
            } else if (outcome.error != 0) {
                error = "cannot unpack the archive: " + DescribePackageError(outcome.error);
            } else if (!HarmlessWarning(outcome.warning)) {
                error = "a member of the archive cannot be unpacked: " + DescribePackageWarning(outcome.warning);
            } else if (CheckMainBitmap(folder, error)) {
                canvas = RenderSkinPreview(folder);
                rendered = true;
            }
        },
        extract);
    return rendered;
}

}  // namespace

void KeepLargeBuffersOnTheHeap() {
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
}

std::string DescribePackageError(int code) {
    switch (code) {
    case TARROW_ERROR_NO_END_RECORD: return "not a ZIP archive, or cut short (no end record)";
    case TARROW_ERROR_BAD_CENTRAL: return "damaged central directory";
    case TARROW_ERROR_NO_MEMORY: return "out of memory";
    case TARROW_ERROR_NO_ARCHIVE: return "the archive cannot be found";
    case TARROW_ERROR_CANNOT_OPEN: return "the archive cannot be opened";
    case TARROW_ERROR_NOTHING_DONE: return "no member to unpack";
    case TARROW_ERROR_WRITE: return "the unpacked files cannot be written";
    case TARROW_ERROR_READ: return "the archive ends early or cannot be read";
    case TARROW_ERROR_ABORTED: return "aborted";
    default: return "library error " + std::to_string(code);
    }
}

std::string DescribePackageWarning(int code) {
    switch (code) {
    case TARROW_WARNING_IMPLODE_CORRUPT:
    case TARROW_WARNING_IMPLODE_SHORT: return "damaged imploded data";
    case TARROW_WARNING_CANNOT_CREATE: return "a file cannot be created";
    case TARROW_WARNING_METHOD: return "unsupported compression method";
    case TARROW_WARNING_NO_PASSWORD: return "encrypted member, no password";
    case TARROW_WARNING_LOCAL_HEADER: return "damaged local header";
    case TARROW_WARNING_PASSWORD: return "encrypted member, wrong password";
    case TARROW_WARNING_CRC: return "CRC error";
    case TARROW_WARNING_INFLATE_CORRUPT: return "damaged deflated data";
    case TARROW_WARNING_DATA_CORRUPT: return "damaged compressed data";
    case TARROW_WARNING_VERSION: return "needs a newer ZIP version";
    default: return "library warning " + std::to_string(code);
    }
}

bool RenderSkinSource(const SkinSource& source, const std::string& tempFolder, Dib& canvas, std::string& error,
                      ArchiveReading reading) {
    if (source.kind == SkinSource::Kind::Archive)
        return reading == ArchiveReading::InMemory ? RenderArchiveInMemory(source.path, canvas, error)
                                                   : RenderArchive(source.path, tempFolder, canvas, error);
    if (!CheckMainBitmap(WithSlash(source.path), error)) return false;
    canvas = RenderSkinPreview(source.path);
    return true;
}

}  // namespace veltrane::preview
