#include "gui/frmEQ.h"

#include "windows/EqualizerWindowController.h"

namespace veltrane {

frmEQ::frmEQ(EqualizerWindow& window, LiveWindowShared& shared)
    : frmSkinWindow(window, QStringLiteral("WinAMP-EQ"), shared), m_window(window) {
    SetController(std::make_unique<EqualizerWindowController>(window.picCol, shared, *this));
}

}  // namespace veltrane
