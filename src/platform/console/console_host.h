// The host of programs without a window: a message loop on the calling
// thread, fed from any thread, with an optional periodic tick; message boxes
// go to standard error as "CAPTION: TEXT". It knows nothing of devices, so a
// program with its own toolkit loop can bring its own host instead.
#pragma once

#include <chrono>
#include <functional>

#include "platform/host.h"
#include "platform/message_fifo.h"

namespace platform {

class ConsoleHost final : public Host {
  public:
    void postMessage(MessageTarget* target, uint32_t message, uintptr_t wParam,
                     intptr_t lParam) override;
    void postQuitMessage(int exitCode) override;
    int messageBox(MessageTarget* owner, const std::string& text, const std::string& caption,
                   uint32_t style) override;
    void yieldTimeSlice() override;

    // Calls tick on the loop's thread every period while the loop runs.
    void setTimer(std::chrono::milliseconds period, std::function<void()> tick);
    // Called on the loop's thread after every delivered message.
    std::function<void()> afterMessage;
    // Called before a message box is printed (a status line clears itself).
    std::function<void()> beforeMessageBox;

    // Delivers messages until the quit message and returns its exit code.
    int run();

  private:
    MessageFifo queue_;
    std::chrono::milliseconds period_{0};
    std::function<void()> tick_;
};

}  // namespace platform
