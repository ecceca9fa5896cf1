// The simulated platform's host: the deterministic loop a test steps one
// message at a time or runs until idle, and a record of every message box
// shown.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/queue_host.h"

namespace sim {

struct MessageBoxRecord {
    platform::MessageTarget* owner;
    std::string text;
    std::string caption;
    uint32_t style;
};

class SimHost : public platform::QueueHost {
  public:
    void postQuitMessage(int exitCode) override;
    int messageBox(platform::MessageTarget* owner, const std::string& text,
                   const std::string& caption, uint32_t style) override;
    void yieldTimeSlice() override { ++yields; }

    // When set, every message box keeps delivering posted messages while it
    // is open, as the platform's do: it runs a modal loop until the queue is
    // empty and whileMessageBoxOpen (if set) posts nothing more, then the
    // user presses OK.
    bool deliverDuringMessageBox = false;
    std::function<bool(const MessageBoxRecord&)> whileMessageBoxOpen;

    bool quitPosted() const { return quitPosts > 0; }

    std::vector<MessageBoxRecord> boxes;
    int quitPosts = 0;
    size_t yields = 0;
};

}  // namespace sim
