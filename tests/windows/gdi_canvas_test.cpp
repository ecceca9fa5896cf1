// The GDI canvas keeps the canvas contract's pixel rules (the same the
// windowless front end's image canvas keeps), drawn into a bitmap in memory.
#include <gtest/gtest.h>

#include "app/win32/gdi_canvas.h"

using namespace ui;

namespace {

class Bitmap {
  public:
    Bitmap(int width, int height, Rgb background) : width_(width) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_),
                                   nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        RECT all{0, 0, width, height};
        HBRUSH brush = CreateSolidBrush(win32_app::colorRef(background));
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
    }
    ~Bitmap() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC dc() const { return dc_; }
    Rgb pixel(int x, int y) const {
        GdiFlush();
        const uint32_t p = bits_[y * width_ + x];
        return {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                static_cast<uint8_t>(p)};
    }

  private:
    int width_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    uint32_t* bits_ = nullptr;
};

constexpr Rgb kBackground = kWindowBackground;

}  // namespace

TEST(GdiCanvas, LinesLeaveTheirEndAndRectanglesTheirRightAndBottom) {
    Bitmap b(20, 10, kBackground);
    win32_app::GdiCanvas c(b.dc());
    c.line(kGreenPen, {2, 1}, {6, 1});
    EXPECT_EQ(b.pixel(2, 1), kGreenPen.colour);
    EXPECT_EQ(b.pixel(5, 1), kGreenPen.colour);
    EXPECT_EQ(b.pixel(6, 1), kBackground);
    c.rectangle(kInitialPen, kStopBrush, {10, 2, 15, 9});
    EXPECT_EQ(b.pixel(10, 2), kInitialPen.colour);  // outline
    EXPECT_EQ(b.pixel(14, 8), kInitialPen.colour);
    EXPECT_EQ(b.pixel(12, 5), kStopBrush.colour);  // fill
    EXPECT_EQ(b.pixel(15, 5), kBackground);
    EXPECT_EQ(b.pixel(12, 9), kBackground);
}

TEST(GdiCanvas, CornersTheOtherWayRoundMeanTheSameBox) {
    Bitmap forwards(12, 12, kBackground), backwards(12, 12, kBackground);
    win32_app::GdiCanvas(forwards.dc()).rectangle(kInitialPen, kLightGrayBrush, {2, 3, 9, 10});
    win32_app::GdiCanvas(backwards.dc()).rectangle(kInitialPen, kLightGrayBrush, {9, 10, 2, 3});
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(forwards.pixel(x, y), backwards.pixel(x, y)) << x << "," << y;
    EXPECT_EQ(forwards.pixel(5, 6), kLightGrayBrush.colour);
}

TEST(GdiCanvas, WidePensDottedPensTextAndClipping) {
    Bitmap b(60, 30, kBackground);
    win32_app::GdiCanvas c(b.dc());
    // A white pen of width 2 covers its path; a trace far off the top is
    // clipped, not a failure.
    c.line(kWhitePen, {0, 20}, {40, 20});
    EXPECT_EQ(b.pixel(20, 20), kWhitePen.colour);
    c.line(kWhitePen, {50, 29}, {59, -30000});
    // A dotted pen leaves some of its path drawn.
    c.line(kOrangePen, {0, 25}, {40, 25});
    int orange = 0;
    for (int x = 0; x < 40; ++x)
        orange += b.pixel(x, 25) == kOrangePen.colour;
    EXPECT_GT(orange, 0);
    // Text on an opaque background from its top-left corner on.
    c.text({0, 0}, " 1,000 Hz ", kLabelColour, kLabelBackground);
    EXPECT_EQ(b.pixel(0, 0), kLabelBackground);
    int label = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 60; ++x)
            label += b.pixel(x, y) == kLabelColour;
    EXPECT_GT(label, 0);
}
