// WinAMPGraphics: the three imitated player windows (main, equalizer, playlist). Each window owns
// its image slots, which a skin folder's bitmaps fill, and a persistent image of its client area
// that the window's composition paints sprite by sprite. The Qt widgets wrap these objects and show
// the persistent image; the preview is composed from the same images. No state is shared between
// window sets, so any number of them can live side by side; one set is used by one thread at a time.
#pragma once

#include "platform/Dib.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace veltrane {

class SkinFiles;

// The song title shown by the main window until the start-up sets its own.
inline const char* const kDefaultTitleText = "Harrowby Veltrane  ***  ";

// Client sizes of the three windows, in pixels.
inline constexpr int32_t kMainWidth = 275;
inline constexpr int32_t kMainHeight = 116;
inline constexpr int32_t kPlaylistWidth = 275;
inline constexpr int32_t kPlaylistHeight = 118;

// Booleans are 16-bit, -1 for true and 0 for false; pressed flags are 1 or 0.
inline constexpr int16_t kTrue = -1;
inline constexpr int16_t kFalse = 0;

// Display values, toggles and pressed flags of the imitated main window. Everything starts at zero;
// LoadMainSkin resets the display values, the mouse handling sets the flags and toggles.
struct MainWindowState {
    int32_t Volume = 0;         // 0..27
    int32_t Balance = 0;        // 0..54, 27 is the centre
    float Position = 0.0f;      // 0.0..1.0
    std::string BitrateText;    // kbps display
    std::string FrequencyText;  // kHz display
    std::string SongTitle;
    int16_t ShuffleOn = 0, RepeatOn = 0, EqualizerOn = 0, PlaylistOn = 0;
    int16_t ChannelMode = 0;        // 1 mono lamp lit, 2 stereo lamp lit, otherwise none
    int16_t PlayState = 0;          // 0 playing, 1 paused, 2 stopped
    int16_t TimeValue = 0;          // shown by the four time digits, 0..9999
    int16_t TitleInactive = 0;      // 0 or 1
    int16_t ClutterbarPressed = 0;  // 1..5, 0 for none
    int16_t PreviousPressed = 0, PlayPressed = 0, PausePressed = 0, StopPressed = 0, NextPressed = 0, EjectPressed = 0;
    int16_t ShufflePressed = 0, RepeatPressed = 0, EqualizerPressed = 0, PlaylistPressed = 0;
    int16_t PositionPressed = 0, VolumePressed = 0, BalancePressed = 0;
    int16_t OptionsPressed = 0, MinimizePressed = 0, ShadePressed = 0, ClosePressed = 0;

    // Sets all seventeen pressed flags to 0.
    void ReleaseAll();
};

// A borderless window's picture: its client size and the persistent image the drawing goes to.
// Refresh presents the image; a widget hooks OnRefresh to repaint (and to follow size changes).
class SkinWindow {
public:
    int32_t Width() const { return m_image.Width(); }
    int32_t Height() const { return m_image.Height(); }
    const Dib& Image() const { return m_image; }

    std::function<void()> OnRefresh;

protected:
    // Resizes the persistent image (24 bits per pixel); pixels inside both sizes are kept.
    void SetClientSize(int32_t width, int32_t height, ColorRef fill = 0);
    void Refresh() const {
        if (OnRefresh) OnRefresh();
    }

    Dib m_image;
};

class MainWindow : public SkinWindow {
public:
    // Fills the slots with the built-in default skin and the hit map; the image is black until the
    // first LoadMainSkin (the window's load handler calls it with an empty folder).
    MainWindow();

    // Loads a skin folder's main-window bitmaps into the slots (nothing for an empty folder), sizes
    // the window, resets the display values and draws. A non-empty folder gets a trailing "/" in
    // place. Missing or unreadable files leave their slot as it was.
    void LoadMainSkin(std::string& folder);
    // The same from a skin's files wherever they lie; nullptr loads nothing.
    void LoadMainSkin(const SkinFiles* files);
    // Composes the window from the slots and State, then presents it.
    void DrawMainWindow();
    // Draws text in the 5 x 6 bitmap font at (x, y); text is turned into upper case in place.
    void DrawBitmapText(int32_t x, int32_t y, std::string& text);

