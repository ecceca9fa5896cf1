// Dialogs open where the user sees both them and the main window.
#include <gtest/gtest.h>

#include "ui/dialog_placement.h"

namespace {

using ui::DialogPlace;
using ui::placeDialog;

TEST(DialogPlacement, BesideTheWindowWhereThereIsRoomOrCentredOverIt) {
    const ui::ScreenRect screen{0, 0, 1600, 1000};
    // Room on the right; then only on the left; below; above; nowhere,
    // where the screen's corner on the roomier sides is taken.
    auto at = placeDialog(DialogPlace::Beside, {10, 20, 1200, 750}, 310, 140, screen);
    EXPECT_EQ(at.x, 1218);
    EXPECT_EQ(at.y, 20);
    at = placeDialog(DialogPlace::Beside, {390, 20, 1200, 750}, 310, 140, screen);
    EXPECT_EQ(at.x, 72);
    at = placeDialog(DialogPlace::Beside, {0, 0, 766, 574}, 310, 140, {0, 0, 1024, 768});
    EXPECT_EQ(at.x, 0);
    EXPECT_EQ(at.y, 582);
    at = placeDialog(DialogPlace::Beside, {150, 0, 1200, 900}, 310, 140, screen);
    EXPECT_EQ(at.x, 1290);
    EXPECT_EQ(at.y, 860);
    at = placeDialog(DialogPlace::Beside, {199, 112, 1202, 775}, 308, 125, screen);
    EXPECT_EQ(at.x, 0);  // over the title bar, not the spectrum or the buttons
    EXPECT_EQ(at.y, 0);
    at = placeDialog(DialogPlace::Beside, {100, 900, 1490, 750}, 310, 140, screen);
    EXPECT_EQ(at.y, 752);  // above

    // A modal dialog over the middle of the window, not at its corner.
    at = placeDialog(DialogPlace::CentredOnOwner, {100, 50, 800, 600}, 400, 350, screen);
    EXPECT_EQ(at.x, 300);
    EXPECT_EQ(at.y, 175);
    at = placeDialog(DialogPlace::CentredOnOwner, {-300, -100, 400, 300}, 400, 350, screen);
    EXPECT_EQ(at.x, 0);
    EXPECT_EQ(at.y, 0);
}

}  // namespace
