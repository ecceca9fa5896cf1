// The queue of a message loop without a toolkit: posted messages in the
// order they were posted, from any thread, with the quit message as an entry
// of its own. The console programs' loop and the simulated platform's both
// queue here; each decides how it waits and what it does between messages.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "platform/host.h"

namespace platform {

class MessageFifo {
  public:
    struct Entry {
        MessageTarget* target;  // null: the quit message, its exit code in wParam
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;

        bool quit() const { return target == nullptr; }
        int exitCode() const { return static_cast<int>(wParam); }
        void deliver() const { target->handleMessage(message, wParam, lParam); }
    };

    void post(MessageTarget* target, uint32_t message, uintptr_t wParam, intptr_t lParam) {
        push({target, message, wParam, lParam});
    }
    void postQuit(int exitCode) { push({nullptr, 0, static_cast<uintptr_t>(exitCode), 0}); }

    // The oldest entry, taken off; nothing when the queue is empty.
    std::optional<Entry> take() {
        std::lock_guard lock(mutex_);
        return takeLocked();
    }
    // Waits for an entry, until `deadline` when one is given; nothing when it
    // passed first.
    std::optional<Entry> wait(std::optional<std::chrono::steady_clock::time_point> deadline) {
        std::unique_lock lock(mutex_);
        const auto ready = [&] { return !queue_.empty(); };
        if (deadline) {
            if (!posted_.wait_until(lock, *deadline, ready)) return std::nullopt;
        } else {
            posted_.wait(lock, ready);
        }
        return takeLocked();
    }
    size_t size() const {
        std::lock_guard lock(mutex_);
        return queue_.size();
    }

  private:
    void push(const Entry& entry) {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(entry);
        }
        posted_.notify_one();
    }
    std::optional<Entry> takeLocked() {
        if (queue_.empty()) return std::nullopt;
        const Entry entry = queue_.front();
        queue_.pop_front();
        return entry;
    }

    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<Entry> queue_;
};

}  // namespace platform
