// Where a dialog opens, so that the user sees both it and the main window.
// A dialog that stays open while the user works in the main window (Audio
// Level Controls) opens beside the window where the screen has room for it
// (right, left, below, above), and so keeps off the spectrum; where it has
// none, in the screen's corner on the roomier sides. A modal dialog opens centred over the
// main window. Either stays inside the screen's work area. Rectangles are in
// screen pixels and include the windows' frames.
#pragma once

#include <algorithm>

namespace ui {

struct ScreenRect {
    int x, y, width, height;
    int right() const { return x + width; }
    int bottom() const { return y + height; }
};

struct ScreenPoint {
    int x, y;
};

enum class DialogPlace { Beside, CentredOnOwner };

// The gap between the main window and a dialog beside it.
inline constexpr int kDialogGap = 8;
// About a window's title bar, in pixels.
inline constexpr int kTitleAllowance = 32;

inline ScreenPoint placeDialog(DialogPlace place, const ScreenRect& owner, int width, int height,
                               const ScreenRect& screen) {
    int x, y;
    if (place == DialogPlace::Beside) {
        const int roomRight = screen.right() - owner.right() - kDialogGap;
        const int roomLeft = owner.x - kDialogGap - screen.x;
        const int roomBelow = screen.bottom() - owner.bottom() - kDialogGap;
        const int roomAbove = owner.y - kDialogGap - screen.y;
        x = owner.x;
        y = owner.y;
        if (roomRight >= width)
            x = owner.right() + kDialogGap;
        else if (roomLeft >= width)
            x = owner.x - kDialogGap - width;
        else if (roomBelow >= height)
            y = owner.bottom() + kDialogGap;
        else if (roomAbove >= height)
            y = owner.y - kDialogGap - height;
        else {
            // In the screen's corner on the roomier sides, over as little of
            // the window as the screen allows. When the sides are about even:
            // over its title bar rather than its content, and on the left,
            // away from the title bar's buttons.
            x = roomRight > roomLeft + kTitleAllowance ? screen.right() - width : screen.x;
            y = roomBelow > roomAbove + kTitleAllowance ? screen.bottom() - height : screen.y;
        }
    } else {
        x = owner.x + (owner.width - width) / 2;
        y = owner.y + (owner.height - height) / 2;
    }
    // Inside the work area; its top-left corner wins when the dialog is larger.
    x = std::max(screen.x, std::min(x, screen.right() - width));
    y = std::max(screen.y, std::min(y, screen.bottom() - height));
    return {x, y};
}

}  // namespace ui
