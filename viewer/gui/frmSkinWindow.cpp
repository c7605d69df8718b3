#include "gui/frmSkinWindow.h"

#include <QCursor>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

namespace veltrane {
namespace {

MouseButton ButtonOf(const QMouseEvent* event) {
    switch (event->button()) {
    case Qt::RightButton: return MouseButton::Right;
    case Qt::LeftButton: return MouseButton::Left;
    default: return MouseButton::Middle;
    }
}

}  // namespace

QImage WrapDib(const Dib& dib) {
    if (dib.Empty()) return {};
    const QImage::Format format = dib.BitCount() == 32   ? QImage::Format_RGB32
                                  : dib.BitCount() == 24 ? QImage::Format_BGR888
                                                         : QImage::Format_Indexed8;
    QImage image(dib.Bits(), dib.Width(), dib.Height(), dib.Stride(), format);
    if (format == QImage::Format_Indexed8) {
        // Only 8-bit paletted images come here in practice; lower depths are not wrapped.
        if (dib.BitCount() != 8) return {};
        QList<QRgb> table;
        for (int i = 0; i < dib.ColorCount(); ++i) {
            const RgbQuad c = dib.Colors()[i];
            table.push_back(qRgb(c.red, c.green, c.blue));
        }
        image.setColorTable(table);
    }
    return image;
}

void DrawDib(QPainter& painter, const Dib& dib) {
    const QImage image = WrapDib(dib);
    if (image.isNull()) return;
    painter.save();
    // The bottom scan line comes first in memory: mirror vertically onto the widget.
    painter.translate(0, dib.Height());
    painter.scale(1, -1);
    painter.drawImage(0, 0, image);
    painter.restore();
}

frmSkinWindow::frmSkinWindow(SkinWindow& window, const QString& caption, LiveWindowShared& shared)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint), m_window(window), m_shared(shared) {
    setWindowTitle(caption);
    setAttribute(Qt::WA_OpaquePaintEvent);
    window.OnRefresh = [this] { Presented(); };
    if (window.Width() > 0) setFixedSize(window.Width(), window.Height());
}

frmSkinWindow::~frmSkinWindow() { m_window.OnRefresh = nullptr; }

void frmSkinWindow::Presented() {
    if (m_window.Width() > 0 && size() != QSize(m_window.Width(), m_window.Height()))
        setFixedSize(m_window.Width(), m_window.Height());
    update();
}

void frmSkinWindow::ShowPopupMenu() {
    if (PopupMenu) PopupMenu();
}

Point frmSkinWindow::CursorPos() const {
    const QPoint p = QCursor::pos();
    return Point{p.x(), p.y()};
}

void frmSkinWindow::MoveWindowTo(int32_t left, int32_t top) { move(left, top); }

void frmSkinWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawDib(painter, m_window.Image());
}

void frmSkinWindow::mousePressEvent(QMouseEvent* event) {
    if (m_controller) m_controller->MouseDown(ButtonOf(event), event->position().x(), event->position().y());
}

void frmSkinWindow::mouseMoveEvent(QMouseEvent* event) {
    if (m_controller) m_controller->MouseMove(event->position().x(), event->position().y());
}

void frmSkinWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (m_controller) m_controller->MouseUp(ButtonOf(event));
}

}  // namespace veltrane
