// The windowless front end's canvas keeps the platform's pixel rules, so its
// pictures match the desktop's.
#include <gtest/gtest.h>

#include "app/snapshot/image_canvas.h"

using namespace ui;

TEST(ImageCanvas, LinesLeaveTheirEndAndRectanglesTheirRightAndBottom) {
    const Rgb bg{0, 64, 0};
    snapshot::ImageCanvas c(20, 10, bg);
    c.line(kGreenPen, {2, 1}, {6, 1});
    EXPECT_EQ(c.pixel(2, 1), kGreenPen.colour);
    EXPECT_EQ(c.pixel(5, 1), kGreenPen.colour);
    EXPECT_EQ(c.pixel(6, 1), bg);
    c.rectangle(kInitialPen, kStopBrush, {10, 2, 15, 9});
    EXPECT_EQ(c.pixel(10, 2), kInitialPen.colour);  // outline
    EXPECT_EQ(c.pixel(14, 8), kInitialPen.colour);
    EXPECT_EQ(c.pixel(12, 5), kStopBrush.colour);  // fill
    EXPECT_EQ(c.pixel(15, 5), bg);
    EXPECT_EQ(c.pixel(12, 9), bg);
    // A trace far off the top is clipped, not a failure.
    c.line(kWhitePen, {0, 9}, {19, -30000});
    c.text({0, 0}, " 1,000 Hz ", kLabelColour, kLabelBackground);
    EXPECT_EQ(c.pixel(0, 0), kLabelBackground);
}
