// The view seam: what the main window controller (ui/main_window.h) asks of a
// front end. The front end owns the real main window, its two menus and its
// dialogs; it turns these calls into platform calls and the user's input into
// the messages of ui/window_messages.h, which it sends to the controller (a
// platform::MessageTarget) with MainWindow::handleMessage, and it calls
// MainWindow::paint(canvas) for every paint of the client area.
//
// What the core guarantees to the front end:
// - Every call comes from the loop's thread, from inside one of the
//   controller's handlers.
// - The controller calls fontMetrics() once, during the window's creation.
// - The models handed to runModalDialog and openModelessDialog outlive the
//   dialogs: a modal model lives until the call returns, a modeless one as
//   long as the controller.
//
// What every front end must do:
// - Menus: build the main menu (101) on the main window and the popup (the
//   first submenu of 104) from ui/menu_table.h with their initial states.
//   setMenuItemChecked and setMenuItemEnabled address an item by command
//   identifier in the menu named; an identifier the menu lacks is ignored.
//   A chosen menu item, from either menu, reaches the controller as
//   kWmCommand with the identifier as wParam, posted (never sent from inside
//   the menu's own call).
// - Timer: setTimer starts a repeating timer that delivers kWmTimer with the
//   identifier as wParam through the loop, as low-priority messages (only
//   when nothing else is queued); it returns the identifier, or 0 on
//   failure. killTimer stops it; no tick is delivered after it.
// - invalidate(erase): the whole client area is to be painted again (after
//   erasing it to kWindowBackground when erase is true); the paint comes
//   through the loop later, never from inside this call, and several
//   invalidations before it give one paint. Nothing is painted while the
//   window is minimised or hidden.
// - Modal calls: runModalDialog, showPopupMenu and messageBox block until the
//   user answers, and while they block THEY KEEP DELIVERING POSTED MESSAGES,
//   as the platform's own modal loops do: audio completions, mixer
//   notifications, timer ticks and paints reach their targets from inside
//   the call, so audio goes on while a dialog is open. (The main window is
//   disabled for input meanwhile, but a posted kWmCommand is still
//   delivered.) If the quit message arrives, the call ends the dialog, box or
//   menu, returns (runModalDialog returns -1) and leaves the quit for the
//   main loop. The core is written for all of this: see MainWindow.
// - runModalDialog(model) builds the dialog from the model (ui/dialog_model.h)
//   owned by the main window, runs it until model.ended() and returns
//   model.result().
// - openModelessDialog(model) builds and shows the dialog; it stays open
//   beside the main window until model.ended() after one of its inputs, when
//   the front end destroys it. raiseDialog(model) brings the open dialog of
//   that model to the top. refreshDialog(model) sets the controls of an open
//   dialog from its model again (its state changed outside its inputs); it
//   is ignored for a model without an open dialog.
// - showPopupMenu(x, y): the popup at client point (x, y), converted to
//   screen coordinates, left-aligned, tracking the left button.
// - messageBox: a message box owned by the main window, shown through
//   platform::host().messageBox (so that tests record it); returns the
//   button.
// - destroyWindow: destroys the dialogs the main window owns (a modal
//   dialog's run call returns -1), then the window, which delivers kWmDestroy
//   to the controller before destroyWindow returns. It may be called from
//   inside kWmCreate (the start-up dialog's "Disagree").
// - isMinimised: whether the main window is minimised (iconic) now.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "dialogs/dialog_model.h"

namespace ui {

using dialogs::DialogModel;

// The two menus, by resource identifier.
enum class Menu : uint32_t { Main = 101, Popup = 104 };

struct FontMetrics {
    int maxCharWidth = 1;  // the widest character of the window's font, pixels
    int height = 1;        // a line of text, pixels
    // The advance of each printable character ' ' to '~', pixels, so that
    // the view knows where a label ends; 0 where unknown, and the widest
    // character then stands for it.
    std::array<uint8_t, 95> advance{};
};

class MainView {
  public:
    virtual ~MainView() = default;

    virtual void setTitle(const std::string& title) = 0;
    // Menu resource 104 is loaded; its first submenu serves as the popup.
    virtual void loadPopupMenu() = 0;
    virtual void setMenuItemChecked(Menu menu, uint32_t command, bool checked) = 0;
    virtual void setMenuItemEnabled(Menu menu, uint32_t command, bool enabled) = 0;
    virtual void showPopupMenu(int x, int y) = 0;

    virtual uint32_t setTimer(uint32_t id, uint32_t periodMs) = 0;
    virtual void killTimer(uint32_t id) = 0;

    virtual void invalidate(bool erase) = 0;
    virtual bool isMinimised() const = 0;
    virtual FontMetrics fontMetrics() = 0;

    virtual intptr_t runModalDialog(DialogModel& model) = 0;
    virtual void openModelessDialog(DialogModel& model) = 0;
    virtual void raiseDialog(DialogModel& model) = 0;
    virtual void refreshDialog(DialogModel& model) = 0;

    virtual int messageBox(const std::string& text, const std::string& caption, uint32_t style) = 0;

    virtual void destroyWindow() = 0;
};

}  // namespace ui
