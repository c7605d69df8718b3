#include "rendering/DefaultSkin.h"

#include "rendering/SkinPainter.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace veltrane {
namespace {

constexpr RgbQuad Rgb(uint8_t r, uint8_t g, uint8_t b) { return RgbQuad{b, g, r, 0}; }
constexpr RgbQuad kWhite = Rgb(255, 255, 255);

// Derived shades every bitmap shares, so that the pieces meet seamlessly in the windows.
struct Palette {
    SkinTheme t;
    RgbQuad face() const { return Mix(t.panel, t.panelLight, 0.35); }
    RgbQuad faceDown() const { return Scale(t.panel, 0.75); }
    // Symbols and captions on buttons: light on dark faces, dark on light ones.
    RgbQuad ink() const { return lightFace() ? Mix(t.panelDark, t.title, 0.2) : Mix(t.label, kWhite, 0.35); }
    RgbQuad icon() const { return lightFace() ? Scale(t.panelDark, 0.8) : Mix(ink(), kWhite, 0.2); }
    bool lightFace() const {
        const RgbQuad f = face();
        return 0.3 * f.red + 0.59 * f.green + 0.11 * f.blue > 140;
    }
    RgbQuad well() const { return Scale(t.panelDark, 0.8); }
};

// ---- shared pieces --------------------------------------------------------------------------------

// A push button: raised with a soft face, or sunken and darker while pressed.
void Button(SkinPainter& p, const Palette& c, int32_t x, int32_t y, int32_t w, int32_t h, bool pressed) {
    p.Frame(x, y, w, h, c.t.panelDark);
    if (pressed) {
        p.Fill(x + 1, y + 1, w - 2, h - 2, c.faceDown());
        p.Bevel(x + 1, y + 1, w - 2, h - 2, c.t.panelLight, Scale(c.t.panelDark, 0.6), true);
    } else {
        p.VGradient(x + 1, y + 1, w - 2, h - 2, Mix(c.face(), c.t.panelLight, 0.45), Scale(c.face(), 0.85));
        p.Bevel(x + 1, y + 1, w - 2, h - 2, Mix(c.t.panelLight, kWhite, 0.25), Scale(c.t.panel, 0.7));
    }
}

// A small lamp for toggle buttons: dim when off, in the accent colour when on.
void Lamp(SkinPainter& p, const Palette& c, int32_t x, int32_t y, bool on) {
    p.Fill(x, y, 3, 3, on ? c.t.accent : c.t.lcdDim);
    p.Pixel(x, y, on ? Mix(c.t.accent, kWhite, 0.6) : Mix(c.t.lcdDim, c.t.lcdText, 0.2));
}

// A toggle button: lamp on the left, label beside it; pressed buttons sink by a pixel.
void ToggleButton(SkinPainter& p, const Palette& c, int32_t x, int32_t y, int32_t w, int32_t h, const char* label,
                  bool on, bool pressed) {
    Button(p, c, x, y, w, h, pressed);
    const int32_t d = pressed ? 1 : 0;
    const int32_t ty = y + (h - 5) / 2 + d;
    Lamp(p, c, x + 4 + d, ty + 1, on);
    p.Text(x + 9 + d, ty, label, on ? Mix(c.t.accent, kWhite, 0.3) : (pressed ? c.t.label : c.ink()));
}

// A sunken display well: dark rim, display colour inside.
void Well(SkinPainter& p, const Palette& c, int32_t x, int32_t y, int32_t w, int32_t h) {
    p.Bevel(x, y, w, h, c.t.panelLight, c.well(), true);
    p.Fill(x + 1, y + 1, w - 2, h - 2, c.t.lcd);
}

// Two engraved lines, the grooves that run along the title bars.
void Grooves(SkinPainter& p, int32_t x, int32_t y, int32_t w, RgbQuad base) {
    for (int32_t row : {0, 3, 6}) {
        p.HLine(x, y + row, w, Scale(base, 0.55));
        p.HLine(x, y + row + 1, w, Mix(base, kWhite, 0.3));
    }
}

// A title bar band with the label on a small plate in the middle.
void TitleBand(SkinPainter& p, const Palette& c, int32_t x, int32_t y, int32_t w, const char* label, bool active) {
    const RgbQuad base = active ? c.t.title : Mix(c.t.title, c.t.panel, 0.75);
    p.VGradient(x, y, w, 14, Mix(base, kWhite, 0.25), Scale(base, 0.7));
    p.HLine(x, y, w, Mix(base, kWhite, 0.5));
    p.HLine(x, y + 13, w, Scale(base, 0.4));
    const int32_t plate = SkinPainter::TextWidth(label) + 12;
    const int32_t px = x + (w - plate) / 2;
    Grooves(p, x + 20, y + 3, px - x - 24, base);
    Grooves(p, px + plate + 4, y + 3, x + w - 20 - (px + plate + 4), base);
    p.Fill(px, y + 2, plate, 10, Scale(base, 0.75));
    p.Bevel(px, y + 2, plate, 10, Scale(base, 0.5), Mix(base, kWhite, 0.35));
    p.Text(px + 6, y + 5, label, active ? Mix(c.ink(), kWhite, 0.5) : Mix(c.t.label, base, 0.4));
}

// The 9 x 9 title-bar buttons; icon rows use '#'.
void TitleButton(SkinPainter& p, const Palette& c, int32_t x, int32_t y, std::initializer_list<std::string_view> icon,
                 bool pressed) {
    p.Fill(x, y, 9, 9, pressed ? c.faceDown() : c.face());
    p.Bevel(x, y, 9, 9, Mix(c.t.panelLight, kWhite, 0.2), c.t.panelDark, pressed);
    p.Pattern(x + 2 + (pressed ? 1 : 0), y + 2 + (pressed ? 1 : 0), icon, pressed ? c.t.accent : c.ink());
}

const std::initializer_list<std::string_view> kIconMenu = {"#####", ".###.", "..#..", ".....", "....."};
const std::initializer_list<std::string_view> kIconMinimize = {".....", ".....", ".....", ".....", "#####"};
const std::initializer_list<std::string_view> kIconShade = {"#####", "#...#", "#####", ".....", "....."};
const std::initializer_list<std::string_view> kIconClose = {"#...#", ".#.#.", "..#..", ".#.#.", "#...#"};

// A slider knob: a raised cap with a grip line, accent-coloured while held.
void Knob(SkinPainter& p, const Palette& c, int32_t x, int32_t y, int32_t w, int32_t h, bool pressed) {
    const RgbQuad top = pressed ? Mix(c.t.accent, kWhite, 0.35) : Mix(c.t.panelLight, kWhite, 0.35);
    const RgbQuad bottom = pressed ? Scale(c.t.accent, 0.7) : c.face();
    p.VGradient(x + 1, y + 1, w - 2, h - 2, top, bottom);
    p.Frame(x, y, w, h, c.t.panelDark);
    p.Pixel(x, y, c.t.panel);
    p.Pixel(x + w - 1, y, c.t.panel);
    p.Pixel(x, y + h - 1, c.t.panel);
    p.Pixel(x + w - 1, y + h - 1, c.t.panel);
    p.HLine(x + 1, y + 1, w - 2, Mix(top, kWhite, 0.5));
    const RgbQuad grip = pressed ? Scale(c.t.accent, 0.45) : Scale(c.t.panel, 0.8);
    for (int32_t i = -1; i <= 1; ++i) p.VLine(x + w / 2 + 2 * i, y + 3, h - 6, grip);
}

// ---- main window bitmaps --------------------------------------------------------------------------

// A horizontal slider groove with an optional fill from the left.
void Groove(SkinPainter& p, const Palette& c, int32_t x, int32_t y, int32_t w, int32_t h) {
    p.Bevel(x, y, w, h, c.t.panelLight, c.well(), true);
    p.Fill(x + 1, y + 1, w - 2, h - 2, c.t.lcd);
}

Dib PaintMain(const Palette& c) {
    SkinPainter p(275, 116, c.t.panel);
    p.VGradient(0, 14, 275, 102, Mix(c.t.panel, c.t.panelLight, 0.18), Scale(c.t.panel, 0.88));
    p.Bevel(0, 0, 275, 116, c.t.panelLight, c.t.panelDark);
    TitleBand(p, c, 0, 0, 275, "VELTRANE", true);

    // The display: clutterbar strip, play state, time, a frozen spectrum.
    Well(p, c, 9, 21, 97, 46);
    for (int32_t dot : {30, 35}) p.Fill(72, dot, 2, 2, c.t.lcdText);
    static constexpr int kBars[] = {5, 8, 11, 13, 12, 10, 12, 14, 11, 9, 7, 8, 10, 9, 7, 6, 5, 6, 4, 3};
    for (int32_t i = 0; i < 19; ++i) {
        const int32_t h = kBars[i];
        for (int32_t r = 0; r < h; ++r)
            p.HLine(25 + 4 * i, 61 - r, 3, Mix(c.t.lcdDim, c.t.lcdText, 0.35 + 0.65 * r / 14.0));
        p.HLine(25 + 4 * i, 61 - h - 1, 3, Mix(c.t.lcdText, kWhite, 0.3));
    }

    // Song title, kbps and kHz displays with their labels; the channel lamps' well.
    Well(p, c, 109, 24, 158, 12);
    Well(p, c, 109, 41, 19, 10);
    p.Text(131, 43, "KBPS", c.t.label);
    Well(p, c, 154, 41, 14, 10);
    p.Text(171, 43, "KHZ", c.t.label);
    Well(p, c, 210, 40, 59, 14);

    // Slider captions sit under the grooves: volume, balance.
    p.HLine(10, 85, 255, Scale(c.t.panel, 0.7));
    p.HLine(10, 86, 255, Mix(c.t.panel, c.t.panelLight, 0.5));

    // Emblem in the lower right corner: a stylised V on a small plate.
    Well(p, c, 244, 89, 24, 16);
    p.Pattern(248, 92,
              {"##..........##", ".##........##.", "..##......##..", "...##....##...", "....##..##....",
               ".....####.....", "......##......"},
              c.t.accent);
    p.Pattern(248, 100, {"..############"}, c.t.lcdDim);
    return p.ToPaletted();
}

Dib PaintTitleBar(const Palette& c) {
    SkinPainter p(344, 87, c.t.panel);
    TitleBand(p, c, 27, 0, 275, "VELTRANE", true);
    TitleBand(p, c, 27, 15, 275, "VELTRANE", false);
    for (int pressed = 0; pressed < 2; ++pressed) {
        TitleButton(p, c, 0, 9 * pressed, kIconMenu, pressed);
        TitleButton(p, c, 9, 9 * pressed, kIconMinimize, pressed);
        TitleButton(p, c, 18, 9 * pressed, kIconClose, pressed);
        TitleButton(p, c, 9 * pressed, 18, kIconShade, pressed);
    }
    // Clutterbar: five letters down a strip; each pressed form lights one of them.
    static constexpr char kLetters[] = "OAIDV";
    for (int32_t form = 0; form <= 5; ++form) {
        const int32_t x = form == 0 ? 304 : 304 + 8 * (form - 1), y = form == 0 ? 0 : 44;
        p.Fill(x, y, 8, 43, c.t.lcd);
        p.VLine(x + 7, y, 43, c.well());
        for (int32_t i = 0; i < 5; ++i) {
            const bool lit = form == i + 1;
            if (lit) p.Fill(x, y + 1 + 8 * i, 7, 8, c.t.accent);
            const char letter[2] = {kLetters[i], 0};
            p.Text(x + 2, y + 2 + 8 * i, letter, lit ? c.t.lcd : Mix(c.t.lcdDim, c.t.lcdText, 0.45));
        }
    }
    return p.ToPaletted();
}

Dib PaintPlayPause(const Palette& c) {
    SkinPainter p(42, 9, c.t.lcd);
    p.Pattern(3, 0, {"#.....", "##....", "###...", "####..", "#####.", "####..", "###...", "##....", "#....."},
              c.t.lcdText);
    p.Fill(11, 1, 2, 7, c.t.lcdText);
    p.Fill(15, 1, 2, 7, c.t.lcdText);
    p.Fill(20, 2, 5, 5, c.t.lcdText);
    for (int32_t row : {0, 6}) {
        p.Fill(36, row, 3, 3, Mix(c.t.lcdText, kWhite, 0.2));
        p.Fill(39, row, 3, 3, c.t.accentHot);
    }
    return p.ToPaletted();
}

Dib PaintButtons(const Palette& c) {
    SkinPainter p(136, 36, c.t.panel);
    struct Transport {
        int32_t x, w, h;
        std::initializer_list<std::string_view> icon;
    };
    const Transport buttons[] = {
        {0, 23, 18, {"#...#...#", "#..##..##", "#.###.###", "#########", "#.###.###", "#..##..##", "#...#...#"}},
        {23, 23, 18, {"#.....", "##....", "###...", "####..", "###...", "##....", "#....."}},
        {46, 23, 18, {"##.##", "##.##", "##.##", "##.##", "##.##", "##.##", "##.##"}},
        {69, 23, 18, {"######", "######", "######", "######", "######", "######"}},
        {92, 22, 18, {"#...#...#", "##..##..#", "###.###.#", "#########", "###.###.#", "##..##..#", "#...#...#"}},
        {114, 22, 16, {"...#...", "..###..", ".#####.", "#######", ".......", "#######"}},
    };
    for (const Transport& b : buttons)
        for (int pressed = 0; pressed < 2; ++pressed) {
            const int32_t y = b.h * pressed;
            Button(p, c, b.x, y, b.w, b.h, pressed);
            const int32_t iw = int32_t(b.icon.begin()->size()), ih = int32_t(b.icon.size());
            const int32_t d = pressed;
            p.Pattern(b.x + (b.w - iw) / 2 + d, y + (b.h - ih) / 2 + d, b.icon, pressed ? c.t.accent : c.icon());
        }
    return p.ToPaletted();
}

Dib PaintMonoStereo(const Palette& c) {
    SkinPainter p(58, 24, c.t.lcd);
    for (int lit = 0; lit < 2; ++lit) {
        const int32_t y = lit ? 0 : 12;
        const RgbQuad ink = lit ? Mix(c.t.lcdText, kWhite, 0.2) : c.t.lcdDim;
        p.Text(0, y + 4, "STEREO", ink);
        p.Text(33, y + 4, "MONO", ink);
    }
    return p.ToPaletted();
}

Dib PaintPositionBar(const Palette& c) {
    SkinPainter p(307, 10, c.t.panel);
    p.Fill(0, 0, 307, 10, Mix(c.t.panel, c.t.panelLight, 0.08));
    Groove(p, c, 1, 3, 246, 4);
    for (int32_t x = 12; x < 246; x += 24) p.Pixel(x, 8, Scale(c.t.panelLight, 0.9));
    Knob(p, c, 248, 0, 29, 10, false);
    Knob(p, c, 278, 0, 29, 10, true);
    return p.ToPaletted();
}

// Volume: one strip per step, filled up to where the knob's centre will be.
Dib PaintVolume(const Palette& c, bool balance) {
    SkinPainter p(68, 433, c.t.panel);
    p.Fill(0, 0, 68, 433, Mix(c.t.panel, c.t.panelLight, 0.1));
    for (int32_t step = 0; step <= 27; ++step) {
        const int32_t y = 15 * step;
        if (balance) {
            Groove(p, c, 9, y + 4, 38, 5);
            p.Fill(10, y + 5, 36, 3, Mix(c.t.lcdDim, c.t.accentHot, step / 27.0));
            p.VLine(27, y + 3, 7, c.t.lcdText);
        } else {
            Groove(p, c, 0, y + 4, 68, 5);
            const int32_t end = 7 + int32_t(std::lround(50.0 * step / 27.0));
            for (int32_t x = 1; x < end; ++x) p.VLine(x, y + 5, 3, Mix(c.t.accent, c.t.accentHot, x / 66.0));
        }
    }
    Knob(p, c, 15, 422, 14, 11, false);
    Knob(p, c, 0, 422, 14, 11, true);
    return p.ToPaletted();
}

// Seven-segment time digits; unlit segments stay faintly visible, as on a real display.
Dib PaintNumbers(const Palette& c) {
    SkinPainter p(99, 13, c.t.lcd);
    // Segment order a b c d e f g; bit n set means segment n lit.
    static constexpr int kSegments[11] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F, 0x00};
    for (int32_t d = 0; d < 11; ++d) {
        const int32_t x = 9 * d + 1;
        const auto segment = [&](int n, int32_t sx, int32_t sy, int32_t w, int32_t h) {
            p.Fill(x + sx, sy, w, h, (kSegments[d] >> n) & 1 ? c.t.lcdText : c.t.lcdDim);
        };
        segment(0, 1, 0, 5, 2);
        segment(1, 5, 1, 2, 5);
        segment(2, 5, 7, 2, 5);
        segment(3, 1, 11, 5, 2);
        segment(4, 0, 7, 2, 5);
        segment(5, 0, 1, 2, 5);
        segment(6, 1, 6, 5, 1);
    }
    return p.ToPaletted();
}

