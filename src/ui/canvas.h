// The drawing seam: what the spectrum view paints onto the main
// window's client area. A front end implements it over its painter (GDI, a
// QPainter, an image in memory); the core calls it only from inside its paint
// handler, on the loop's thread, and never keeps it past that call.
//
// Contract for every backend:
// - Coordinates are client-area pixels, x to the right, y downwards, (0, 0)
//   the top-left corner. Calls may reach outside the area (the view draws
//   amplitudes off the top and runs past the right edge): the backend clips,
//   it never fails.
// - The pixels follow GDI's rules, so that every front end shows the same
//   picture:
//   * line(pen, from, to) draws from `from` up to, not including, `to`
//     (LineTo). A pen of width w > 1 is centred on the path.
//   * rectangle(outline, fill, r) fills and outlines the columns r.left to
//     r.right - 1 and rows r.top to r.bottom - 1 (Rectangle): the outline is
//     the pen's width inside that box, the fill is the rest.
//     Corners given the other way round (a selection dragged leftwards is
//     drawn from its start to its end) mean the same box.
//   * text(at, s, colour, background) draws s with the window's font, its
//     character cells' top-left corner at `at`, on an opaque background of
//     `background` covering the cells.
// - A dotted pen draws dots of the pen's colour with gaps in which nothing is
//   drawn. (GDI draws a dotted pen wider than one pixel solid; a backend may
//   do the same. The core does not depend on the pattern.)
// - The area has been erased to kWindowBackground before the paint starts;
//   the core never erases.
// - Every call is complete in itself: no pen, brush or position is remembered
//   between calls, and the core never reads anything back.
#pragma once

#include <cstdint>
#include <string_view>

namespace ui {

struct Rgb {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

enum class PenStyle { Solid, Dotted };

struct Pen {
    PenStyle style = PenStyle::Solid;
    int width = 1;
    Rgb colour{};
    friend constexpr bool operator==(const Pen&, const Pen&) = default;
};

// A solid brush.
struct Brush {
    Rgb colour{};
    friend constexpr bool operator==(const Brush&, const Brush&) = default;
};

struct Point {
    int x = 0;
    int y = 0;
    friend constexpr bool operator==(const Point&, const Point&) = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

// The colours and drawing objects of the main window and the spectrum view.
inline constexpr Rgb kWindowBackground{0, 64, 0};  // the window class's brush
inline constexpr Rgb kLabelColour{191, 191, 0};
inline constexpr Rgb kLabelBackground{0, 0, 0};
// The device context's initial pen, which outlines the stop runs and the selection.
inline constexpr Pen kInitialPen{PenStyle::Solid, 1, {0, 0, 0}};
inline constexpr Pen kGreenPen{PenStyle::Solid, 1, {0, 255, 0}};
inline constexpr Pen kWhitePen{PenStyle::Solid, 2, {255, 255, 255}};
inline constexpr Pen kOrangePen{PenStyle::Dotted, 2, {255, 127, 63}};
inline constexpr Brush kStopBrush{{127, 0, 0}};
// The output's spectrum, over the input's green.
inline constexpr Pen kOutputPen{PenStyle::Solid, 1, {255, 64, 255}};
// The standard light-gray brush (the platform's stock brush, RGB(192,192,192)).
inline constexpr Brush kLightGrayBrush{{192, 192, 192}};

class Canvas {
  public:
    virtual ~Canvas() = default;
    virtual void line(const Pen& pen, Point from, Point to) = 0;
    virtual void rectangle(const Pen& outline, const Brush& fill, Rect r) = 0;
    virtual void text(Point at, std::string_view s, Rgb colour, Rgb background) = 0;
};

}  // namespace ui
