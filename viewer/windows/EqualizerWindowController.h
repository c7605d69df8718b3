// Mouse handling of the imitated equalizer window. Its picture is static: presses decode a control
// from the hit map but change nothing; every press, release and move redraws the window.
#pragma once

#include "platform/Dib.h"
#include "windows/LiveWindowController.h"

#include <cstdint>

namespace veltrane {

class EqualizerWindowController : public LiveWindowController {
public:
    // host.Redraw() runs DrawEqualizerWindow.
    EqualizerWindowController(const Dib& hitMap, LiveWindowShared& shared, LiveWindowHost& host)
        : LiveWindowController(shared, host), m_hitMap(hitMap) {}

    void MouseDown(MouseButton button, double x, double y) override;
    void MouseMove(double x, double y) override;
    void MouseUp(MouseButton button) override;

    int32_t ColDec(double x, double y) const;
    void ButtonDown(int32_t code);
    void ButtonUp(int32_t code);
    void ButtonOver(int32_t code);

    int32_t ActiveHitCode() const { return m_activeHitCode; }

private:
    const Dib& m_hitMap;
    int32_t m_activeHitCode = 0;
};

}  // namespace veltrane
