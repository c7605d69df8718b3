// Mouse handling of the imitated main window: the hit map decides which control a press lands on;
// ButtonDown sets that control's pressed flag, ButtonUp releases every control and flips the four
// toggles (shuffle, repeat, EQ, PL); presses on black pixels of the top band drag the window.
#pragma once

#include "platform/Dib.h"
#include "rendering/WinAMPGraphics.h"
#include "windows/LiveWindowController.h"

#include <cstdint>

namespace veltrane {

class MainWindowController : public HitMapWindowController {
public:
    // state and hitMap belong to the window; host.Redraw() runs DrawMainWindow.
    MainWindowController(MainWindowState& state, const Dib& hitMap, LiveWindowShared& shared, LiveWindowHost& host)
        : HitMapWindowController(hitMap, shared, host), m_state(state) {}

    void ButtonDown(int32_t code) override;
    void ButtonUp(int32_t code) override;

private:
    MainWindowState& m_state;
};

}  // namespace veltrane
