#include "app/snapshot/image_canvas.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace snapshot {

namespace {

// 5 x 7 glyphs, one string of 35 cells per character, for what the labels use.
struct Glyph {
    char c;
    const char* rows;
};
constexpr Glyph kGlyphs[] = {
    {'0', "01110100011001110101110011000101110"}, {'1', "00100011000010000100001000010001110"},
    {'2', "01110100010000100010001000100011111"}, {'3', "11110000010000101110000010000111110"},
    {'4', "00010001100101010010111110001000010"}, {'5', "11111100001111000001000011000101110"},
    {'6', "00110010001000011110100011000101110"}, {'7', "11111000010001000100010000100001000"},
    {'8', "01110100011000101110100011000101110"}, {'9', "01110100011000101111000010001001100"},
    {',', "00000000000000000000001100010001000"}, {'H', "10001100011000111111100011000110001"},
    {'z', "00000000001111100010001000100011111"}, {'>', "01000001000001000001000100010001000"},
    {'-', "00000000000000011111000000000000000"}, {'.', "00000000000000000000000000110001100"},
};

const char* glyphFor(char c) {
    for (const Glyph& g : kGlyphs)
        if (g.c == c) return g.rows;
    return nullptr;
}

}  // namespace

ImageCanvas::ImageCanvas(int width, int height, ui::Rgb background)
    : width_(std::max(width, 1)), height_(std::max(height, 1)) {
    rgb_.resize(static_cast<size_t>(width_) * height_ * 3);
    fill(0, 0, width_, height_, background);
}

void ImageCanvas::put(int x, int y, ui::Rgb c) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    uint8_t* p = &rgb_[(static_cast<size_t>(y) * width_ + x) * 3];
    p[0] = c.red;
    p[1] = c.green;
    p[2] = c.blue;
}

ui::Rgb ImageCanvas::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return {};
    const uint8_t* p = &rgb_[(static_cast<size_t>(y) * width_ + x) * 3];
    return {p[0], p[1], p[2]};
}

void ImageCanvas::fill(int left, int top, int right, int bottom, ui::Rgb c) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, width_);
    bottom = std::min(bottom, height_);
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            put(x, y, c);
}

void ImageCanvas::line(const ui::Pen& pen, ui::Point from, ui::Point to) {
    // Bresenham, the end point excluded; a wide pen is a square brush around the path.
    const int64_t dx = std::abs(static_cast<int64_t>(to.x) - from.x);
    const int64_t dy = -std::abs(static_cast<int64_t>(to.y) - from.y);
    const int sx = from.x < to.x ? 1 : -1;
    const int sy = from.y < to.y ? 1 : -1;
    int64_t err = dx + dy;
    int64_t x = from.x, y = from.y;
    const int w = std::max(pen.width, 1);
    const int lo = -(w - 1) / 2;
    for (int64_t n = 0;; ++n) {
        if (x == to.x && y == to.y) break;
        const bool dot = pen.style == ui::PenStyle::Solid || (n / 3) % 2 == 0;
        if (dot && x > -w && x < width_ + w && y > -w && y < height_ + w)
            for (int oy = lo; oy < lo + w; ++oy)
                for (int ox = lo; ox < lo + w; ++ox)
                    put(static_cast<int>(x + ox), static_cast<int>(y + oy), pen.colour);
        const int64_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

void ImageCanvas::rectangle(const ui::Pen& outline, const ui::Brush& brush, ui::Rect r) {
    const int left = std::min(r.left, r.right), right = std::max(r.left, r.right);
    const int top = std::min(r.top, r.bottom), bottom = std::max(r.top, r.bottom);
    if (right - left < 1 || bottom - top < 1) return;
    const int w = std::max(outline.width, 1);
    fill(left, top, right, bottom, outline.colour);
    fill(left + w, top + w, right - w, bottom - w, brush.colour);
}

void ImageCanvas::text(ui::Point at, std::string_view s, ui::Rgb colour, ui::Rgb background) {
    for (size_t i = 0; i < s.size(); ++i) {
        const int x0 = at.x + static_cast<int>(i) * kCharWidth;
        fill(x0, at.y, x0 + kCharWidth, at.y + kCharHeight, background);
        const char* rows = glyphFor(s[i]);
        if (!rows) continue;
        for (int gy = 0; gy < 7; ++gy)
            for (int gx = 0; gx < 5; ++gx)
                if (rows[gy * 5 + gx] == '1') put(x0 + 1 + gx, at.y + 3 + gy, colour);
    }
}

bool ImageCanvas::write(std::FILE* f, bool ppm) const {
    if (ppm)
        return std::fprintf(f, "P6\n%d %d\n255\n", width_, height_) > 0 &&
               std::fwrite(rgb_.data(), 1, rgb_.size(), f) == rgb_.size() && std::fflush(f) == 0;
    bool ok = true;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        ok = false;
    } else {
        png_init_io(png, f);
        png_set_IHDR(png, info, width_, height_, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < height_; ++y)
            png_write_row(png, &rgb_[static_cast<size_t>(y) * width_ * 3]);
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    return ok && std::fflush(f) == 0 && !std::ferror(f);
}

}  // namespace snapshot
