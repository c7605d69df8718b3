#include "windows/LiveWindowController.h"

#include <cmath>

namespace veltrane {

bool LiveWindowController::BeginPress(MouseButton button) {
    if (button == MouseButton::Right) {
        m_host.ShowPopupMenu();
        return false;
    }
    if (m_shared.RefuseInput && m_shared.RefuseInput()) return false;
    m_holding = true;
    m_shared.WindowDragging = -1;
    return true;
}

bool LiveWindowController::EndPress(MouseButton button) {
    // The release of a right click, or of a refused press, must not release (and so toggle) the
    // control that the last accepted press decoded.
    if (button == MouseButton::Right || !m_holding) return false;
    m_holding = false;
    m_shared.WindowDragging = 0;
    return true;
}

void LiveWindowController::DragIfInBand(double y) {
    if (m_dragOriginX == kNoDrag || !(y < kDragBandHeight)) return;
    const Point cursor = m_host.CursorPos();
    // The window's position is kept in whole pixels; the origin is rounded as the form runtime would.
    m_host.MoveWindowTo(int32_t(std::nearbyint(cursor.x - double(m_dragOriginX))),
                        int32_t(std::nearbyint(cursor.y - double(m_dragOriginY))));
}

}  // namespace veltrane
