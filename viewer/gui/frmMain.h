// The main window "WinAMP": presses the imitated controls through its hit map; a held press slides
// from control to control; shuffle, repeat, EQ and PL toggle on release.
#pragma once

#include "gui/frmSkinWindow.h"

namespace veltrane {

class frmMain : public frmSkinWindow {
    Q_OBJECT
public:
    frmMain(MainWindow& window, LiveWindowShared& shared);

    void Redraw() override { m_window.DrawMainWindow(); }

private:
    MainWindow& m_window;
};

}  // namespace veltrane