// TEXT.BMP: the font's characters at the cells the text drawing reads.
Dib PaintText(const Palette& c) {
    SkinPainter p(155, 74, c.t.lcd);
    const auto cell = [&](char ch, int32_t x, int32_t y) {
        const char text[2] = {ch, 0};
        p.Text(x, y, text, c.t.lcdText);
    };
    for (char ch = 'A'; ch <= 'Z'; ++ch) cell(ch, 5 * (ch - 'A'), 0);
    cell('"', 130, 0);
    cell('@', 135, 0);
    for (char ch = '0'; ch <= '9'; ++ch) cell(ch, 5 * (ch - '0'), 6);
    static constexpr char kRow2[] = "=()-'!_+\\/[]^&%,";
    for (int32_t i = 0; kRow2[i]; ++i) cell(kRow2[i], 60 + 5 * i, 6);
    cell('.', 140, 6);
    cell('$', 145, 6);
    cell('#', 150, 6);
    cell('*', 20, 12);
    return p.ToPaletted();
}

Dib PaintShuffleRepeat(const Palette& c) {
    SkinPainter p(92, 85, c.t.panel);
    for (int on = 0; on < 2; ++on)
        for (int pressed = 0; pressed < 2; ++pressed) {
            const int32_t y = 30 * on + 15 * pressed;
            ToggleButton(p, c, 0, y, 29, 15, "REP", on, pressed);
            ToggleButton(p, c, 29, y, 46, 15, "SHUFFLE", on, pressed);
            const int32_t row = on ? 73 : 61;
            ToggleButton(p, c, 46 * pressed, row, 23, 12, "EQ", on, pressed);
            ToggleButton(p, c, 23 + 46 * pressed, row, 23, 12, "PL", on, pressed);
        }
    return p.ToPaletted();
}

