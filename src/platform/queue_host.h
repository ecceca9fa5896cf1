// A host whose message loop the program runs itself, without a toolkit or a
// device thread: it steps the queue one message at a time, runs it until it
// is idle or until the quit message, and runs modal loops inside it. The
// offline platform's host and the simulated one for tests are this loop,
// each with its own message boxes.
#pragma once

#include <functional>
#include <optional>

#include "platform/host.h"
#include "platform/message_fifo.h"

namespace platform {

class QueueHost : public Host {
  public:
    void postMessage(MessageTarget* target, uint32_t message, uintptr_t wParam,
                     intptr_t lParam) override;
    void postQuitMessage(int exitCode) override;

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

    size_t pending() const { return queue_.size(); }
    bool quitReached() const { return quit_.has_value(); }
    std::optional<int> exitCode() const { return quit_; }

  private:
    MessageFifo queue_;
    std::optional<int> quit_;
    int modalDepth_ = 0;
};

}  // namespace platform
