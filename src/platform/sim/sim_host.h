// The simulated platform's host: a deterministic FIFO message loop that a test
// steps one message at a time or runs until idle, and a record of every message
// box shown.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/host.h"
#include "platform/message_fifo.h"

namespace sim {

struct MessageBoxRecord {
    platform::MessageTarget* owner;
    std::string text;
    std::string caption;
    uint32_t style;
};

class SimHost : public platform::Host {
  public:
    void postMessage(platform::MessageTarget* target, uint32_t message, uintptr_t wParam,
                     intptr_t lParam) override;
    void postQuitMessage(int exitCode) override;
    int messageBox(platform::MessageTarget* owner, const std::string& text,
                   const std::string& caption, uint32_t style) override;
    void yieldTimeSlice() override { ++yields; }

    // Delivers the oldest queued message. Returns false when the queue is empty
    // or the quit message was reached (the loop has ended).
    bool step();
    // Delivers messages until the queue is empty or the quit message is reached.
    // Returns the number of messages delivered.
    size_t runUntilIdle();
    // Runs until the quit message and returns its exit code; onIdle is called
    // whenever the queue runs empty (a file device may refill it there).
    // Returns nullopt if the queue runs dry and onIdle posts nothing.
    std::optional<int> run(const std::function<bool()>& onIdle = {});

    // A modal loop, as a dialog's or a message box's on the platform: delivers
    // posted messages until done() is true, the quit message is reached (it
    // stays reached, so the outer loop ends too: the platform reposts it), or
    // the queue is empty and onIdle (the user, in a test) posts nothing more.
    // Returns false when the quit message ended it.
    bool runModal(const std::function<bool()>& done, const std::function<bool()>& onIdle = {});
    // How many modal loops are running now.
    int modalDepth() const { return modalDepth_; }

    // When set, every message box keeps delivering posted messages while it
    // is open, as the platform's do: it runs a modal loop until the queue is
    // empty and whileMessageBoxOpen (if set) posts nothing more, then the
    // user presses OK.
    bool deliverDuringMessageBox = false;
    std::function<bool(const MessageBoxRecord&)> whileMessageBoxOpen;

    size_t pending() const;
    bool quitReached() const { return quit_.has_value(); }
    std::optional<int> exitCode() const { return quit_; }
    bool quitPosted() const { return quitPosts > 0; }

    // Called for every message box before it is recorded; a program prints it.
    std::function<void(const MessageBoxRecord&)> onMessageBox;

    std::vector<MessageBoxRecord> boxes;
    int quitPosts = 0;
    size_t yields = 0;

  private:
    platform::MessageFifo queue_;
    std::optional<int> quit_;
    int modalDepth_ = 0;
};

}  // namespace sim
