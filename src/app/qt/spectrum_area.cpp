#include "app/qt/spectrum_area.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "app/qt/painter_canvas.h"
#include "app/qt/template_dialog.h"
#include "ui/window_messages.h"

namespace qt_front {

namespace {
QColor background() {
    return QColor(ui::kWindowBackground.red, ui::kWindowBackground.green,
                  ui::kWindowBackground.blue);
}
}  // namespace

SpectrumArea::SpectrumArea(QWidget* parent, std::function<void(uint32_t, uintptr_t, intptr_t)> send)
    : QWidget(parent), send_(std::move(send)) {
    // The labels in the dialogs' 8-point face, bold: the application's own
    // font is wider, and its labels ran into each other sooner.
    labelFont_ = dialogFont();
    labelFont_.setBold(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::ArrowCursor);
    setMinimumSize(16, 16);
}

void SpectrumArea::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), background());
    if (!paint_) return;
    PainterCanvas canvas(painter, labelFont_);
    paint_(canvas);
}

void SpectrumArea::resizeEvent(QResizeEvent*) {
    if (resized_) resized_();
}

intptr_t SpectrumArea::point(const QMouseEvent* event) const {
    // While the button is held the pointer may leave the area: it counts at
    // the nearest edge, so a drag past the edge reaches it.
    const QPoint p = event->position().toPoint();
    const int x = std::clamp(p.x(), 0, std::max(0, width() - 1));
    const int y = std::clamp(p.y(), 0, std::max(0, height() - 1));
    return ui::pointParam(x, y);
}

void SpectrumArea::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() == Qt::LeftButton) send_(ui::kWmLButtonDown, 0, point(event));
    if (event->button() == Qt::RightButton) send_(ui::kWmRButtonDown, 0, point(event));
}

void SpectrumArea::mouseMoveEvent(QMouseEvent* event) {
    const bool inside = rect().contains(event->position().toPoint());
    if (inside || (event->buttons() & Qt::LeftButton)) send_(ui::kWmMouseMove, 0, point(event));
}

void SpectrumArea::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) send_(ui::kWmLButtonUp, 0, point(event));
}

uintptr_t SpectrumArea::virtualKey(int key) {
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return ui::kVkReturn;
        case Qt::Key_Shift:
            return ui::kVkShift;
        case Qt::Key_Escape:
            return ui::kVkEscape;
        case Qt::Key_PageUp:
            return ui::kVkPageUp;
        case Qt::Key_PageDown:
            return ui::kVkPageDown;
        case Qt::Key_End:
            return ui::kVkEnd;
        case Qt::Key_Home:
            return ui::kVkHome;
        case Qt::Key_Left:
            return ui::kVkLeft;
        case Qt::Key_Up:
            return ui::kVkUp;
        case Qt::Key_Right:
            return ui::kVkRight;
        case Qt::Key_Down:
            return ui::kVkDown;
        case Qt::Key_Space:
            return 0x20;
        default:
            // Letters and digits have their upper-case character codes.
            if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
                return static_cast<uintptr_t>(key);
            return 0;
    }
}

void SpectrumArea::keyPressEvent(QKeyEvent* event) {
    const uintptr_t vk = virtualKey(event->key());
    if (vk == 0) return QWidget::keyPressEvent(event);
    send_(ui::kWmKeyDown, vk, 0);
}

void SpectrumArea::keyReleaseEvent(QKeyEvent* event) {
    // A held key repeats its press but is released once.
    if (event->isAutoRepeat()) return;
    const uintptr_t vk = virtualKey(event->key());
    if (vk == 0) return QWidget::keyReleaseEvent(event);
    send_(ui::kWmKeyUp, vk, 0);
}

}  // namespace qt_front
