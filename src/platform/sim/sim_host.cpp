#include "platform/sim/sim_host.h"

namespace sim {

void SimHost::postMessage(platform::MessageTarget* target, uint32_t message, uintptr_t wParam,
                          intptr_t lParam) {
    std::lock_guard lock(mutex_);
    queue_.push_back({target, message, wParam, lParam});
}

void SimHost::postQuitMessage(int exitCode) {
    std::lock_guard lock(mutex_);
    ++quitPosts;
    queue_.push_back({nullptr, 0, static_cast<uintptr_t>(exitCode), 0});
}

int SimHost::messageBox(platform::MessageTarget* owner, const std::string& text,
                        const std::string& caption, uint32_t style) {
    MessageBoxRecord record{owner, text, caption, style};
    if (onMessageBox) onMessageBox(record);
    boxes.push_back(record);
    if (deliverDuringMessageBox) {
        runModal({}, [&] { return whileMessageBoxOpen && whileMessageBoxOpen(record); });
    }
    return platform::kIdOk;
}

bool SimHost::step() {
    if (quit_) return false;
    Entry entry;
    {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) return false;
        entry = queue_.front();
        queue_.pop_front();
    }
    if (!entry.target) {
        quit_ = static_cast<int>(entry.wParam);
        return false;
    }
    entry.target->handleMessage(entry.message, entry.wParam, entry.lParam);
    return true;
}

size_t SimHost::runUntilIdle() {
    size_t delivered = 0;
    while (step())
        ++delivered;
    return delivered;
}

std::optional<int> SimHost::run(const std::function<bool()>& onIdle) {
    for (;;) {
        runUntilIdle();
        if (quit_) return quit_;
        if (pending() > 0) continue;
        if (!onIdle || !onIdle()) return std::nullopt;
    }
}

bool SimHost::runModal(const std::function<bool()>& done, const std::function<bool()>& onIdle) {
    ++modalDepth_;
    for (;;) {
        if (done && done()) break;
        if (step()) continue;
        if (quit_) break;
        if (pending() > 0) continue;
        if (!onIdle || !onIdle()) break;
    }
    --modalDepth_;
    return !quit_;
}

size_t SimHost::pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

}  // namespace sim
