#include "rendering/WinAMPGraphics.h"

#include "SkinFixtures.h"

#include <gtest/gtest.h>

using namespace veltrane;
using namespace veltrane::test;

namespace {

// Knob positions and indicator column the composition must choose for a state.
struct Derived {
    int32_t xv, xb, xp, lamp;
};

// The main window's copies for a state, written out from the composition table.
std::vector<Copy> MainCopies(const MainWindowState& s, const Derived& d, const int digits[4]) {
    std::vector<Copy> c = {
        {kMain, 0, 0, 275, 116, 0, 0},
        {kTitleBar, 27, 15 * s.TitleInactive, 275, 14, 0, 0},
        {kTitleBar, 0, 9 * s.OptionsPressed, 9, 9, 6, 3},
        {kTitleBar, 9, 9 * s.MinimizePressed, 9, 9, 245, 3},
        {kTitleBar, 9 * s.ShadePressed, 18, 9, 9, 254, 3},
        {kTitleBar, 18, 9 * s.ClosePressed, 9, 9, 265, 3},
        s.ClutterbarPressed > 0 ? Copy{kTitleBar, 304 + 8 * (s.ClutterbarPressed - 1), 44, 8, 43, 10, 22}
                                : Copy{kTitleBar, 304, 0, 8, 43, 10, 22},
        {kNumbers, 9 * digits[0], 0, 9, 13, 48, 26},
        {kNumbers, 9 * digits[1], 0, 9, 13, 60, 26},
        {kNumbers, 9 * digits[2], 0, 9, 13, 78, 26},
        {kNumbers, 9 * digits[3], 0, 9, 13, 90, 26},
        {kVolume, 0, 15 * s.Volume, 68, 13, 107, 57},
        {kVolume, 15 - 15 * s.VolumePressed, 422, 14, 11, d.xv, 58},
        {kBalance, 9, 15 * std::abs(s.Balance - 27), 38, 13, 177, 57},
        {kBalance, 15 - 15 * s.BalancePressed, 422, 14, 11, d.xb, 58},
    };
    if (s.PlayState == 0) {
        c.push_back({kPlayPaus, 1, 0, 8, 9, 26, 28});
        c.push_back({kPlayPaus, d.lamp, 0, 3, 3, 24, 28});
        c.push_back({kPlayPaus, d.lamp, 6, 3, 3, 24, 34});
    } else {
        c.push_back({kPlayPaus, 9 * s.PlayState, 0, 9, 9, 26, 28});
    }
    const int r = s.RepeatOn == -1, f = s.ShuffleOn == -1;
    const std::vector<Copy> rest = {
        {kShufRep, 0, 30 * r + 15 * s.RepeatPressed, 29, 15, 210, 89},
        {kShufRep, 29, 30 * f + 15 * s.ShufflePressed, 46, 15, 164, 89},
        {kShufRep, 46 * s.EqualizerPressed, s.EqualizerOn ? 73 : 61, 23, 12, 219, 58},
        {kShufRep, 23 + 46 * s.PlaylistPressed, s.PlaylistOn ? 73 : 61, 23, 12, 242, 58},
        {kMonoSter, 0, s.ChannelMode == 2 ? 0 : 12, 29, 12, 239, 41},
        {kMonoSter, 29, s.ChannelMode == 1 ? 0 : 12, 27, 12, 212, 41},
        {kCButtons, 0, 18 * s.PreviousPressed, 23, 18, 16, 88},
        {kCButtons, 23, 18 * s.PlayPressed, 23, 18, 39, 88},
        {kCButtons, 46, 18 * s.PausePressed, 23, 18, 62, 88},
        {kCButtons, 69, 18 * s.StopPressed, 23, 18, 85, 88},
        {kCButtons, 92, 18 * s.NextPressed, 22, 18, 108, 88},
        {kCButtons, 114, 16 * s.EjectPressed, 22, 16, 136, 89},
        {kPosBar, 0, 0, 249, 10, 16, 72},
        {kPosBar, 248 + 30 * s.PositionPressed, 0, 29, 10, d.xp, 72},
    };
    c.insert(c.end(), rest.begin(), rest.end());
    return c;
}

// "128" at (111, 43), "44" at (156, 43), the song title at (111, 27).
void AddStandardTexts(std::vector<Copy>& c, const std::vector<std::pair<int32_t, int32_t>>& title) {
    AddTextCells(c, 111, 43, {{5, 6}, {10, 6}, {40, 6}});
    AddTextCells(c, 156, 43, {{20, 6}, {20, 6}});
    AddTextCells(c, 111, 27, title);
}

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override {
        WriteSyntheticSkin(skin.path());
        window.TitleText = "Ab 1";
        folder = skin.str();
        window.LoadMainSkin(folder);
    }
    // After a state change: redraw and compare the whole window with the table.
    void ExpectWindow(const Derived& d, const int digits[4]) {
        window.DrawMainWindow();
        std::vector<Copy> copies = MainCopies(window.State, d, digits);
        AddStandardTexts(copies, {{0, 0}, {5, 0}, {-1, -1}, {5, 6}});
        ExpectComposition(window.Image(), copies);
    }

