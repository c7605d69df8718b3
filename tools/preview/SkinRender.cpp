#include "SkinRender.h"

#include "InMemorySkin.h"

#include "app/Commands.h"
#include "platform/FileHandling.h"
#include "archive/SkinUnpack.h"
#include "platform/CaseLookup.h"
#include "platform/Picture.h"
#include "rendering/SkinFiles.h"
#include "rendering/SkinPreview.h"

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
            } else if (outcome.error != 0 || !IsHarmlessWarning(outcome.warning)) {
                error = UnpackFailure(outcome.error, outcome.warning);
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
