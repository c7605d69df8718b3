// Mouse handling of the imitated main window: the hit map decides which control a press lands on;
// ButtonDown sets that control's pressed flag, ButtonUp releases every control and flips the four
// toggles (shuffle, repeat, EQ, PL); presses on black pixels of the top band drag the window.
#pragma once

#include "platform/Dib.h"
#include "rendering/WinAMPGraphics.h"
#include "windows/LiveWindowController.h"

#include <cstdint>

namespace veltrane {

class MainWindowController : public LiveWindowController {
public:
    // state and hitMap belong to the window; host.Redraw() runs DrawMainWindow.
    MainWindowController(MainWindowState& state, const Dib& hitMap, LiveWindowShared& shared, LiveWindowHost& host)
        : LiveWindowController(shared, host), m_state(state), m_hitMap(hitMap) {}

    void MouseDown(MouseButton button, double x, double y) override;
    void MouseMove(double x, double y) override;
    void MouseUp(MouseButton button) override;

    int32_t ColDec(double x, double y) const;
    void ButtonDown(int32_t code);
    void ButtonUp(int32_t code);
    void ButtonOver(int32_t code);

    int32_t ActiveHitCode() const { return m_activeHitCode; }

private:
    MainWindowState& m_state;
    const Dib& m_hitMap;
    int32_t m_activeHitCode = 0;
};

}  // namespace veltrane