    TempFolder skin;
    std::string folder;
    MainWindow window;
};

constexpr int kZeros[4] = {0, 0, 0, 0};

}  // namespace

TEST_F(MainWindowTest, LoadedSkinMatchesEveryCopyOfTheTable) {
    // Volume 25 and balance 35 after loading: knobs at 153 and 190, strips at 375 and 120.
    ExpectWindow({153, 190, 16, 36}, kZeros);
}

TEST_F(MainWindowTest, EveryPressedFlagAndToggleSelectsItsSourceRow) {
    MainWindowState& s = window.State;
    s.TitleInactive = 1;
    s.OptionsPressed = s.MinimizePressed = s.ShadePressed = s.ClosePressed = 1;
    s.ClutterbarPressed = 3;
    s.PreviousPressed = s.PlayPressed = s.PausePressed = s.StopPressed = s.NextPressed = s.EjectPressed = 1;
    s.ShufflePressed = s.RepeatPressed = s.EqualizerPressed = s.PlaylistPressed = 1;
    s.PositionPressed = s.VolumePressed = s.BalancePressed = 1;
    s.ShuffleOn = s.RepeatOn = s.EqualizerOn = s.PlaylistOn = kTrue;
    s.ChannelMode = 2;
    s.PlayState = 1;
    s.TimeValue = 75;
    const int digits[4] = {0, 0, 7, 5};
    ExpectWindow({153, 190, 16, 36}, digits);
    EXPECT_EQ(window.Image().GetPixel(10, 22), Tag(kTitleBar, 320, 44));  // clutterbar entry 3

    s.ChannelMode = 1;
    s.PlayState = 2;
    s.TimeValue = 9876;
    const int more[4] = {9, 8, 7, 6};
    ExpectWindow({153, 190, 16, 36}, more);
}

TEST_F(MainWindowTest, KnobsFollowTheValueExamples) {
    MainWindowState& s = window.State;
    s.Volume = 0;
    s.Balance = 27;
    s.Position = 0.5f;  // 127.5 rounds to the even 128
    ExpectWindow({107, 187, 128, 36}, kZeros);

    s.Volume = 27;
    s.Balance = 54;
    s.Position = 0.95f;
    ExpectWindow({157, 197, 228, 39}, kZeros);

    s.Volume = 13;
    s.Balance = 0;      // same strip as 54
    s.Position = 0.9f;  // not below 0.9: the second indicator colour
    ExpectWindow({131, 177, 217, 39}, kZeros);
}

TEST_F(MainWindowTest, RepeatAndShuffleCountAsOnOnlyAtMinusOneButEqAndPlAtAnyValue) {
    MainWindowState& s = window.State;
    s.RepeatOn = 1;
    s.ShuffleOn = 1;
    s.EqualizerOn = 1;
    s.PlaylistOn = 5;
    ExpectWindow({153, 190, 16, 36}, kZeros);
    EXPECT_EQ(window.Image().GetPixel(210, 89), Tag(kShufRep, 0, 0));
    EXPECT_EQ(window.Image().GetPixel(219, 58), Tag(kShufRep, 0, 73));
    s.RepeatOn = kTrue;
    s.RepeatPressed = 1;
    window.DrawMainWindow();
    EXPECT_EQ(window.Image().GetPixel(210, 89), Tag(kShufRep, 0, 45));
}

