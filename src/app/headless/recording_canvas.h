// A canvas that records every drawing call, for tests.
#pragma once

#include <string>
#include <vector>

#include "ui/canvas.h"

namespace headless {

struct DrawCall {
    enum Kind { Line, Rectangle, Text } kind;
    ui::Pen pen{};
    ui::Brush brush{};
    ui::Point from{}, to{};
    ui::Rect rect{};
    std::string text;
    ui::Rgb colour{}, background{};
};

class RecordingCanvas final : public ui::Canvas {
  public:
    void line(const ui::Pen& pen, ui::Point from, ui::Point to) override {
        calls.push_back({DrawCall::Line, pen, {}, from, to, {}, {}, {}, {}});
    }
    void rectangle(const ui::Pen& outline, const ui::Brush& fill, ui::Rect r) override {
        calls.push_back({DrawCall::Rectangle, outline, fill, {}, {}, r, {}, {}, {}});
    }
    void text(ui::Point at, std::string_view s, ui::Rgb colour, ui::Rgb background) override {
        calls.push_back({DrawCall::Text, {}, {}, at, {}, {}, std::string(s), colour, background});
    }

    std::vector<DrawCall> calls;
};

}  // namespace headless
