// A canvas that records every drawing call, for tests.
#pragma once

#include <string>
#include <vector>

#include "ui/canvas.h"

namespace ui::sim {

struct DrawCall {
    enum Kind { Line, Rectangle, Text } kind;
    Pen pen{};
    Brush brush{};
    Point from{}, to{};
    Rect rect{};
    std::string text;
    Rgb colour{}, background{};
};

class RecordingCanvas final : public Canvas {
  public:
    void line(const Pen& pen, Point from, Point to) override {
        calls.push_back({DrawCall::Line, pen, {}, from, to, {}, {}, {}, {}});
    }
    void rectangle(const Pen& outline, const Brush& fill, Rect r) override {
        calls.push_back({DrawCall::Rectangle, outline, fill, {}, {}, r, {}, {}, {}});
    }
    void text(Point at, std::string_view s, Rgb colour, Rgb background) override {
        calls.push_back({DrawCall::Text, {}, {}, at, {}, {}, std::string(s), colour, background});
    }

    std::vector<DrawCall> calls;
};

}  // namespace ui::sim
