// The live windows' mouse handling, driven without a display: presses, slides, toggles and drags
// checked on MainWindowState, on the composed window image and on the moves asked of the window.
#include "rendering/WinAMPGraphics.h"
#include "windows/EqualizerWindowController.h"
#include "windows/HitMap.h"
#include "windows/MainWindowController.h"
#include "windows/PlaylistWindowController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

using namespace veltrane;

namespace {

// Records what the controller asks of its window; Redraw runs the real composition.
class FakeHost : public LiveWindowHost {
public:
    std::function<void()> draw;
    Point cursor{600, 300};
    std::vector<Point> moves;
    int popups = 0;
    int redraws = 0;

    void ShowPopupMenu() override { ++popups; }
    Point CursorPos() const override { return cursor; }
    void MoveWindowTo(int32_t left, int32_t top) override { moves.push_back(Point{left, top}); }
    void Redraw() override {
        ++redraws;
        if (draw) draw();
    }
};

// Paints every row of a slot in its own colour (red = row), so a pixel of the composed image tells
// from which source row it was copied.
void PaintRowsByIndex(Dib& slot) {
    Dib fresh(slot.Width(), slot.Height(), 24);
    for (int32_t y = 0; y < fresh.Height(); ++y)
        for (int32_t x = 0; x < fresh.Width(); ++x) fresh.SetPixel(x, y, RgbQuad{uint8_t(x), 7, uint8_t(y), 0});
    slot = fresh;
}

// The source row that the composition copied to (x, y) of the window.
int SourceRowAt(const SkinWindow& w, int32_t x, int32_t y) { return w.Image().GetPixel(x, y) & 0xFF; }

bool SameImage(const Dib& a, const Dib& b) {
    return a.SizeInBytes() == b.SizeInBytes() && std::equal(a.Bits(), a.Bits() + a.SizeInBytes(), b.Bits());
}

class MainControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string none;
        window.LoadMainSkin(none);
        PaintRowsByIndex(window.picSR);
        PaintRowsByIndex(window.picButs);
        host.draw = [this] { window.DrawMainWindow(); };
        window.DrawMainWindow();
    }

    MainWindow window;
    LiveWindowShared shared;
    FakeHost host;
    MainWindowController controller{window.State, window.picCol, shared, host};
};

}  // namespace

TEST(ColDec, DecodesRegionEdgesRoundsTiesToEvenAndGivesMinusOneOutside) {
    const Dib map = MainWindow().picCol;
    EXPECT_EQ(ColDec(map, 15, 89), 1);
    EXPECT_EQ(ColDec(map, 37, 104), 1);
    EXPECT_EQ(ColDec(map, 38, 104), 0);
    EXPECT_EQ(ColDec(map, 14.5, 95), 0);  // rounds to 14
    EXPECT_EQ(ColDec(map, 15.5, 95), 1);  // rounds to 16
    EXPECT_EQ(ColDec(map, 13, 62), 18);   // clutterbar
    EXPECT_EQ(ColDec(map, -1, 50), -1);
    EXPECT_EQ(ColDec(map, 100, 116), -1);
    const Dib eq = EqualizerWindow().picCol;
    EXPECT_EQ(ColDec(eq, 78, 38), 18);   // band 1
    EXPECT_EQ(ColDec(eq, 96, 100), 11);  // band 2
    EXPECT_EQ(ColDec(eq, 253, 60), 3);   // band 10
    EXPECT_EQ(ColDec(eq, 30, 60), 16);   // preamp
}

TEST(ColDec, ColoursAbove200CountAsNoControl) {
    Dib map(4, 1, 24);
    map.SetPixel(0, 0, RgbQuad{0, 0, 200, 0});
    map.SetPixel(1, 0, RgbQuad{0, 0, 210, 0});
    map.SetPixel(2, 0, RgbQuad{0, 1, 0, 0});  // green makes the colour 256
    EXPECT_EQ(ColDec(map, 0, 0), 20);
    EXPECT_EQ(ColDec(map, 1, 0), 0);
    EXPECT_EQ(ColDec(map, 2, 0), 0);
}

