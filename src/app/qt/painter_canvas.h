// The drawing seam over a QPainter, one device pixel per pixel of the view.
// The painter is not antialiased, so lines and boxes land on whole pixels as
// the other front ends draw them.
#pragma once

#include <QFont>
#include <QFontMetrics>

#include "ui/canvas.h"
#include "ui/main_view.h"

class QPainter;

namespace qt_front {

class PainterCanvas final : public ui::Canvas {
  public:
    // font: the window's font, in which labels are written.
    PainterCanvas(QPainter& painter, const QFont& font);

    void line(const ui::Pen& pen, ui::Point from, ui::Point to) override;
    void rectangle(const ui::Pen& outline, const ui::Brush& fill, ui::Rect r) override;
    void text(ui::Point at, std::string_view s, ui::Rgb colour, ui::Rgb background) override;

  private:
    QPainter& p_;
    QFontMetrics metrics_;
};

// The widest character the labels can use, in pixels, and a line's height:
// the font's own maximum covers every script it has and would push the
// labels far from the edge.
ui::FontMetrics labelMetrics(const QFont& font);

}  // namespace qt_front
