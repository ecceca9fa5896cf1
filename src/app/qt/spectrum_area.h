// The main window's client area: the spectrum is painted here through the
// controller, and the mouse and keys here become its messages.
#pragma once

#include <QFont>
#include <QWidget>
#include <functional>

#include "ui/canvas.h"

namespace qt_front {

class SpectrumArea final : public QWidget {
  public:
    // send delivers a message to the controller at once, as the platform
    // sends input messages to a window procedure.
    SpectrumArea(QWidget* parent, std::function<void(uint32_t, uintptr_t, intptr_t)> send);

    // What paints: the controller, once it is created.
    void setPainter(std::function<void(ui::Canvas&)> paint) { paint_ = std::move(paint); }
    void setResized(std::function<void()> resized) { resized_ = std::move(resized); }
    const QFont& labelFont() const { return labelFont_; }

    // The platform's virtual key for a Qt key, 0 for keys the core never sees.
    static uintptr_t virtualKey(int qtKey);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

  private:
    intptr_t point(const QMouseEvent* event) const;
    std::function<void(uint32_t, uintptr_t, intptr_t)> send_;
    std::function<void(ui::Canvas&)> paint_;
    std::function<void()> resized_;
    QFont labelFont_;
};

}  // namespace qt_front
