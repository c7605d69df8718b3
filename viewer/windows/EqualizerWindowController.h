// Mouse handling of the imitated equalizer window. Its picture is static: presses decode a control
// from the hit map but change nothing; every press, release and move redraws the window.
#pragma once

#include "platform/Dib.h"
#include "windows/LiveWindowController.h"

#include <cstdint>

namespace veltrane {

class EqualizerWindowController : public HitMapWindowController {
public:
    // host.Redraw() runs DrawEqualizerWindow.
    using HitMapWindowController::HitMapWindowController;

    void ButtonDown(int32_t) override { m_host.Redraw(); }
    void ButtonUp(int32_t) override { m_host.Redraw(); }

protected:
    bool RedrawsOnHover() const override { return true; }
};

}  // namespace veltrane
