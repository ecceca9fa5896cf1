// The main window's view over Win32: menus from the resources 101 and 104,
// the window timer, invalidation, and the seven dialogs built from their
// resource templates, each driven by its model.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <vector>

#include "platform/host.h"
#include "ui/main_view.h"

namespace win32_app {

class Win32View final : public ui::MainView {
  public:
    explicit Win32View(HINSTANCE instance) : instance_(instance) {}

    // The controller the window's messages go to; the owner of boxes.
    void attach(platform::MessageTarget* controller) { controller_ = controller; }
    void setWindow(HWND window) { window_ = window; }
    HWND window() const { return window_; }

    void setTitle(const std::string& title) override;
    void loadPopupMenu() override;
    void setMenuItemChecked(ui::Menu menu, uint32_t command, bool checked) override;
    void setMenuItemEnabled(ui::Menu menu, uint32_t command, bool enabled) override;
    void showPopupMenu(int x, int y) override;
    uint32_t setTimer(uint32_t id, uint32_t periodMs) override;
    void killTimer(uint32_t id) override;
    void invalidate(bool erase) override;
    bool isMinimised() const override;
    ui::FontMetrics fontMetrics() override;
    intptr_t runModalDialog(dialogs::DialogModel& model) override;
    void openModelessDialog(dialogs::DialogModel& model) override;
    void raiseDialog(dialogs::DialogModel& model) override;
    void refreshDialog(dialogs::DialogModel& model) override;
    int messageBox(const std::string& text, const std::string& caption, uint32_t style) override;
    void destroyWindow() override;

    // The open modeless dialog that is the active window, for the loop's
    // dialog-message handling; null when none is.
    static HWND activeDialog();
    // Puts the open modeless dialogs back above the main window after its
    // place in the z-order changed.
    void keepDialogsAbove();

    struct DialogContext {
        dialogs::DialogModel* model;
        bool modal;
        Win32View* view;
    };

  private:
    friend INT_PTR CALLBACK dialogProc(HWND, UINT, WPARAM, LPARAM);
    HMENU menuOf(ui::Menu menu) const;
    // The modal dialogs running, innermost last: the last owns the boxes.
    void modalStarted(HWND dialog);
    void modalEnded(HWND dialog);

    HINSTANCE instance_;
    HWND window_ = nullptr;
    platform::MessageTarget* controller_ = nullptr;
    HMENU popupResource_ = nullptr;
    HMENU popup_ = nullptr;
    std::map<dialogs::DialogModel*, std::unique_ptr<DialogContext>> modelessContexts_;
    std::map<dialogs::DialogModel*, HWND> modeless_;
    std::vector<HWND> modal_;
};

}  // namespace win32_app
