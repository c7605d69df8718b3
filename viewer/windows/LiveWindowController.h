// Toolkit-free mouse handling of the three live skin windows. The Qt widgets forward their mouse
// events here and implement LiveWindowHost; everything the windows do with the mouse (pressing and
// sliding over the imitated controls, the four toggles, dragging by the top band, the popup menu) is
// decided here, so it is tested without a display.
#pragma once

#include "platform/Blit.h"
#include "platform/Dib.h"

#include <cstdint>
#include <functional>

namespace veltrane {

enum class MouseButton { Left, Right, Middle };

// What a controller asks of the window around it.
class LiveWindowHost {
public:
    virtual ~LiveWindowHost() = default;
    // Opens the browser's popup menu at the mouse position.
    virtual void ShowPopupMenu() = 0;
    // The cursor's position on the screen, in pixels.
    virtual Point CursorPos() const = 0;
    // Moves the window's outer top-left corner to a screen position, in pixels.
    virtual void MoveWindowTo(int32_t left, int32_t top) = 0;
    // Composes the window into its persistent image and presents it.
    virtual void Redraw() = 0;
};

// The state every live window shares with the browser: WindowDragging is -1 while a mouse button
// other than the right one is held in any live window, which holds off the browser's docking.
struct LiveWindowShared {
    int16_t WindowDragging = 0;
    // While it answers true (a selection or save run is under way), presses are refused.
    std::function<bool()> RefuseInput;
};

// The press origin and the drag band, common to all three windows.
class LiveWindowController {
public:
    // A press on a control cannot drag the window; DragOriginX then holds this marker.
    static constexpr float kNoDrag = -100.0f;
    // A window is dragged only while the grab point stays in its top rows.
    static constexpr double kDragBandHeight = 24.0;

    LiveWindowController(LiveWindowShared& shared, LiveWindowHost& host) : m_shared(shared), m_host(host) {}
    virtual ~LiveWindowController() = default;

    virtual void MouseDown(MouseButton button, double x, double y) = 0;
    virtual void MouseMove(double x, double y) = 0;
    virtual void MouseUp(MouseButton button) = 0;

    float DragOriginX() const { return m_dragOriginX; }
    float DragOriginY() const { return m_dragOriginY; }

protected:
    // Right button: popup menu. Returns true when the press is to be handled further (it is not a
    // right click and no run refuses it); it then marks the window as being held.
    bool BeginPress(MouseButton button);
    // True when the release ends a press that BeginPress accepted; clears WindowDragging.
    bool EndPress(MouseButton button);
    bool Holding() const { return m_holding; }
    // Keeps the grab point under the cursor while it stays in the drag band.
    void DragIfInBand(double y);

    LiveWindowShared& m_shared;
    LiveWindowHost& m_host;
    float m_dragOriginX = 0.0f;
    float m_dragOriginY = 0.0f;

private:
    bool m_holding = false;
};

// The main and equalizer windows: a press decodes a control from the window's hit map and presses
// it, sliding onto another control while held presses that one instead, and a press on no control
// (black in the map) may drag the window by its top band. The windows differ in what pressing and
// releasing a control does.
class HitMapWindowController : public LiveWindowController {
public:
    HitMapWindowController(const Dib& hitMap, LiveWindowShared& shared, LiveWindowHost& host)
        : LiveWindowController(shared, host), m_hitMap(hitMap) {}

    void MouseDown(MouseButton button, double x, double y) override;
    void MouseMove(double x, double y) override;
    void MouseUp(MouseButton button) override;

    int32_t ColDec(double x, double y) const;
    virtual void ButtonDown(int32_t code) = 0;
    virtual void ButtonUp(int32_t code) = 0;
    virtual void ButtonOver(int32_t) {}

    int32_t ActiveHitCode() const { return m_activeHitCode; }

protected:
    // Whether a move without a held button redraws the window too.
    virtual bool RedrawsOnHover() const { return false; }

private:
    const Dib& m_hitMap;
    int32_t m_activeHitCode = 0;
};

}  // namespace veltrane
