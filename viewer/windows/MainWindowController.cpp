#include "windows/MainWindowController.h"

namespace veltrane {
namespace {

// The pressed flag that a control code sets, or nullptr for codes without one (0, -1, the clutterbar).
int16_t* PressedFlag(MainWindowState& s, int32_t code) {
    switch (code) {
    case 1: return &s.PreviousPressed;
    case 2: return &s.PlayPressed;
    case 3: return &s.PausePressed;
    case 4: return &s.StopPressed;
    case 5: return &s.NextPressed;
    case 6: return &s.EjectPressed;
    case 7: return &s.ShufflePressed;
    case 8: return &s.RepeatPressed;
    case 9: return &s.PositionPressed;
    case 10: return &s.VolumePressed;
    case 11: return &s.BalancePressed;
    case 12: return &s.EqualizerPressed;
    case 13: return &s.PlaylistPressed;
    case 14: return &s.ClosePressed;
    case 15: return &s.ShadePressed;
    case 16: return &s.MinimizePressed;
    case 17: return &s.OptionsPressed;
    default: return nullptr;
    }
}

int16_t* Toggle(MainWindowState& s, int32_t code) {
    switch (code) {
    case 7: return &s.ShuffleOn;
    case 8: return &s.RepeatOn;
    case 12: return &s.EqualizerOn;
    case 13: return &s.PlaylistOn;
    default: return nullptr;
    }
}

}  // namespace

void MainWindowController::ButtonDown(int32_t code) {
    if (int16_t* flag = PressedFlag(m_state, code)) *flag = 1;
    m_host.Redraw();
}

void MainWindowController::ButtonUp(int32_t code) {
    m_state.ReleaseAll();
    // A toggle's logical negation: 0 becomes -1 (true), anything else 0.
    if (int16_t* toggle = Toggle(m_state, code)) *toggle = *toggle == 0 ? -1 : 0;
    m_host.Redraw();
}

}  // namespace veltrane
