// The Qt side of a live skin window: a frameless top-level widget that shows its window's
// persistent image pixel for pixel and hands every mouse event to the window's controller.
#pragma once

#include "rendering/WinAMPGraphics.h"
#include "windows/LiveWindowController.h"

#include <QWidget>

#include <functional>
#include <memory>

class QImage;

namespace veltrane {

// Wraps a 24- or 32-bit Dib's pixels without copying. Dibs are stored bottom-up, so the image
// comes out upside down; DrawDib turns it the right way up.
QImage WrapDib(const Dib& dib);
// Paints the Dib at (0, 0) of the painter, 1:1.
void DrawDib(class QPainter& painter, const Dib& dib);

class frmSkinWindow : public QWidget, public LiveWindowHost {
    Q_OBJECT
public:
    frmSkinWindow(SkinWindow& window, const QString& caption, LiveWindowShared& shared);
    ~frmSkinWindow() override;

    // What a right click opens: the browser's popup menu.
    std::function<void()> PopupMenu;

    LiveWindowController& Controller() { return *m_controller; }

    // LiveWindowHost
    void ShowPopupMenu() override;
    Point CursorPos() const override;
    void MoveWindowTo(int32_t left, int32_t top) override;

protected:
    void SetController(std::unique_ptr<LiveWindowController> controller) { m_controller = std::move(controller); }
    LiveWindowShared& Shared() { return m_shared; }

    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Follows the persistent image: repaints and takes over its size.
    void Presented();

    SkinWindow& m_window;
    LiveWindowShared& m_shared;
    std::unique_ptr<LiveWindowController> m_controller;
};

}  // namespace veltrane
