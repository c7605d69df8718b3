#include "gui/QtViewer.h"

#include "archive/UnZIP.h"

namespace veltrane {

QtViewer::QtViewer(ProgramValues values) : Values(std::move(values)), Commands(Values, Windows, Pump) {
    Shared.RefuseInput = [this] { return Commands.Busy(); };
    SetPackageLibraryFolder(Values.AppFolder);
    SetPackageEventPump(&Pump);
}

QtViewer::~QtViewer() { SetPackageEventPump(nullptr); }

bool QtViewer::Start(const StartPlace& place) {
    // The live windows, hidden; their load handlers draw the built-in skin.
    Windows.Main.TitleText = Values.TitleText;
    Main = std::make_unique<frmMain>(Windows.Main, Shared);
    Equalizer = std::make_unique<frmEQ>(Windows.Equalizer, Shared);
    Playlist = std::make_unique<frmPls>(Windows.Playlist, Shared);
    Windows.LoadDefault();

    BrowserWindow =
        std::make_unique<Browser>(Commands, Shared, std::vector<QWidget*>{Main.get(), Equalizer.get(), Playlist.get()});
    for (frmSkinWindow* w : {static_cast<frmSkinWindow*>(Main.get()), static_cast<frmSkinWindow*>(Equalizer.get()),
                             static_cast<frmSkinWindow*>(Playlist.get())})
        w->PopupMenu = [this] { BrowserWindow->ShowPopupMenu(); };

    BrowserWindow->Form_Load(Values);
    Values.SkinName = kBaseSkinName;
    BrowserWindow->SetDrive(Values.AppFolder);
    BrowserWindow->SetFolder(Values.AppFolder);
    BrowserWindow->SetFolder(Values.SkinsFolder);  // stays on AppFolder when there is no Skins folder
    BrowserWindow->Dir1_Change();
    BrowserWindow->show();

    if (place.folder.empty()) return true;
    if (!BrowserWindow->SetFolder(place.folder)) return false;
    BrowserWindow->Dir1_Change();
    if (!place.entry.empty()) BrowserWindow->ShowEntry(place.entry);
    return true;
}

}  // namespace veltrane
