// Mouse handling of the imitated playlist window: no hit map, so any press in the top band drags it.
#pragma once

#include "windows/LiveWindowController.h"

namespace veltrane {

class PlaylistWindowController : public LiveWindowController {
public:
    // host.Redraw() runs DrawPlaylistWindow.
    PlaylistWindowController(LiveWindowShared& shared, LiveWindowHost& host) : LiveWindowController(shared, host) {}

    void MouseDown(MouseButton button, double x, double y) override;
    void MouseMove(double x, double y) override;
    void MouseUp(MouseButton button) override;
};

}  // namespace veltrane
