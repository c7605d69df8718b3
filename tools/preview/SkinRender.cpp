#include "SkinRender.h"

#include "InMemorySkin.h"
#include "SkinFacts.h"

#include "app/Commands.h"
#include "platform/FileHandling.h"
#include "archive/SkinUnpack.h"
#include "platform/CaseLookup.h"
#include "platform/Picture.h"
#include "rendering/SkinFiles.h"
#include "rendering/SkinPreview.h"

#include <malloc.h>
#include <sys/stat.h>

namespace veltrane::preview {
namespace {

// A skin is worth rendering when its main window's background is there and decodes; every other
// file may be missing, as in the viewer, and then keeps the default skin's bitmap.
bool CheckMainBitmap(const SkinFiles& files, std::string& error) {
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

// A skin folder's preview, and its facts when asked for.
bool RenderFolder(const std::string& folder, Dib& canvas, std::string& error, SkinFacts* facts) {
    const SkinFolderFiles files(WithSlash(folder));
    const RecordingSkinFiles recorder(files);
    if (facts) DescribeSkinFolder(folder, *facts);
    if (!CheckMainBitmap(recorder, error)) return false;
    canvas = RenderSkinPreview(recorder);
    if (facts) recorder.Describe(*facts);
    return true;
}

bool RenderArchive(const std::string& archive, const std::string& tempFolder, Dib& canvas, std::string& error,
                   SkinFacts* facts) {
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
            } else {
                rendered = RenderFolder(folder, canvas, error, facts);
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
                      ArchiveReading reading, SkinFacts* facts) {
    if (source.kind == SkinSource::Kind::Folder) return RenderFolder(source.path, canvas, error, facts);
    if (reading == ArchiveReading::InMemory) return RenderArchiveInMemory(source.path, canvas, error, facts);
    const bool rendered = RenderArchive(source.path, tempFolder, canvas, error, facts);
    // The size is the archive's, not that of the unpacked copy.
    struct stat info {};
    if (facts && stat(source.path.c_str(), &info) == 0) facts->size = uint64_t(info.st_size);
    return rendered;
}

}  // namespace veltrane::preview
