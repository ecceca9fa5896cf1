// The main window on Qt: the view the core's controller talks to. It owns
// the menus, the spectrum area, the timers and the dialogs, turns the
// controller's requests into widgets and paints, and the user's mouse, keys,
// menu choices and resizing into the controller's messages.
#pragma once

#include <QFont>
#include <QMainWindow>
#include <map>
#include <memory>

#include "app/qt/menus.h"
#include "ui/main_view.h"
#include "ui/main_window.h"

class QTimer;

namespace qt_front {

class QtHost;
class SpectrumArea;
class TemplateDialog;

class DesktopWindow final : public QMainWindow, public ui::MainView {
  public:
    explicit DesktopWindow(QtHost& host);
    ~DesktopWindow() override;

    // The controller the messages go to; the window stands for it as the
    // owner of message boxes.
    void attach(ui::MainWindow* controller);
    // Posts the creation: the controller runs its start-up (the Welcome
    // dialog first) from inside the loop, and the window is shown after it.
    void start();

    // ui::MainView
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

    // For tests and the program.
    SpectrumArea* spectrumArea() const { return area_; }
    const MenuItems& mainMenu() const { return main_; }
    const MenuItems& popupItems() const { return popup_; }
    QMenu* popupMenu() const { return popupMenu_; }
    TemplateDialog* openDialog(const dialogs::DialogModel& model) const;
    bool destroyed() const { return destroyed_; }
    ui::MainWindow* controller() const { return controller_; }
    // Sends the client area's size to the controller (after creation).
    void sendSize();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    class Relay;
    void post(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
    void created();
    void timerFired(uint32_t id);
    void timerDelivered(uint32_t id);
    // Moves a dialog about to be shown beside this window.
    void placeBeside(QWidget* dialog) const;

    QtHost& host_;
    ui::MainWindow* controller_ = nullptr;
    std::unique_ptr<Relay> relay_;
    SpectrumArea* area_ = nullptr;
    MenuItems main_, popup_;
    QMenu* popupMenu_ = nullptr;
    struct Timer {
        QTimer* timer = nullptr;
        bool pending = false;  // a tick waits in the queue
    };
    std::map<uint32_t, Timer> timers_;
    std::map<const dialogs::DialogModel*, TemplateDialog*> modeless_;
    std::vector<TemplateDialog*> modal_;
    bool started_ = false;
    bool destroyed_ = false;
};

}  // namespace qt_front