// ---- equalizer ------------------------------------------------------------------------------------

Dib PaintEqualizer(const Palette& c) {
    SkinPainter p(275, 315, c.t.panel);
    p.VGradient(0, 0, 275, 116, Mix(c.t.panel, c.t.panelLight, 0.18), Scale(c.t.panel, 0.88));
    p.Bevel(0, 0, 275, 116, c.t.panelLight, c.t.panelDark);
    TitleBand(p, c, 0, 0, 275, "EQUALIZER", true);
    p.Bevel(85, 16, 115, 21, c.t.panelLight, c.well(), true);
    // Slider field, captions and the decibel scale.
    p.Bevel(16, 35, 245, 68, c.t.panelLight, Scale(c.t.panel, 0.7), true);
    p.Text(44, 39, "+12DB", c.t.label);
    p.Text(48, 65, "+0DB", c.t.label);
    p.Text(44, 94, "-12DB", c.t.label);
    p.CentredText(13, 106, 30, "PREAMP", c.t.label);
    static constexpr const char* kBands[] = {"60", "170", "310", "600", "1K", "3K", "6K", "12K", "14K", "16K"};
    for (int32_t band = 0; band < 10; ++band) p.CentredText(78 + 18 * band, 106, 14, kBands[band], c.t.label);

    // Buttons below the window: ON and AUTO switched off (and on), PRESETS.
    ToggleButton(p, c, 10, 119, 25, 12, "ON", false, false);
    ToggleButton(p, c, 35, 119, 33, 12, "AUTO", false, false);
    ToggleButton(p, c, 69, 119, 25, 12, "ON", true, false);
    ToggleButton(p, c, 94, 119, 33, 12, "AUTO", true, false);
    TitleBand(p, c, 0, 134, 275, "EQUALIZER", true);
    TitleBand(p, c, 0, 149, 275, "EQUALIZER", false);

    // Slider bar: a vertical groove with ticks, its 0 dB mark brighter; the knob beside it.
    p.Fill(13, 164, 14, 63, c.t.panel);
    p.Bevel(18, 164, 4, 63, c.t.panelLight, c.well(), true);
    p.Fill(19, 165, 2, 61, c.t.lcd);
    for (int32_t y = 0; y < 63; y += 6) {
        p.HLine(14, 164 + y + 1, 3, Scale(c.t.panelLight, 0.8));
        p.HLine(23, 164 + y + 1, 3, Scale(c.t.panelLight, 0.8));
    }
    p.Fill(19, 164 + 31, 2, 32, Mix(c.t.accent, c.t.lcd, 0.35));
    Knob(p, c, 0, 164, 11, 11, false);
    Button(p, c, 224, 164, 44, 12, false);
    p.CentredText(224, 167, 44, "PRESETS", c.ink());

    // Response graph: a grid on the display colour, and the preamp line across it.
    p.Fill(0, 294, 113, 19, c.t.lcd);
    for (int32_t x = 0; x < 113; x += 8) p.VLine(x, 294, 19, c.t.lcdDim);
    for (int32_t y : {0, 9, 18}) p.HLine(0, 294 + y, 113, c.t.lcdDim);
    // A gentle response curve, lifted bass and treble, joined column to column.
    int32_t last = -1;
    for (int32_t x = 0; x < 113; ++x) {
        const double t = x / 112.0;
        const int32_t y = 294 + 9 - int32_t(std::lround(5.5 * std::cos(2 * 3.14159265 * t) + 1.5 * std::cos(6 * t)));
        const int32_t from = last < 0 ? y : std::min(last, y), to = last < 0 ? y : std::max(last, y);
        p.VLine(x, from, to - from + 1, Mix(c.t.lcdText, kWhite, 0.2));
        last = y;
    }
    p.HLine(0, 314, 113, Mix(c.t.lcdText, c.t.lcd, 0.45));
    return p.ToPaletted();
}

