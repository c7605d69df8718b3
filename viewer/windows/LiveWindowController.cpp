#include "windows/LiveWindowController.h"

#include "windows/HitMap.h"

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

int32_t HitMapWindowController::ColDec(double x, double y) const { return veltrane::ColDec(m_hitMap, x, y); }

void HitMapWindowController::MouseDown(MouseButton button, double x, double y) {
    if (!BeginPress(button)) return;
    m_activeHitCode = ColDec(x, y);
    if (m_activeHitCode != 0) {
        ButtonDown(m_activeHitCode);
        m_dragOriginX = kNoDrag;
    } else {
        m_dragOriginX = float(x);
        m_dragOriginY = float(y);
    }
}

void HitMapWindowController::MouseMove(double x, double y) {
    if (m_shared.WindowDragging == 0) {
        ButtonOver(m_activeHitCode);
        if (!RedrawsOnHover()) return;
    } else {
        // Sliding onto another control while the button is held presses that control instead.
        const int32_t code = ColDec(x, y);
        if (code != m_activeHitCode) {
            m_activeHitCode = code;
            ButtonUp(0);
            ButtonDown(m_activeHitCode);
        }
        if (m_activeHitCode == 0) DragIfInBand(y);
    }
    m_host.Redraw();
}

void HitMapWindowController::MouseUp(MouseButton button) {
    if (!EndPress(button)) return;
    ButtonUp(m_activeHitCode);
}

}  // namespace veltrane