TEST_F(MainWindowTest, LoadingResetsTheDisplayValuesButKeepsTogglesAndFlags) {
    MainWindowState& s = window.State;
    s.Volume = 3;
    s.Balance = 4;
    s.SongTitle = "x";
    s.BitrateText = "320";
    s.ShuffleOn = kTrue;
    s.PlayState = 2;
    std::string empty;
    window.LoadMainSkin(empty);
    EXPECT_EQ(empty, "");
    EXPECT_EQ(s.Volume, 25);
    EXPECT_EQ(s.Balance, 35);
    EXPECT_EQ(s.SongTitle, "AB 1");  // the drawing upper-cases it in place
    EXPECT_EQ(s.BitrateText, "128");
    EXPECT_EQ(s.FrequencyText, "44");
    EXPECT_EQ(s.ShuffleOn, kTrue);
    EXPECT_EQ(s.PlayState, 2);
    EXPECT_EQ(window.Width(), 275);
    EXPECT_EQ(window.Height(), 116);
}

TEST_F(MainWindowTest, BitmapTextUpperCasesTheCallersTextAndLeavesBlanksAlone) {
    std::string text = "Ab 1";
    window.DrawBitmapText(20, 108, text);
    EXPECT_EQ(text, "AB 1");
    const Dib& image = window.Image();
    EXPECT_EQ(image.GetPixel(20, 108), Tag(kText, 0, 0));
    EXPECT_EQ(image.GetPixel(25, 108), Tag(kText, 5, 0));
    EXPECT_EQ(image.GetPixel(30, 108), Tag(kMain, 30, 108));  // the blank: background stays
    EXPECT_EQ(image.GetPixel(35, 108), Tag(kText, 5, 6));
    EXPECT_EQ(image.GetPixel(39, 113), Tag(kText, 9, 11));
}

TEST_F(MainWindowTest, CharactersOutsideTheMapShowTheZeroCell) {
    std::string text = "\xC3\xA9.:\xC3\x84x";  // é . : Ä x
    window.DrawBitmapText(20, 108, text);
    EXPECT_EQ(text, "\xC3\x89.:\xC3\x84X");  // é became É, one character each
    for (int32_t x : {20, 25, 30, 35}) EXPECT_EQ(window.Image().GetPixel(x, 108), Tag(kText, 0, 6)) << x;
    EXPECT_EQ(window.Image().GetPixel(40, 108), Tag(kText, 115, 0));

    std::string latin1 = "\xE9z";  // not UTF-8: the byte stays, drawn as one unknown character
    window.DrawBitmapText(20, 108, latin1);
    EXPECT_EQ(latin1, "\xE9Z");
    EXPECT_EQ(window.Image().GetPixel(20, 108), Tag(kText, 0, 6));
    EXPECT_EQ(window.Image().GetPixel(25, 108), Tag(kText, 125, 0));

    // An overlong form and a surrogate are not UTF-8 either: each of their bytes stays and is drawn
    // as one unknown character.
    std::string overlong = "\xE0\x80\xAF\xED\xA0\x80z";
    window.DrawBitmapText(20, 108, overlong);
    EXPECT_EQ(overlong, "\xE0\x80\xAF\xED\xA0\x80Z");
    for (int32_t x = 20; x < 50; x += 5) EXPECT_EQ(window.Image().GetPixel(x, 108), Tag(kText, 0, 6)) << x;
    EXPECT_EQ(window.Image().GetPixel(50, 108), Tag(kText, 125, 0));
}

TEST_F(MainWindowTest, FontMapCoversTheSymbols) {
    const std::pair<char32_t, FontCell> cells[] = {
        {U'"', {130, 0}},  {U'@', {135, 0}}, {U'=', {60, 6}},  {U'(', {65, 6}},  {U')', {70, 6}},
        {U'-', {75, 6}},   {U'\'', {80, 6}}, {U'!', {85, 6}},  {U'_', {90, 6}},  {U'+', {95, 6}},
        {U'\\', {100, 6}}, {U'/', {105, 6}}, {U'[', {110, 6}}, {U']', {115, 6}}, {U'^', {120, 6}},
        {U'&', {125, 6}},  {U'%', {130, 6}}, {U',', {135, 6}}, {U'$', {145, 6}}, {U'#', {150, 6}},
        {U'*', {20, 12}},  {U'Z', {125, 0}}, {U'9', {45, 6}},  {U'a', {0, 6}},   {U'?', {0, 6}},
    };
    for (const auto& [c, cell] : cells) EXPECT_EQ(FontCellOf(c), cell) << char(c);
}

