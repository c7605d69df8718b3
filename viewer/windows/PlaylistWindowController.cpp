#include "windows/PlaylistWindowController.h"

namespace veltrane {

void PlaylistWindowController::MouseDown(MouseButton button, double x, double y) {
    if (!BeginPress(button)) return;
    m_dragOriginX = float(x);
    m_dragOriginY = float(y);
}

void PlaylistWindowController::MouseMove(double, double y) {
    if (m_shared.WindowDragging != 0) DragIfInBand(y);
    m_host.Redraw();
}

void PlaylistWindowController::MouseUp(MouseButton button) { EndPress(button); }

}  // namespace veltrane
