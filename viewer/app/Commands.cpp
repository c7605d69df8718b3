#include "app/Commands.h"

#include "platform/FileHandling.h"
#include "app/SkinList.h"
#include "archive/SkinFolder.h"
#include "archive/SkinUnpack.h"
#include "imaging/JpegSave.h"
#include "platform/CaseLookup.h"
#include "platform/Picture.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace veltrane {
namespace {

// A copy that cannot be deleted (held by another program) is given up after this many attempts.
constexpr int kDeleteAttempts = 50;

// Anything at all at path, a file that cannot be read or a dangling link included: a preview file
// there is never replaced.
bool SomethingAt(const std::string& path) {
    std::error_code error;
    return FileExists(path) || fs::exists(fs::symlink_status(path, error));
}

// A fresh, empty folder inside tempFolder that nothing else uses; empty when it cannot be made.
std::string MakeWorkingFolder(const std::string& tempFolder) {
    std::string pattern = tempFolder + "veltrane-XXXXXX";
    if (!mkdtemp(pattern.data())) return {};
    return pattern + "/";
}

// Deletes every file below extracted, then removes the chain of emptied folders from the deepest
// one outwards (the first of equally deep folders counts).
void CleanUpExtraction(const std::string& extracted, const std::string& stopFolder, EventPump& pump) {
    std::string deepest = extracted;
    for (const std::string& path : ListAllFiles(extracted, "", [&] { pump.DoEvents(); })) {
        KillFile(path);
        const std::string folder = ParentFolder(path);
        if (PathDepth(folder) > PathDepth(deepest)) deepest = folder;
    }
    while (RemoveFolderStep(deepest, stopFolder)) pump.DoEvents();
}

}  // namespace

std::string FindSkinFolder(const std::string& extracted, EventPump& pump) {
    return SkinFolderOf(ListAllFiles(extracted, "", [&] { pump.DoEvents(); })).value_or(extracted);
}

void LoadSkinArchive(const std::string& archive, const std::string& tempFolder, EventPump& pump,
                     const std::function<void(std::string& folder)>& load, const ArchiveExtractor& extract) {
    // The copy and the extraction folder get fixed names inside the private working folder, so no
    // archive name (".wsz", "...wsz") can point them at anything outside it.
    const std::string work = MakeWorkingFolder(tempFolder);
    if (work.empty()) {
        std::string nothing = work;
        load(nothing);
        return;
    }
    const std::string copy = work + "skin.zip";
    const std::string extracted = work + "skin/";

    std::error_code error;
    fs::copy_file(archive, copy, fs::copy_options::overwrite_existing, error);
    MakePath(extracted);
    if (extract) extract(copy, extracted);
    else UnpackSkinArchive(copy, extracted);

    std::string folder = FindSkinFolder(extracted, pump);
    load(folder);

    for (int attempt = 0; attempt < kDeleteAttempts && FileExists(copy); ++attempt) {
        KillFile(copy);
        pump.DoEvents();
    }
    CleanUpExtraction(extracted, tempFolder, pump);
    // Whatever the chain above left (a second subfolder, a file that could not be listed) lies in
    // our own working folder; remove_all deletes links, never what they point to.
    if (fs::exists(fs::symlink_status(work, error))) fs::remove_all(work, error);
}

void SaveAsJPG(const Dib& picture, int jpegQuality, const std::string& fileName, EventPump& pump) {
    pump.DoEvents();
    SaveDibAsJpeg(picture, jpegQuality, fileName);
}

ViewerCommands::ViewerCommands(ProgramValues& values, SkinWindows& windows, EventPump& pump)
    : m_values(values), m_windows(windows), m_pump(pump) {
    m_picture1.Create(kPreviewWidth, kPreviewHeight, 24);
}

void ViewerCommands::ShowEntry(const std::string& base, const std::string& entry) {
    // The list shows only ".wsz" archives, but a ".zip" opened from the command line is an entry
    // too; a folder that merely carries such a name is still shown as a folder.
    std::error_code error;
    if (IsArchiveFileName(entry) && !fs::is_directory(base + entry, error)) {
        m_values.SkinName = entry.substr(0, entry.size() - 4);
        LoadSkinArchive(base + entry, m_values.TempFolder, m_pump,
                        [&](std::string& folder) { m_windows.LoadSkin(folder); });
    } else {
        m_values.SkinName = entry;
        m_windows.LoadSkin(base + entry);
    }
    if (Checks.Auto) {
        ComposePreview();
        SavePreview();
    }
}

bool ViewerCommands::List1_Click(const std::string& base, const std::string& entry) {
    if (m_busy) return false;
    m_busy = true;
    ShowEntry(base, entry);
    m_busy = false;
    return true;
}

bool ViewerCommands::Command1_Click() {
    if (m_busy) return false;
    m_busy = true;
    ComposePreview();
    SavePreview();
    m_busy = false;
    return true;
}

bool ViewerCommands::cmdAlle_Click(const std::string& base, const std::vector<std::string>& entries,
                                   const std::function<bool()>& confirm,
                                   const std::function<void(size_t)>& showSelected) {
    if (m_busy) return false;
    m_busy = true;
    const bool yes = confirm();
    if (yes) {
        // The run walks the list as it stood when it began, even if the folder changes meanwhile.
        for (size_t i = 0; i < entries.size() && !m_stopRequested; ++i) {
            if (showSelected) showSelected(i);
            m_pump.DoEvents();
            ShowEntry(base, entries[i]);
            m_pump.DoEvents();
            ComposePreview();
            SavePreview();
            m_pump.DoEvents();
        }
    }
    m_busy = false;
    return yes;
}

void ViewerCommands::ComposePreview() { veltrane::ComposePreview(m_windows, m_picture1); }

std::string ViewerCommands::PreviewPath() const {
    return m_values.ImagesFolder + m_values.SkinName + (Checks.BMP ? ".bmp" : ".jpg");
}

void ViewerCommands::SavePreview() {
    MakePath(m_values.ImagesFolder);
    const std::string path = PreviewPath();
    if (SomethingAt(path)) return;
    if (Checks.BMP) SavePicture(m_picture1, path);
    else SaveAsJPG(m_picture1, kPreviewJpegQuality, path, m_pump);
}

}  // namespace veltrane
