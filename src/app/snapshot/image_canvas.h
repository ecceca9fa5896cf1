// A canvas that draws into an RGB image in memory, with GDI's pixel rules and
// a small built-in font, and writes it as PNG or PPM.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "ui/canvas.h"

namespace snapshot {

class ImageCanvas final : public ui::Canvas {
  public:
    // The font's character cell.
    static constexpr int kCharWidth = 7;
    static constexpr int kCharHeight = 12;

    ImageCanvas(int width, int height, ui::Rgb background);

    void line(const ui::Pen& pen, ui::Point from, ui::Point to) override;
    void rectangle(const ui::Pen& outline, const ui::Brush& fill, ui::Rect r) override;
    void text(ui::Point at, std::string_view s, ui::Rgb colour, ui::Rgb background) override;

    int width() const { return width_; }
    int height() const { return height_; }
    ui::Rgb pixel(int x, int y) const;

    // Writes the image as PNG, or as binary PPM; false when a write failed.
    bool write(std::FILE* to, bool ppm) const;

  private:
    void put(int x, int y, ui::Rgb c);
    void fill(int left, int top, int right, int bottom, ui::Rgb c);
    int width_;
    int height_;
    std::vector<uint8_t> rgb_;
};

}  // namespace snapshot
