// The playlist window "WinAMP-Playlist": no controls; it is dragged by its top band.
#pragma once

#include "gui/frmSkinWindow.h"

namespace veltrane {

class frmPls : public frmSkinWindow {
    Q_OBJECT
public:
    frmPls(PlaylistWindow& window, LiveWindowShared& shared);

    void Redraw() override { m_window.DrawPlaylistWindow(); }

private:
    PlaylistWindow& m_window;
};

}  // namespace veltrane
