#include "app/win32/gdi_canvas.h"

#include <algorithm>

namespace win32_app {
namespace {

HPEN makePen(const ui::Pen& pen) {
    return CreatePen(pen.style == ui::PenStyle::Dotted ? PS_DOT : PS_SOLID, pen.width,
                     colorRef(pen.colour));
}

// Selects an object for the length of one call and deletes it afterwards.
class Selected {
  public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), object_(object), old_(SelectObject(dc, object)) {}
    ~Selected() {
        SelectObject(dc_, old_);
        DeleteObject(object_);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

  private:
    HDC dc_;
    HGDIOBJ object_;
    HGDIOBJ old_;
};

}  // namespace

void GdiCanvas::line(const ui::Pen& pen, ui::Point from, ui::Point to) {
    Selected p(dc_, makePen(pen));
    MoveToEx(dc_, from.x, from.y, nullptr);
    LineTo(dc_, to.x, to.y);
}

void GdiCanvas::rectangle(const ui::Pen& outline, const ui::Brush& fill, ui::Rect r) {
    Selected p(dc_, makePen(outline));
    Selected b(dc_, CreateSolidBrush(colorRef(fill.colour)));
    Rectangle(dc_, std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
              std::max(r.top, r.bottom));
}

void GdiCanvas::text(ui::Point at, std::string_view s, ui::Rgb colour, ui::Rgb background) {
    SetTextColor(dc_, colorRef(colour));
    SetBkColor(dc_, colorRef(background));
    SetBkMode(dc_, OPAQUE);
    TextOutA(dc_, at.x, at.y, s.data(), static_cast<int>(s.size()));
}

}  // namespace win32_app
