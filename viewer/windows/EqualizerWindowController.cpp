#include "windows/EqualizerWindowController.h"

#include "windows/HitMap.h"

namespace veltrane {

int32_t EqualizerWindowController::ColDec(double x, double y) const { return veltrane::ColDec(m_hitMap, x, y); }

void EqualizerWindowController::ButtonDown(int32_t) { m_host.Redraw(); }
void EqualizerWindowController::ButtonUp(int32_t) { m_host.Redraw(); }
void EqualizerWindowController::ButtonOver(int32_t) {}

void EqualizerWindowController::MouseDown(MouseButton button, double x, double y) {
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

void EqualizerWindowController::MouseMove(double x, double y) {
    if (m_shared.WindowDragging == 0) {
        ButtonOver(m_activeHitCode);
    } else {
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

void EqualizerWindowController::MouseUp(MouseButton button) {
    if (!EndPress(button)) return;
    ButtonUp(m_activeHitCode);
}

}  // namespace veltrane
