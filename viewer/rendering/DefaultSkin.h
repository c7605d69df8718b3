// The built-in default skin: every bitmap of a skin, painted by code at the standard sizes, in a
// colour theme. The viewer's windows start with the default theme; the demo skins of the build are
// other themes of the same artwork.
#pragma once

#include "platform/Dib.h"

#include <string>
#include <vector>

namespace veltrane {

struct SkinTheme {
    RgbQuad panel;       // body of the windows
    RgbQuad panelLight;  // bevel highlights
    RgbQuad panelDark;   // bevel shadows, grooves
    RgbQuad lcd;         // display background
    RgbQuad lcdText;     // lit display text and digits
    RgbQuad lcdDim;      // unlit segments and lamps
    RgbQuad accent;      // pressed and switched-on controls, slider fill
    RgbQuad accentHot;   // the far end of the volume fill
    RgbQuad title;       // active title bar
    RgbQuad label;       // engraved labels on the panel
};

SkinTheme DefaultTheme();

// One skin's bitmaps, each at its standard size with 8 bits per pixel.
struct SkinArt {
    Dib main, playPause, buttons, titleBar, monoStereo, positionBar, shuffleRepeat, volume, text, balance, numbers,
        equalizer, playlist;
    // The list background a skin of this theme names in PLEDIT.TXT ("NormalBG"), as "#RRGGBB". The
    // built-in default itself starts with a black list, as a skin without PLEDIT.TXT shows it.
    std::string playlistBackground;
};

SkinArt PaintSkin(const SkinTheme& theme);

// The default theme's artwork, painted once per process and shared read-only.
const SkinArt& DefaultSkinArt();

}  // namespace veltrane
