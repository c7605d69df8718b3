#include "rendering/DefaultSkin.h"

namespace veltrane {

SkinTheme DefaultTheme() { return SkinTheme{}; }

// Interim: blank bitmaps at the standard sizes until the artwork is painted.
SkinArt PaintSkin(const SkinTheme&) {
    SkinArt art;
    art.main.Create(275, 116, 8);
    art.playPause.Create(42, 9, 8);
    art.buttons.Create(136, 36, 8);
    art.titleBar.Create(344, 87, 8);
    art.monoStereo.Create(58, 24, 8);
    art.positionBar.Create(307, 10, 8);
    art.shuffleRepeat.Create(92, 85, 8);
    art.volume.Create(68, 433, 8);
    art.text.Create(155, 74, 8);
    art.balance.Create(68, 433, 8);
    art.numbers.Create(99, 13, 8);
    art.equalizer.Create(275, 315, 8);
    art.playlist.Create(280, 186, 8);
    art.playlistBackground = "#000000";
    return art;
}

const SkinArt& DefaultSkinArt() {
    static const SkinArt art = PaintSkin(DefaultTheme());
    return art;
}

}  // namespace veltrane
