#include "rendering/WinAMPGraphics.h"

#include "base/Utf8.h"
#include "platform/FileHandling.h"
#include "platform/Blit.h"
#include "platform/Picture.h"
#include "platform/Profile.h"
#include "rendering/DefaultSkin.h"
#include "rendering/HitMaps.h"
#include "rendering/SkinFiles.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace veltrane {
namespace {

void LoadSlot(const SkinFiles& files, const char* name, Dib& slot) { files.LoadBitmap(name, slot); }

// Loads the first name into the slot, or the fallback name when the first is no regular file.
void LoadSlotWithFallback(const SkinFiles& files, const char* name, const char* fallback, Dib& slot) {
    files.LoadBitmap(files.HasFile(name) ? name : fallback, slot);
}

// Coordinates computed from state values far outside their range must not overflow; clamped, the
// copy simply misses the source bitmap and leaves the window as it was.
int32_t Coordinate(int64_t value) {
    return int32_t(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min() / 2, std::numeric_limits<int32_t>::max() / 2));
}

// Rounds to the nearest integer, ties to even (the default floating-point rounding mode).
int32_t RoundEven(double value) {
    if (!std::isfinite(value)) return 0;
    return Coordinate(int64_t(std::nearbyint(std::clamp(value, -1e12, 1e12))));
}

void Copy(Dib& dst, int32_t x, int32_t y, int32_t w, int32_t h, const Dib& src, int64_t sx, int64_t sy) {
    BitBlt(dst, x, y, w, h, src, Coordinate(sx), Coordinate(sy));
}

// The upper-case form used by the bitmap font: ASCII letters and the accented letters of Latin-1.
char32_t ToUpper(char32_t c) {
    if (c >= U'a' && c <= U'z') return c - 32;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    return c;
}

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return text;
}

// Fills a 24-bit image with one colour: the first row pixel by pixel, the others copied from it.
void FillImage(Dib& image, ColorRef colour) {
    if (image.Height() <= 0) return;
    const uint8_t bgr[3] = {uint8_t(colour >> 16), uint8_t(colour >> 8), uint8_t(colour)};
    uint8_t* first = image.Row(0);
    for (int32_t x = 0; x < image.Width(); ++x) std::copy(bgr, bgr + 3, first + 3 * x);
    const std::size_t bytes = std::size_t(image.Width()) * 3;
    for (int32_t y = 1; y < image.Height(); ++y) std::memcpy(image.Row(y), first, bytes);
}

}  // namespace

void MainWindowState::ReleaseAll() {
    PreviousPressed = PlayPressed = PausePressed = StopPressed = NextPressed = EjectPressed = 0;
    ShufflePressed = RepeatPressed = EqualizerPressed = PlaylistPressed = 0;
    PositionPressed = VolumePressed = BalancePressed = 0;
    OptionsPressed = MinimizePressed = ShadePressed = ClosePressed = 0;
}

void SkinWindow::SetClientSize(int32_t width, int32_t height, ColorRef fill) {
    if (m_image.Width() == width && m_image.Height() == height) return;
    Dib resized(width, height, 24);
    if (fill != 0) FillImage(resized, fill);
    if (!m_image.Empty()) BitBlt(resized, 0, 0, width, height, m_image, 0, 0);
    m_image = std::move(resized);
}

// ---- Main window ---------------------------------------------------------------------------------

MainWindow::MainWindow() {
    const SkinArt& art = DefaultSkinArt();
    picBack = art.main;
    picPP = art.playPause;
    picButs = art.buttons;
    picTitle = art.titleBar;
    picMS = art.monoStereo;
    picBar = art.positionBar;
    picSR = art.shuffleRepeat;
    picVol = art.volume;
    picText = art.text;
    picBals = art.balance;
    picNums = art.numbers;
    picCol = MainHitMap();
    SetClientSize(picCol.Width(), picCol.Height());
}

void MainWindow::LoadMainSkin(std::string& folder) {
    if (folder.empty()) return LoadMainSkin(nullptr);
    const SkinFolderFiles files(AddBackslash(folder));
    LoadMainSkin(&files);
}

