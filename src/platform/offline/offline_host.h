// The offline platform's host: the message loop of a program that runs the
// engine on files as fast as they can be read (tarnix-file, tarnix-snapshot).
// A message box has no one to answer it: it is handed to the program, which
// prints it, and answers OK.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/queue_host.h"

namespace offline {

class OfflineHost final : public platform::QueueHost {
  public:
    int messageBox(platform::MessageTarget*, const std::string& text, const std::string& caption,
                   uint32_t) override {
        if (onMessageBox) onMessageBox(caption, text);
        return platform::kIdOk;
    }
    void yieldTimeSlice() override {}

    std::function<void(const std::string& caption, const std::string& text)> onMessageBox;
};

}  // namespace offline
