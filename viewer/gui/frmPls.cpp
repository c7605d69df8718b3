#include "gui/frmPls.h"

#include "windows/PlaylistWindowController.h"

namespace veltrane {

frmPls::frmPls(PlaylistWindow& window, LiveWindowShared& shared)
    : frmSkinWindow(window, QStringLiteral("WinAMP-Playlist"), shared), m_window(window) {
    SetController(std::make_unique<PlaylistWindowController>(shared, *this));
}

}  // namespace veltrane
