#include "gui/frmMain.h"

#include "windows/MainWindowController.h"

namespace veltrane {

frmMain::frmMain(MainWindow& window, LiveWindowShared& shared)
    : frmSkinWindow(window, QStringLiteral("WinAMP"), shared), m_window(window) {
    SetController(std::make_unique<MainWindowController>(window.State, window.picCol, shared, *this));
}

}  // namespace veltrane