TEST_F(MainControllerTest, ShuffleShowsPressedWhileHeldAndFlipsOnRelease) {
    EXPECT_EQ(SourceRowAt(window, 170, 89), 0);
    controller.MouseDown(MouseButton::Left, 180, 95);
    EXPECT_EQ(window.State.ShufflePressed, 1);
    EXPECT_EQ(shared.WindowDragging, -1);
    EXPECT_EQ(SourceRowAt(window, 170, 89), 15);
    controller.MouseUp(MouseButton::Left);
    EXPECT_EQ(window.State.ShufflePressed, 0);
    EXPECT_EQ(window.State.ShuffleOn, -1);
    EXPECT_EQ(shared.WindowDragging, 0);
    EXPECT_EQ(SourceRowAt(window, 170, 89), 30);
    controller.MouseDown(MouseButton::Left, 180, 95);
    EXPECT_EQ(SourceRowAt(window, 170, 89), 45);
    controller.MouseUp(MouseButton::Left);
    EXPECT_EQ(window.State.ShuffleOn, 0);
    EXPECT_EQ(SourceRowAt(window, 170, 89), 0);
}

TEST_F(MainControllerTest, EveryToggleFlipsAndOtherValuesBecomeFalse) {
    window.State.RepeatOn = 5;  // any non-zero value counts as on
    controller.MouseDown(MouseButton::Left, 220, 95);
    controller.MouseUp(MouseButton::Left);
    EXPECT_EQ(window.State.RepeatOn, 0);
    for (auto [x, y] : {std::pair{230, 60}, std::pair{250, 60}}) {
        controller.MouseDown(MouseButton::Left, x, y);
        controller.MouseUp(MouseButton::Left);
    }
    EXPECT_EQ(window.State.EqualizerOn, -1);
    EXPECT_EQ(window.State.PlaylistOn, -1);
    EXPECT_EQ(window.State.ShuffleOn, 0);
}

TEST_F(MainControllerTest, SlidingOntoAnotherControlPressesItInstead) {
    controller.MouseDown(MouseButton::Left, 50, 95);
    EXPECT_EQ(window.State.PlayPressed, 1);
    EXPECT_EQ(SourceRowAt(window, 45, 95), 18 + 7);  // play drawn from its pressed row
    controller.MouseMove(95, 95);
    EXPECT_EQ(window.State.PlayPressed, 0);
    EXPECT_EQ(window.State.StopPressed, 1);
    EXPECT_EQ(SourceRowAt(window, 45, 95), 7);
    EXPECT_EQ(controller.ActiveHitCode(), 4);
    controller.MouseUp(MouseButton::Left);
    EXPECT_EQ(window.State.StopPressed, 0);
    EXPECT_TRUE(host.moves.empty());
}

TEST_F(MainControllerTest, ClutterbarPressDrawsNothingNewAndCannotDrag) {
    const Dib before = window.Image();
    controller.MouseDown(MouseButton::Left, 15, 40);
    EXPECT_EQ(controller.ActiveHitCode(), 18);
    EXPECT_EQ(controller.DragOriginX(), LiveWindowController::kNoDrag);
    EXPECT_TRUE(SameImage(before, window.Image()));
    controller.MouseMove(100, 5);  // a black pixel in the band, but the press began on a control
    EXPECT_TRUE(host.moves.empty());
}

TEST_F(MainControllerTest, BlackPixelInTheBandDragsKeepingTheGrabPoint) {
    controller.MouseDown(MouseButton::Left, 100, 5);
    host.cursor = Point{612, 330};
    controller.MouseMove(101, 6);
    ASSERT_EQ(host.moves.size(), 1u);
    EXPECT_EQ(host.moves[0].x, 512);
    EXPECT_EQ(host.moves[0].y, 325);
    controller.MouseUp(MouseButton::Left);
    EXPECT_EQ(shared.WindowDragging, 0);
}

TEST_F(MainControllerTest, PressBelowTheBandDoesNotDrag) {
    controller.MouseDown(MouseButton::Left, 100, 30);
    controller.MouseMove(120, 40);
    EXPECT_TRUE(host.moves.empty());
}