// ---- playlist -------------------------------------------------------------------------------------

// The top strip: the title band runs through every top piece.
void PlaylistTop(SkinPainter& p, const Palette& c, int32_t x, int32_t w) {
    p.Fill(x, 0, w, 20, c.t.panel);
    p.HLine(x, 0, w, c.t.panelLight);
    p.VGradient(x, 3, w, 14, Mix(c.t.title, kWhite, 0.25), Scale(c.t.title, 0.7));
    p.HLine(x, 3, w, Mix(c.t.title, kWhite, 0.5));
    p.HLine(x, 16, w, Scale(c.t.title, 0.4));
    p.HLine(x, 19, w, c.t.panelDark);
}

Dib PaintPlaylist(const Palette& c) {
    SkinPainter p(280, 186, c.t.panel);
    // Top: left corner, title, filler, right corner with shade and close buttons.
    PlaylistTop(p, c, 0, 25);
    p.VLine(0, 0, 20, c.t.panelLight);
    Grooves(p, 4, 6, 21, c.t.title);
    PlaylistTop(p, c, 26, 100);
    p.Fill(36, 4, 80, 12, Scale(c.t.title, 0.75));
    p.Bevel(36, 4, 80, 12, Scale(c.t.title, 0.5), Mix(c.t.title, kWhite, 0.35));
    p.CentredText(36, 8, 80, "PLAYLIST", Mix(c.ink(), kWhite, 0.5));
    Grooves(p, 26, 6, 10, c.t.title);
    Grooves(p, 116, 6, 10, c.t.title);
    PlaylistTop(p, c, 127, 25);
    Grooves(p, 127, 6, 25, c.t.title);
    PlaylistTop(p, c, 153, 25);
    Grooves(p, 153, 6, 3, c.t.title);
    p.VLine(177, 0, 20, c.t.panelDark);
    TitleButton(p, c, 157, 5, kIconShade, false);
    TitleButton(p, c, 167, 5, kIconClose, false);

    // Sides: the left border, and the right border with the scroll groove; the handle.
    p.Fill(0, 42, 12, 29, c.t.panel);
    p.VLine(0, 42, 29, c.t.panelLight);
    p.VLine(10, 42, 29, Scale(c.t.panel, 0.7));
    p.VLine(11, 42, 29, c.t.panelDark);
    p.Fill(31, 42, 20, 29, c.t.panel);
    p.VLine(31, 42, 29, c.t.panelDark);
    p.VLine(32, 42, 29, Scale(c.t.panel, 0.7));
    p.Fill(35, 42, 10, 29, c.well());
    p.Fill(36, 42, 8, 29, c.t.lcd);
    p.VLine(50, 42, 29, c.t.panelDark);
    Knob(p, c, 52, 53, 8, 18, false);

    // Bottom left: the four list buttons.
    p.Fill(0, 72, 125, 38, c.t.panel);
    p.HLine(0, 72, 125, c.t.panelDark);
    p.HLine(0, 73, 125, Scale(c.t.panel, 0.7));
    p.VLine(0, 72, 38, c.t.panelLight);
    p.HLine(0, 109, 125, c.t.panelDark);
    static constexpr const char* kList[] = {"ADD", "REM", "SEL", "MISC"};
    for (int32_t i = 0; i < 4; ++i) {
        Button(p, c, 10 + 27 * i, 82, 25, 18, false);
        p.CentredText(10 + 27 * i, 89, 26, kList[i], c.ink());
    }
    // Bottom right: time display, mini transport, the list button and the resize grip.
    p.Fill(126, 72, 150, 38, c.t.panel);
    p.HLine(126, 72, 150, c.t.panelDark);
    p.HLine(126, 73, 150, Scale(c.t.panel, 0.7));
    p.HLine(126, 109, 150, c.t.panelDark);
    p.VLine(275, 72, 38, c.t.panelDark);
    Well(p, c, 132, 80, 56, 11);
    p.Text(135, 83, "0:00/0:00", c.t.lcdText);
    static const std::initializer_list<std::string_view> kMini[] = {
        {"#..#", "#.##", "####", "#.##", "#..#"}, {"#...", "##..", "###.", "##..", "#..."},
        {"#.#.", "#.#.", "#.#.", "#.#.", "#.#."}, {"###.", "###.", "###.", "....", "...."},
        {"#..#", "##.#", "####", "##.#", "#..#"}, {"..#..", ".###.", "#####", ".....", "#####"}};
    for (int32_t i = 0; i < 6; ++i) p.Pattern(134 + 9 * i, 96, kMini[i], c.ink());
    Button(p, c, 232, 82, 28, 18, false);
    p.CentredText(232, 89, 28, "LIST", c.ink());
    // Resize grip in the corner: three ridges, each a light line over a dark one.
    for (int32_t k : {1, 4, 7})
        for (int32_t t = 0; t <= k; ++t) {
            p.Pixel(266 + 7 - k + t, 100 + 7 - t, Mix(c.t.panelLight, kWhite, 0.2));
            if (7 - k + t + 1 <= 7) p.Pixel(266 + 7 - k + t + 1, 100 + 7 - t, c.t.panelDark);
        }
    return p.ToPaletted();
}