TEST_F(MainWindowTest, LongTitlesRunToTheWindowEdgeAndStop) {
    std::string text(40, 'B');  // 24 characters from 111 end at 230; the 33rd starts at 271
    window.DrawBitmapText(111, 27, text);
    EXPECT_EQ(window.Image().GetPixel(274, 27), Tag(kText, 8, 0));  // the 33rd "B", cut after 4 columns
    std::string empty;
    window.DrawBitmapText(20, 108, empty);
    EXPECT_EQ(window.Image().GetPixel(20, 108), Tag(kMain, 20, 108));
}

TEST_F(MainWindowTest, StateValuesFarOutOfRangeDoNotBreakTheDrawing) {
    MainWindowState& s = window.State;
    s.Volume = INT32_MAX;
    s.Balance = INT32_MIN;
    s.Position = 1e30f;
    s.ClutterbarPressed = INT16_MIN;
    s.TimeValue = -5;
    window.DrawMainWindow();  // copies that miss their source leave the window as it was
    EXPECT_EQ(window.Image().GetPixel(48, 26), Tag(kNumbers, 0, 0));
}

TEST_F(MainWindowTest, FolderGetsItsSeparatorInPlace) {
    std::string plain = skin.str();
    window.LoadMainSkin(plain);
    EXPECT_EQ(plain, skin.str() + "/");
    window.LoadMainSkin(plain);
    EXPECT_EQ(plain, skin.str() + "/");
    EXPECT_EQ(window.Image().GetPixel(150, 20), Tag(kMain, 150, 20));
}

TEST_F(MainWindowTest, TheTitleBarIsAsWideAsTheBackground) {
    const Dib before = window.Image();
    TempFolder narrow;
    WriteTagged(narrow.path(), "MAIN.BMP", kOther, 200, 116);
    std::string path = narrow.str();
    window.LoadMainSkin(path);
    EXPECT_EQ(window.Image().GetPixel(199, 1), Tag(kTitleBar, 226, 1));
    EXPECT_EQ(window.Image().GetPixel(230, 1), before.GetPixel(230, 1));  // neither copy reaches it
    EXPECT_EQ(window.Image().GetPixel(230, 20), before.GetPixel(230, 20));
}

TEST(HitMaps, ControlRegionsCarryTheirCodesToTheirInclusiveEdges) {
    const MainWindow main;
    const auto code = [](const Dib& map, int32_t x, int32_t y) { return map.GetPixel(x, y); };
    EXPECT_EQ(code(main.picCol, 15, 89), 10);   // previous, top-left corner
    EXPECT_EQ(code(main.picCol, 37, 104), 10);  // previous, bottom-right corner
    EXPECT_EQ(code(main.picCol, 38, 95), 0);    // the gap before play
    EXPECT_EQ(code(main.picCol, 262, 80), 90);  // position bar
    EXPECT_EQ(code(main.picCol, 245, 1), 160);  // minimize reaches a row higher
    EXPECT_EQ(code(main.picCol, 13, 62), 180);  // clutterbar
    EXPECT_EQ(code(main.picCol, 5, 30), 0);
    const EqualizerWindow eq;
    EXPECT_EQ(code(eq.picCol, 78, 38), 180);    // band 1
    EXPECT_EQ(code(eq.picCol, 109, 100), 110);  // band 2
    EXPECT_EQ(code(eq.picCol, 253, 38), 30);    // band 10
    EXPECT_EQ(code(eq.picCol, 217, 17), 170);   // PRESETS
    EXPECT_EQ(main.picCol.BitCount(), 24);
    EXPECT_EQ(eq.picCol.Width(), 275);
    EXPECT_EQ(eq.picCol.Height(), 116);
}