TEST_F(MainControllerTest, LeavingTheMapReleasesEverythingAndDoesNotDrag) {
    controller.MouseDown(MouseButton::Left, 180, 95);
    controller.MouseMove(-10, 5);
    EXPECT_EQ(controller.ActiveHitCode(), -1);
    EXPECT_EQ(window.State.ShufflePressed, 0);
    EXPECT_TRUE(host.moves.empty());
    controller.MouseUp(MouseButton::Left);
    EXPECT_EQ(window.State.ShuffleOn, 0);  // released off the button: no toggle
}

TEST_F(MainControllerTest, RightClickOpensThePopupAndItsReleaseTogglesNothing) {
    controller.MouseDown(MouseButton::Left, 180, 95);
    controller.MouseUp(MouseButton::Left);
    ASSERT_EQ(window.State.ShuffleOn, -1);
    controller.MouseDown(MouseButton::Right, 180, 95);
    EXPECT_EQ(host.popups, 1);
    EXPECT_EQ(window.State.ShufflePressed, 0);
    EXPECT_EQ(shared.WindowDragging, 0);
    // The last decoded code is still shuffle; a right release must not flip it back.
    controller.MouseUp(MouseButton::Right);
    EXPECT_EQ(window.State.ShuffleOn, -1);
}

TEST_F(MainControllerTest, PressesAreRefusedWhileARunIsUnderWay) {
    bool running = true;
    shared.RefuseInput = [&] { return running; };
    controller.MouseDown(MouseButton::Left, 180, 95);
    EXPECT_EQ(window.State.ShufflePressed, 0);
    EXPECT_EQ(shared.WindowDragging, 0);
    running = false;
    controller.MouseUp(MouseButton::Left);
    EXPECT_EQ(window.State.ShuffleOn, 0);
}

TEST(EqualizerController, PressesChangeNothingAndEveryMoveRedraws) {
    EqualizerWindow window;
    std::string none;
    window.LoadEqualizerSkin(none);
    PaintRowsByIndex(window.picBack);
    window.DrawEqualizerWindow();
    const Dib before = window.Image();
    LiveWindowShared shared;
    FakeHost host;
    host.draw = [&] { window.DrawEqualizerWindow(); };
    EqualizerWindowController controller(window.picCol, shared, host);

    controller.MouseDown(MouseButton::Left, 20, 20);  // ON button
    EXPECT_EQ(controller.ActiveHitCode(), 12);
    controller.MouseMove(50, 20);  // slides onto AUTO
    EXPECT_EQ(controller.ActiveHitCode(), 13);
    controller.MouseUp(MouseButton::Left);
    EXPECT_TRUE(SameImage(before, window.Image()));

    const int redraws = host.redraws;
    controller.MouseMove(60, 60);  // no button held
    controller.MouseMove(61, 60);
    EXPECT_EQ(host.redraws, redraws + 2);

    controller.MouseDown(MouseButton::Left, 150, 5);
    host.cursor = Point{400, 200};
    controller.MouseMove(150, 6);
    ASSERT_EQ(host.moves.size(), 1u);
    EXPECT_EQ(host.moves[0].x, 250);
    EXPECT_EQ(host.moves[0].y, 195);
}

TEST(PlaylistController, AnyPressInTheBandDragsAndMovesRedraw) {
    LiveWindowShared shared;
    FakeHost host;
    PlaylistWindowController controller(shared, host);
    controller.MouseDown(MouseButton::Left, 10, 100);
    controller.MouseMove(10, 20);  // back in the band: the window jumps to keep the press origin
    ASSERT_EQ(host.moves.size(), 1u);
    EXPECT_EQ(host.moves[0].y, 200);
    controller.MouseUp(MouseButton::Left);
    EXPECT_EQ(shared.WindowDragging, 0);
    controller.MouseMove(10, 5);
    EXPECT_EQ(host.moves.size(), 1u);
    EXPECT_EQ(host.redraws, 2);
    controller.MouseDown(MouseButton::Right, 10, 5);
    EXPECT_EQ(host.popups, 1);
    EXPECT_EQ(shared.WindowDragging, 0);
}
