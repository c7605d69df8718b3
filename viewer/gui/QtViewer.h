// The running viewer: the program-wide values, the three live windows and the browser, created and
// shown by Start in the order of the program's start-up.
#pragma once

#include "gui/Browser.h"
#include "app/Commands.h"
#include "app/ProgramValues.h"
#include "gui/QtEventPump.h"
#include "app/StartArgument.h"
#include "rendering/WinAMPGraphics.h"
#include "windows/LiveWindowController.h"
#include "gui/frmEQ.h"
#include "gui/frmMain.h"
#include "gui/frmPls.h"

#include <memory>

namespace veltrane {

class QtViewer {
public:
    // values: the program's folders (MakeProgramValues); nothing is created on disk.
    explicit QtViewer(ProgramValues values);
    ~QtViewer();

    // Loads the live windows hidden with the built-in skin, then loads and shows the browser on
    // the Skins folder (or the program's folder when there is none) with its skin list filled.
    // With a place from the command line, the browser then moves to its folder and shows its entry
    // as if it had been clicked. False when that folder cannot be shown (the browser stays on the
    // Skins folder).
    bool Start(const StartPlace& place = {});

    ProgramValues Values;
    SkinWindows Windows;
    LiveWindowShared Shared;
    QtEventPump Pump;
    ViewerCommands Commands;
    std::unique_ptr<frmMain> Main;
    std::unique_ptr<frmEQ> Equalizer;
    std::unique_ptr<frmPls> Playlist;
    std::unique_ptr<Browser> BrowserWindow;
};

}  // namespace veltrane