    // Image slots, filled from MAIN.BMP, PLAYPAUS.BMP, CBUTTONS.BMP, TITLEBAR.BMP, MONOSTER.BMP,
    // POSBAR.BMP, SHUFREP.BMP, VOLUME.BMP, TEXT.BMP, BALANCE.BMP (or VOLUME.BMP) and NUMBERS.BMP
    // (or NUMS_EX.BMP).
    Dib picBack, picPP, picButs, picTitle, picMS, picBar, picSR, picVol, picText, picBals, picNums;
    // Hit map, 275 x 116 at 24 bits: each control's region is red 10 x code, all else black.
    Dib picCol;

    MainWindowState State;
    // What LoadMainSkin puts into State.SongTitle.
    std::string TitleText = kDefaultTitleText;
};

class EqualizerWindow : public SkinWindow {
public:
    EqualizerWindow();

    // Loads EQMAIN.BMP into picBack (nothing for an empty folder), sizes the window and draws.
    void LoadEqualizerSkin(std::string& folder);
    void LoadEqualizerSkin(const SkinFiles* files);
    // Composes the static equalizer picture from picBack and presents it.
    void DrawEqualizerWindow();

    Dib picBack;
    Dib picCol;  // hit map, as in the main window
};

class PlaylistWindow : public SkinWindow {
public:
    PlaylistWindow();

    // Loads PLEDIT.BMP into picBack and the background colour from PLEDIT.TXT (nothing for an empty
    // folder), sizes the window to 275 x 118 and draws.
    void LoadPlaylistSkin(std::string& folder);
    void LoadPlaylistSkin(const SkinFiles* files);
    // Draws the frame of an empty playlist over the background colour and presents it.
    void DrawPlaylistWindow();

    ColorRef BackColor() const { return m_backColor; }
    // Sets the background colour and clears the persistent image to it.
    void SetBackColor(ColorRef color);

    Dib picBack;

private:
    ColorRef m_backColor = 0;
};

// One set of the three windows: what the viewer shows, or what the batch tool renders one skin with.
struct SkinWindows {
    MainWindow Main;
    EqualizerWindow Equalizer;
    PlaylistWindow Playlist;

    // The windows' load handlers: draws the built-in default skin (or the last skin loaded).
    void LoadDefault();
    // Loads one skin folder into all three windows, in the order main, equalizer, playlist.
    void LoadSkin(const std::string& folder);
    void LoadSkin(const SkinFiles& files);
};

// Preview canvas size: the three windows stacked.
inline constexpr int32_t kPreviewWidth = 275;
inline constexpr int32_t kPreviewHeight = 350;

// Paints the three windows' images into the canvas at (0, 0), (0, main height) and
// (0, 2 x main height), unscaled. The canvas is not cleared first.
void ComposePreview(const SkinWindows& windows, Dib& canvas);

// The value of key in section of an INI-style file, or defaultValue when there is none (missing
// file, section or key, or an empty value). At most 2047 characters.
std::string ReadIniValue(const std::string& section, const std::string& key, const std::string& file,
                         const std::string& defaultValue = {});
// The same over the text of such a file.
std::string ReadIniValueFromText(const std::string& section, const std::string& key, std::string_view text,
                                 const std::string& defaultValue = {});

// "#RRGGBB" or "RRGGBB" (hexadecimal digits in either case; characters after the sixth ignored;
// short texts give short or empty pieces, which count as 0) to red + 256 x green + 65536 x blue.
// nullopt when a non-empty piece is not two hexadecimal digits.
std::optional<ColorRef> ParseSkinColor(const std::string& text);
// The decimal text of a two-digit hexadecimal piece ("0" for an empty piece, "" when it is not one).
std::string HexPairValue(const std::string& piece);
// value as text, with pad put in front until it is at least width characters long.
std::string PadLeft(const std::string& value, int width, const std::string& pad);

// Top-left corner of a character's 5 x 6 cell in TEXT.BMP (the character after upper-casing).
struct FontCell {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const FontCell&) const = default;
};
FontCell FontCellOf(char32_t character);

}  // namespace veltrane