std::string HexColour(RgbQuad c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", c.red, c.green, c.blue);
    return text;
}

}  // namespace

SkinTheme DefaultTheme() {
    SkinTheme t;
    t.panel = Rgb(54, 62, 78);
    t.panelLight = Rgb(112, 124, 146);
    t.panelDark = Rgb(18, 21, 28);
    t.lcd = Rgb(8, 16, 20);
    t.lcdText = Rgb(92, 236, 206);
    t.lcdDim = Rgb(20, 52, 52);
    t.accent = Rgb(255, 160, 64);
    t.accentHot = Rgb(255, 82, 62);
    t.title = Rgb(46, 96, 140);
    t.label = Rgb(158, 172, 194);
    return t;
}

SkinArt PaintSkin(const SkinTheme& theme) {
    const Palette c{theme};
    SkinArt art;
    art.main = PaintMain(c);
    art.playPause = PaintPlayPause(c);
    art.buttons = PaintButtons(c);
    art.titleBar = PaintTitleBar(c);
    art.monoStereo = PaintMonoStereo(c);
    art.positionBar = PaintPositionBar(c);
    art.shuffleRepeat = PaintShuffleRepeat(c);
    art.volume = PaintVolume(c, false);
    art.text = PaintText(c);
    art.balance = PaintVolume(c, true);
    art.numbers = PaintNumbers(c);
    art.equalizer = PaintEqualizer(c);
    art.playlist = PaintPlaylist(c);
    art.playlistBackground = HexColour(theme.lcd);
    return art;
}

const SkinArt& DefaultSkinArt() {
    static const SkinArt art = PaintSkin(DefaultTheme());
    return art;
}

}  // namespace veltrane