void MainWindow::LoadMainSkin(const SkinFiles* skin) {
    if (skin) {
        const SkinFiles& files = *skin;
        LoadSlot(files, "MAIN.BMP", picBack);
        LoadSlot(files, "PLAYPAUS.BMP", picPP);
        LoadSlot(files, "CBUTTONS.BMP", picButs);
        LoadSlot(files, "TITLEBAR.BMP", picTitle);
        LoadSlot(files, "MONOSTER.BMP", picMS);
        LoadSlot(files, "POSBAR.BMP", picBar);
        LoadSlot(files, "SHUFREP.BMP", picSR);
        LoadSlot(files, "VOLUME.BMP", picVol);
        LoadSlot(files, "TEXT.BMP", picText);
        LoadSlotWithFallback(files, "BALANCE.BMP", "VOLUME.BMP", picBals);
        LoadSlotWithFallback(files, "NUMBERS.BMP", "NUMS_EX.BMP", picNums);
    }
    SetClientSize(picCol.Width(), picCol.Height());
    State.SongTitle = TitleText;
    State.BitrateText = "128";
    State.FrequencyText = "44";
    State.Balance = 35;
    State.Volume = 25;
    DrawMainWindow();
}

void MainWindow::DrawMainWindow() {
    const MainWindowState& s = State;
    Dib& dst = m_image;
    const int32_t wb = picBack.Width(), hb = picBack.Height();

    Copy(dst, 0, 0, wb, hb, picBack, 0, 0);
    Copy(dst, 0, 0, wb, 14, picTitle, 27, 15 * int64_t(s.TitleInactive));
    Copy(dst, 6, 3, 9, 9, picTitle, 0, 9 * int64_t(s.OptionsPressed));
    Copy(dst, 245, 3, 9, 9, picTitle, 9, 9 * int64_t(s.MinimizePressed));
    Copy(dst, 254, 3, 9, 9, picTitle, 9 * int64_t(s.ShadePressed), 18);
    Copy(dst, 265, 3, 9, 9, picTitle, 18, 9 * int64_t(s.ClosePressed));
    if (s.ClutterbarPressed > 0) Copy(dst, 10, 22, 8, 43, picTitle, 304 + 8 * (int64_t(s.ClutterbarPressed) - 1), 44);
    else Copy(dst, 10, 22, 8, 43, picTitle, 304, 0);

    // The time as four digits, "0000" to "9999"; the glyph of digit d lies at x = 9 x d.
    const int time = std::clamp<int>(s.TimeValue, 0, 9999);
    const int digits[4] = {time / 1000, time / 100 % 10, time / 10 % 10, time % 10};
    const int32_t digitX[4] = {48, 60, 78, 90};
    for (int i = 0; i < 4; ++i) Copy(dst, digitX[i], 26, 9, 13, picNums, 9 * digits[i], 0);

    // Volume and balance: one 15-row strip per step, the knob cells at y = 422 (pressed at x = 0).
    const int32_t xv = RoundEven(107.0 + double(s.Volume) / 27.0 * 50.0);
    const int32_t xb = RoundEven(177.0 + double(s.Balance) / 54.0 * 20.0);
    Copy(dst, 107, 57, 68, 13, picVol, 0, 15 * int64_t(s.Volume));
    Copy(dst, xv, 58, 14, 11, picVol, 15 - 15 * int64_t(s.VolumePressed), 422);
    Copy(dst, 177, 57, 38, 13, picBals, 9, 15 * std::abs(int64_t(s.Balance) - 27));
    Copy(dst, xb, 58, 14, 11, picBals, 15 - 15 * int64_t(s.BalancePressed), 422);

    // Play state: the arrow with the two thirds of the indicator lamp, or the pause or stop symbol.
    if (s.PlayState == 0) {
        const int32_t lamp = s.Position < 0.9f ? 36 : 39;
        Copy(dst, 26, 28, 8, 9, picPP, 1, 0);
        Copy(dst, 24, 28, 3, 3, picPP, lamp, 0);
        Copy(dst, 24, 34, 3, 3, picPP, lamp, 6);
    } else if (s.PlayState > 0) {
        Copy(dst, 26, 28, 9, 9, picPP, 9 * int64_t(s.PlayState), 0);
    }

    // Repeat and shuffle count as on only at exactly -1; EQ and PL at any non-zero value.
    const int64_t repeatOn = s.RepeatOn == kTrue ? 1 : 0, shuffleOn = s.ShuffleOn == kTrue ? 1 : 0;
    Copy(dst, 210, 89, 29, 15, picSR, 0, 30 * repeatOn + 15 * int64_t(s.RepeatPressed));
    Copy(dst, 164, 89, 46, 15, picSR, 29, 30 * shuffleOn + 15 * int64_t(s.ShufflePressed));
    Copy(dst, 219, 58, 23, 12, picSR, 46 * int64_t(s.EqualizerPressed), s.EqualizerOn == 0 ? 61 : 73);
    Copy(dst, 242, 58, 23, 12, picSR, 23 + 46 * int64_t(s.PlaylistPressed), s.PlaylistOn == 0 ? 61 : 73);
    Copy(dst, 239, 41, 29, 12, picMS, 0, s.ChannelMode == 2 ? 0 : 12);
    Copy(dst, 212, 41, 27, 12, picMS, 29, s.ChannelMode == 1 ? 0 : 12);

    Copy(dst, 16, 88, 23, 18, picButs, 0, 18 * int64_t(s.PreviousPressed));
    Copy(dst, 39, 88, 23, 18, picButs, 23, 18 * int64_t(s.PlayPressed));
    Copy(dst, 62, 88, 23, 18, picButs, 46, 18 * int64_t(s.PausePressed));
    Copy(dst, 85, 88, 23, 18, picButs, 69, 18 * int64_t(s.StopPressed));
    Copy(dst, 108, 88, 22, 18, picButs, 92, 18 * int64_t(s.NextPressed));
    Copy(dst, 136, 89, 22, 16, picButs, 114, 16 * int64_t(s.EjectPressed));

    const int32_t xp = RoundEven(double(16.0f + 223.0f * s.Position));
    Copy(dst, 16, 72, 249, 10, picBar, 0, 0);
    Copy(dst, xp, 72, 29, 10, picBar, 248 + 30 * int64_t(s.PositionPressed), 0);

    DrawBitmapText(111, 43, State.BitrateText);
    DrawBitmapText(156, 43, State.FrequencyText);
    DrawBitmapText(111, 27, State.SongTitle);
    Refresh();
}

