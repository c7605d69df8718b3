// The selection pipeline and preview saving. Selecting a skin folder loads it into the three live
// windows; selecting a ".wsz" archive unpacks it through the archive library into a private working
// folder, loads the skin from the folder that holds its main.bmp, and removes what it unpacked.
// With automatic saving on, the preview (the three windows stacked) is then saved as JPEG or BMP
// into the images folder; an existing preview is never replaced.
#pragma once

#include "platform/EventPump.h"
#include "app/ProgramValues.h"
#include "platform/Dib.h"
#include "rendering/WinAMPGraphics.h"

#include <functional>
#include <string>
#include <vector>

namespace veltrane {

// The check marks of the popup menu, the viewer's only settings: automatic saving (off at start)
// and the preview format, JPEG (at start) or BMP; exactly one of the two formats is checked.
struct PopupChecks {
    bool Auto = false;
    bool JPG = true;
    bool BMP = false;

    void mnuAuto_Click() { Auto = !Auto; }
    void mnuJPG_Click() { BMP = false, JPG = true; }
    void mnuBMP_Click() { BMP = true, JPG = false; }
};

// The folder of an unpacked skin: extracted itself when it holds a main.bmp, otherwise the folder of
// the last main.bmp listed below it (any letter case), or extracted when there is none.
std::string FindSkinFolder(const std::string& extracted, EventPump& pump);

// Unpacks an archive into a folder; UnpackSkinArchive (the archive library, within the skin
// budget) unless the caller swaps it.
using ArchiveExtractor = std::function<void(const std::string& archive, const std::string& folder)>;

// Unpacks archive and hands the skin's folder to load, then removes everything it unpacked. All of
// it happens inside a working folder of its own, made inside tempFolder and removed afterwards, so
// nothing that was there before is touched. The viewer's selection and the batch tool both use it.
void LoadSkinArchive(const std::string& archive, const std::string& tempFolder, EventPump& pump,
                     const std::function<void(std::string& folder)>& load, const ArchiveExtractor& extract = {});

// The JPEG quality of previews.
inline constexpr int kPreviewJpegQuality = 90;

// Writes picture as a JPEG file of the given quality (1 to 100). Refuses to replace an existing file.
void SaveAsJPG(const Dib& picture, int jpegQuality, const std::string& fileName, EventPump& pump);

// The viewer's commands over its program-wide values, its three live windows and the preview
// canvas. While one selection or save run is under way (it lets events run at fixed points), new
// selections and saves are refused.
class ViewerCommands {
public:
    ViewerCommands(ProgramValues& values, SkinWindows& windows, EventPump& pump);

    PopupChecks Checks;

    bool Busy() const { return m_busy; }
    const Dib& Picture1() const { return m_picture1; }

    // Shows the entry of base's skin list and saves its preview when automatic saving is on.
    // Returns false when refused because a run is under way.
    bool List1_Click(const std::string& base, const std::string& entry);
    // Composes and saves the preview of the skin now shown. False when refused.
    bool Command1_Click();
    // Shows and saves every entry of a skin list, in order. confirm() is asked first; showSelected(i)
    // marks entry i as selected in the list before it is shown. False when refused or declined.
    bool cmdAlle_Click(const std::string& base, const std::vector<std::string>& entries,
                       const std::function<bool()>& confirm, const std::function<void(size_t)>& showSelected);

    // Ends a save run after the entry it is showing (the program is closing).
    void RequestStop() { m_stopRequested = true; }

    // Paints the three windows' images into the canvas.
    void ComposePreview();
    // Saves the canvas as the preview of SkinName: ImagesFolder + SkinName + ".bmp" or ".jpg".
    void SavePreview();
    // The path SavePreview writes to with the current format.
    std::string PreviewPath() const;

private:
    void ShowEntry(const std::string& base, const std::string& entry);

    ProgramValues& m_values;
    SkinWindows& m_windows;
    EventPump& m_pump;
    Dib m_picture1;
    bool m_busy = false;
    bool m_stopRequested = false;
};

}  // namespace veltrane
