// The equalizer window "WinAMP-EQ": its picture is static; presses decode controls but change nothing.
#pragma once

#include "gui/frmSkinWindow.h"

namespace veltrane {

class frmEQ : public frmSkinWindow {
    Q_OBJECT
public:
    frmEQ(EqualizerWindow& window, LiveWindowShared& shared);

    void Redraw() override { m_window.DrawEqualizerWindow(); }

private:
    EqualizerWindow& m_window;
};

}  // namespace veltrane
