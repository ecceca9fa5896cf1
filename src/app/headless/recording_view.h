// A view that records every call the controller makes, keeps both menus'
// states as a front end would show them, runs dialogs in modal loops of the
// host the program runs itself (which keep delivering posted messages) and
// fires the timer on request. Tests and the windowless front end use it.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/queue_host.h"
#include "ui/main_view.h"

namespace headless {

struct MenuItemState {
    bool checked = false;
    bool enabled = true;
};

class RecordingView : public ui::MainView {
  public:
    explicit RecordingView(platform::QueueHost& host);

    // The main window the messages go to (the controller).
    void attach(platform::MessageTarget* window) { window_ = window; }

    void setTitle(const std::string& title) override;
    void loadPopupMenu() override;
    void setMenuItemChecked(ui::Menu menu, uint32_t command, bool checked) override;
    void setMenuItemEnabled(ui::Menu menu, uint32_t command, bool enabled) override;
    void showPopupMenu(int x, int y) override;
    uint32_t setTimer(uint32_t id, uint32_t periodMs) override;
    void killTimer(uint32_t id) override;
    void invalidate(bool erase) override;
    bool isMinimised() const override { return minimised; }
    ui::FontMetrics fontMetrics() override;
    intptr_t runModalDialog(ui::DialogModel& model) override;
    void openModelessDialog(ui::DialogModel& model) override;
    void raiseDialog(ui::DialogModel& model) override;
    void refreshDialog(ui::DialogModel& model) override;
    int messageBox(const std::string& text, const std::string& caption, uint32_t style) override;
    void destroyWindow() override;

    // Posts one timer tick, as the platform does when the period has passed;
    // false when no timer runs.
    bool tick();
    // Forwards an input to an open modeless dialog, closing it when it ends.
    void dialogCommand(ui::DialogModel& model, int id);

    const MenuItemState& item(ui::Menu menu, uint32_t command) const;
    bool isOpen(const ui::DialogModel& model) const;
    size_t openDialogs() const { return modeless_.size(); }

    // Every call, in order ("title ...", "dialog 112", "timer 275 1000", ...).
    std::vector<std::string> calls;
    // Runs at every call, after it is recorded: tests look at the program then.
    std::function<void(const std::string&)> onCall;
    // Runs inside a modal dialog's call once it is initialised: the user's
    // inputs (model.command(...)) and anything the test wants to happen while
    // the dialog is open. Afterwards the posted messages are delivered, and a
    // dialog that has not ended is answered by default: Agree for the start-up
    // dialog, Cancel for the others.
    std::function<void(ui::DialogModel&)> onModalDialog;
    std::string title;
    bool popupLoaded = false;
    std::vector<std::pair<int, int>> popups;
    std::map<uint32_t, uint32_t> timers;  // identifier -> period
    int invalidations = 0;
    bool minimised = false;
    bool destroyed = false;
    ui::FontMetrics metrics{8, 16};
    int refreshes = 0;
    int raises = 0;
    // Template identifiers of the dialogs run or opened, in order.
    std::vector<int> dialogsShown;

  private:
    void record(std::string call);
    platform::QueueHost& host_;
    platform::MessageTarget* window_ = nullptr;
    std::map<uint32_t, MenuItemState> main_, popup_;
    std::vector<ui::DialogModel*> modeless_;
    int modalRunning_ = 0;
};

}  // namespace headless
