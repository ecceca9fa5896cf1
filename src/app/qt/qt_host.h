// The host on Qt's event loop. Messages travel as posted events to one
// receiver on the GUI thread, so they are delivered in the order they were
// posted, from whatever thread, and also inside every modal loop Qt runs
// (dialogs, menus, message boxes). The quit message, once delivered, ends
// every running loop: the modal ones return and QApplication::exec returns
// the code.
#pragma once

#include <QObject>
#include <map>
#include <optional>

#include "platform/host.h"

class QWidget;

namespace qt_front {

class QtHost final : public QObject, public platform::Host {
  public:
    QtHost();

    void postMessage(platform::MessageTarget* target, uint32_t message, uintptr_t wParam,
                     intptr_t lParam) override;
    void postQuitMessage(int exitCode) override;
    int messageBox(platform::MessageTarget* owner, const std::string& text,
                   const std::string& caption, uint32_t style) override;
    void yieldTimeSlice() override;

    // A message that waits until nothing else is queued (the timer's ticks).
    void postLowPriority(platform::MessageTarget* target, uint32_t message, uintptr_t wParam,
                         intptr_t lParam);

    // The window that stands for a target when it owns a message box.
    void setOwnerWidget(platform::MessageTarget* target, QWidget* widget);

    bool quitReached() const { return quit_.has_value(); }
    std::optional<int> exitCode() const { return quit_; }

  protected:
    void customEvent(QEvent* event) override;

  private:
    std::optional<int> quit_;
    std::map<platform::MessageTarget*, QWidget*> owners_;
};

}  // namespace qt_front