FontCell FontCellOf(char32_t c) {
    if (c >= U'A' && c <= U'Z') return {5 * int32_t(c - U'A'), 0};
    if (c >= U'0' && c <= U'9') return {5 * int32_t(c - U'0'), 6};
    switch (c) {
    case U'"': return {130, 0};
    case U'@': return {135, 0};
    case U'=': return {60, 6};
    case U'(': return {65, 6};
    case U')': return {70, 6};
    case U'-': return {75, 6};
    case U'\'': return {80, 6};
    case U'!': return {85, 6};
    case U'_': return {90, 6};
    case U'+': return {95, 6};
    case U'\\': return {100, 6};
    case U'/': return {105, 6};
    case U'[': return {110, 6};
    case U']': return {115, 6};
    case U'^': return {120, 6};
    case U'&': return {125, 6};
    case U'%': return {130, 6};
    case U',': return {135, 6};
    case U'$': return {145, 6};
    case U'#': return {150, 6};
    case U'*': return {20, 12};
    default: return {0, 6};  // everything else shows the glyph of the digit zero
    }
}

void MainWindow::DrawBitmapText(int32_t x, int32_t y, std::string& text) {
    std::string upper;
    upper.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        const char32_t c = ToUpper(text::NextCodePoint(text, i));
        if (c == text::kNotUtf8) upper += text[start];  // not text we can read: kept as it is
        else text::AppendUtf8(upper, c);
        // Text runs on in 5-pixel steps until it ends; only the window's edge cuts it off, so past
        // the edge x stays put (and cannot overflow however long the text is).
        if (x >= m_image.Width()) continue;
        if (c != U' ') {
            const FontCell cell = FontCellOf(c);
            BitBlt(m_image, x, y, 5, 6, picText, cell.x, cell.y);
        }
        x += 5;
    }
    text = std::move(upper);
}

