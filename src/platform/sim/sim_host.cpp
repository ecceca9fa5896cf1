#include "platform/sim/sim_host.h"

namespace sim {

void SimHost::postMessage(platform::MessageTarget* target, uint32_t message, uintptr_t wParam,
                          intptr_t lParam) {
    queue_.post(target, message, wParam, lParam);
}

void SimHost::postQuitMessage(int exitCode) {
    ++quitPosts;
    queue_.postQuit(exitCode);
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
    const auto entry = queue_.take();
    if (!entry) return false;
    if (entry->quit()) {
        quit_ = entry->exitCode();
        return false;
    }
    entry->deliver();
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
    return queue_.size();
}

}  // namespace sim
