#include "app/qt/painter_canvas.h"

#include <QPainter>
#include <algorithm>
#include <cstdlib>

namespace qt_front {

namespace {

QColor colour(ui::Rgb c) {
    return QColor(c.red, c.green, c.blue);
}

// Far-off end points (amplitudes above the top) are pulled in along the line
// to a box around the area, so the rasteriser never sees huge coordinates.
// The pulled-in end lies outside the area, so dropping it changes nothing.
bool clipToBox(double& x0, double& y0, double& x1, double& y1, double lo, double hiX, double hiY) {
    double t0 = 0.0, t1 = 1.0;
    const double dx = x1 - x0, dy = y1 - y0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - lo, hiX - x0, y0 - lo, hiY - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1) return false;
    }
    const double nx0 = x0 + t0 * dx, ny0 = y0 + t0 * dy;
    x1 = x0 + t1 * dx;
    y1 = y0 + t1 * dy;
    x0 = nx0;
    y0 = ny0;
    return true;
}

}  // namespace

PainterCanvas::PainterCanvas(QPainter& painter, const QFont& font)
    : p_(painter), metrics_(font, painter.device()) {
    p_.setRenderHint(QPainter::Antialiasing, false);
    p_.setFont(font);
}

void PainterCanvas::line(const ui::Pen& pen, ui::Point from, ui::Point to) {
    if (from == to) return;
    double x0 = from.x, y0 = from.y, x1 = to.x, y1 = to.y;
    const QRect area = p_.viewport();
    const double limit = 1 << 20;
    if (std::abs(x0) > limit || std::abs(y0) > limit || std::abs(x1) > limit ||
        std::abs(y1) > limit) {
        const double margin = 64.0;
        if (!clipToBox(x0, y0, x1, y1, -margin, area.width() + margin, area.height() + margin))
            return;
    }
    // One-pixel lines with flat caps leave the end point out, as the
    // platform's line drawing does. A wider pen is drawn as that many
    // one-pixel lines side by side across the path (the rasteriser's wide
    // strokes cost ten times as much), and solid, as the platform draws a
    // dotted pen wider than one pixel.
    const int width = std::max(pen.width, 1);
    QPen qpen(colour(pen.colour), 1,
              pen.style == ui::PenStyle::Dotted && width == 1 ? Qt::DotLine : Qt::SolidLine,
              Qt::FlatCap);
    qpen.setCosmetic(true);
    p_.setPen(qpen);
    const bool steep = std::abs(y1 - y0) > std::abs(x1 - x0);
    for (int i = 0; i < width; ++i) {
        const double offset = i - (width - 1) / 2;
        const QPointF shift = steep ? QPointF(offset, 0.0) : QPointF(0.0, offset);
        p_.drawLine(QPointF(x0, y0) + shift, QPointF(x1, y1) + shift);
    }
}

void PainterCanvas::rectangle(const ui::Pen& outline, const ui::Brush& fill, ui::Rect r) {
    const int left = std::min(r.left, r.right), right = std::max(r.left, r.right);
    const int top = std::min(r.top, r.bottom), bottom = std::max(r.top, r.bottom);
    if (right - left < 1 || bottom - top < 1) return;
    const int w = std::max(outline.width, 1);
    p_.fillRect(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)), colour(outline.colour));
    if (right - left > 2 * w && bottom - top > 2 * w)
        p_.fillRect(QRect(QPoint(left + w, top + w), QPoint(right - 1 - w, bottom - 1 - w)),
                    colour(fill.colour));
}

void PainterCanvas::text(ui::Point at, std::string_view s, ui::Rgb c, ui::Rgb background) {
    const QString text = QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
    const int width = metrics_.horizontalAdvance(text);
    p_.fillRect(QRect(at.x, at.y, width, metrics_.height()), colour(background));
    p_.setPen(colour(c));
    p_.drawText(QPoint(at.x, at.y + metrics_.ascent()), text);
}

ui::FontMetrics labelMetrics(const QFont& font) {
    const QFontMetrics m(font);
    ui::FontMetrics metrics;
    for (char ch = ' '; ch <= '~'; ++ch) {
        const int advance = m.horizontalAdvance(QChar(ch));
        metrics.maxCharWidth = std::max(metrics.maxCharWidth, advance);
        metrics.advance[static_cast<size_t>(ch - ' ')] =
            static_cast<uint8_t>(std::clamp(advance, 0, 255));
    }
    metrics.height = m.height();
    return metrics;
}

}  // namespace qt_front