// ---- Equalizer window ----------------------------------------------------------------------------

EqualizerWindow::EqualizerWindow() {
    picBack = DefaultSkinArt().equalizer;
    picCol = EqualizerHitMap();
    SetClientSize(picCol.Width(), picCol.Height());
}

void EqualizerWindow::LoadEqualizerSkin(std::string& folder) {
    if (folder.empty()) return LoadEqualizerSkin(nullptr);
    const SkinFolderFiles files(AddBackslash(folder));
    LoadEqualizerSkin(&files);
}

void EqualizerWindow::LoadEqualizerSkin(const SkinFiles* skin) {
    if (skin) LoadSlot(*skin, "EQMAIN.BMP", picBack);
    SetClientSize(picCol.Width(), picCol.Height());
    DrawEqualizerWindow();
}

void EqualizerWindow::DrawEqualizerWindow() {
    Dib& dst = m_image;
    const int32_t w = picCol.Width(), h = picCol.Height();
    BitBlt(dst, 0, 0, w, h, picBack, 0, 0);
    BitBlt(dst, 0, 0, w, 14, picBack, 0, 134);        // title bar, active
    BitBlt(dst, 14, 18, 25, 12, picBack, 10, 119);    // ON, off
    BitBlt(dst, 39, 18, 33, 12, picBack, 35, 119);    // AUTO, off
    BitBlt(dst, 217, 18, 44, 12, picBack, 224, 164);  // PRESETS
    BitBlt(dst, 86, 17, 113, 19, picBack, 0, 294);    // response graph
    BitBlt(dst, 86, 26, 113, 1, picBack, 0, 314);     // its preamp line
    // Every slider shows the same bar with its knob at the same height.
    BitBlt(dst, 21, 38, 14, 63, picBack, 13, 164);
    for (int32_t band = 0; band < 10; ++band) BitBlt(dst, 78 + 18 * band, 38, 14, 63, picBack, 13, 164);
    BitBlt(dst, 22, 63, 11, 11, picBack, 0, 164);
    for (int32_t band = 0; band < 10; ++band) BitBlt(dst, 79 + 18 * band, 63, 11, 11, picBack, 0, 164);
    Refresh();
}

// ---- Playlist window -----------------------------------------------------------------------------

PlaylistWindow::PlaylistWindow() {
    picBack = DefaultSkinArt().playlist;
    SetClientSize(kPlaylistWidth, kPlaylistHeight);
}

void PlaylistWindow::SetBackColor(ColorRef color) {
    m_backColor = color;
    FillImage(m_image, color);
}

void PlaylistWindow::LoadPlaylistSkin(std::string& folder) {
    if (folder.empty()) return LoadPlaylistSkin(nullptr);
    const SkinFolderFiles files(AddBackslash(folder));
    LoadPlaylistSkin(&files);
}

void PlaylistWindow::LoadPlaylistSkin(const SkinFiles* skin) {
    if (skin) {
        LoadSlot(*skin, "PLEDIT.BMP", picBack);
        const std::optional<std::string> text = skin->ReadText("PLEDIT.TXT");
        const std::string value = text ? ReadIniValueFromText("Text", "NormalBG", *text) : std::string();
        if (const std::optional<ColorRef> colour = ParseSkinColor(value)) SetBackColor(*colour);
    }
    SetClientSize(kPlaylistWidth, kPlaylistHeight, m_backColor);
    DrawPlaylistWindow();
}

void PlaylistWindow::DrawPlaylistWindow() {
    Dib& dst = m_image;
    const double w = Width(), h = Height();
    const auto at = [](double v) { return RoundEven(v); };
    // Fillers along the top, then the corners and the title over them.
    for (double x : {25.0, 50.0, 75.0, w - 50, w - 75, w - 90}) BitBlt(dst, at(x), 0, 25, 20, picBack, 127, 0);
    BitBlt(dst, 0, 0, 25, 20, picBack, 0, 0);
    BitBlt(dst, at(w - 25), 0, 25, 20, picBack, 153, 0);
    BitBlt(dst, at(w / 2 - 50), 0, 100, 20, picBack, 26, 0);
    // Three side pieces a side at fixed heights; the bottom pieces cover what reaches below.
    for (int32_t y : {20, 49, 78}) BitBlt(dst, at(w - 20), y, 20, 29, picBack, 31, 42);
    for (int32_t y : {20, 49, 78}) BitBlt(dst, 0, y, 12, 29, picBack, 0, 42);
    BitBlt(dst, 0, at(h - 38), 125, 38, picBack, 0, 72);
    BitBlt(dst, at(w - 150), at(h - 38), 150, 38, picBack, 126, 72);
    BitBlt(dst, at(w - 15), 20, 8, 18, picBack, 52, 53);  // scroll-bar handle
    Refresh();
}

