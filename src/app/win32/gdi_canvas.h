// The spectrum view's canvas over a GDI device context: GDI's own pixel rules
// are the ones the canvas contract states.
#pragma once

#include <windows.h>

#include "ui/canvas.h"

namespace win32_app {

class GdiCanvas final : public ui::Canvas {
  public:
    explicit GdiCanvas(HDC dc) : dc_(dc) {}
    void line(const ui::Pen& pen, ui::Point from, ui::Point to) override;
    void rectangle(const ui::Pen& outline, const ui::Brush& fill, ui::Rect r) override;
    void text(ui::Point at, std::string_view s, ui::Rgb colour, ui::Rgb background) override;

  private:
    HDC dc_;
};

inline COLORREF colorRef(ui::Rgb c) {
    return RGB(c.red, c.green, c.blue);
}

}  // namespace win32_app