// ---- Window set and preview ----------------------------------------------------------------------

void SkinWindows::LoadDefault() {
    std::string none;
    Main.LoadMainSkin(none);
    Equalizer.LoadEqualizerSkin(none);
    Playlist.LoadPlaylistSkin(none);
}

void SkinWindows::LoadSkin(const std::string& folder) {
    std::string path = folder;
    Main.LoadMainSkin(path);
    Equalizer.LoadEqualizerSkin(path);
    Playlist.LoadPlaylistSkin(path);
}

void SkinWindows::LoadSkin(const SkinFiles& files) {
    Main.LoadMainSkin(&files);
    Equalizer.LoadEqualizerSkin(&files);
    Playlist.LoadPlaylistSkin(&files);
}

void ComposePreview(const SkinWindows& windows, Dib& canvas) {
    const SkinWindow& main = windows.Main;
    const SkinWindow& equalizer = windows.Equalizer;
    const SkinWindow& playlist = windows.Playlist;
    BitBlt(canvas, 0, 0, main.Width(), main.Height(), main.Image(), 0, 0);
    BitBlt(canvas, 0, main.Height(), equalizer.Width(), equalizer.Height(), equalizer.Image(), 0, 0);
    BitBlt(canvas, 0, 2 * main.Height(), playlist.Width(), playlist.Height(), playlist.Image(), 0, 0);
}

// ---- PLEDIT.TXT ----------------------------------------------------------------------------------

namespace {

std::string ValueOrDefault(std::string value, const std::string& defaultValue) {
    if (value.size() > 2047) value.resize(2047);
    return value.empty() ? defaultValue : value;
}

}  // namespace

std::string ReadIniValue(const std::string& section, const std::string& key, const std::string& file,
                         const std::string& defaultValue) {
    return ValueOrDefault(GetPrivateProfileString(UpperAscii(section), UpperAscii(key), "", file), defaultValue);
}

std::string ReadIniValueFromText(const std::string& section, const std::string& key, std::string_view text,
                                 const std::string& defaultValue) {
    return ValueOrDefault(GetProfileStringFromText(text, UpperAscii(section), UpperAscii(key), ""), defaultValue);
}

std::string PadLeft(const std::string& value, int width, const std::string& pad) {
    std::string text = value;
    if (pad.empty()) return text;
    while (int(text.size()) < width) text = pad + text;
    return text;
}

// Compares the piece with the upper-case two-digit hexadecimal text of every byte value. Digits in
// lower case are matched too: PLEDIT.TXT files write colours both ways.
std::string HexPairValue(const std::string& piece) {
    if (piece.empty()) return "0";
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::string wanted = UpperAscii(piece);
    std::string result;
    for (int i = 0; i <= 255; ++i) {
        const std::string hex =
            PadLeft(i < 16 ? std::string(1, kHex[i]) : std::string{kHex[i >> 4], kHex[i & 15]}, 2, "0");
        if (hex == wanted) result = std::to_string(i);
    }
    return result;
}

std::optional<ColorRef> ParseSkinColor(const std::string& text) {
    const std::string rest = !text.empty() && text[0] == '#' ? text.substr(1) : text;
    ColorRef colour = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t start = std::size_t(2 * i);
        const std::string piece = start < rest.size() ? rest.substr(start, 2) : std::string();
        const std::string value = HexPairValue(piece);
        if (value.empty()) return std::nullopt;
        colour |= ColorRef(std::stoi(value)) << (8 * i);
    }
    return colour;
}

}  // namespace veltrane
