#include "platform/queue_host.h"

namespace platform {

void QueueHost::postMessage(MessageTarget* target, uint32_t message, uintptr_t wParam,
                            intptr_t lParam) {
    queue_.post(target, message, wParam, lParam);
}

void QueueHost::postQuitMessage(int exitCode) {
    queue_.postQuit(exitCode);
}

bool QueueHost::step() {
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

size_t QueueHost::runUntilIdle() {
    size_t delivered = 0;
    while (step())
        ++delivered;
    return delivered;
}

std::optional<int> QueueHost::run(const std::function<bool()>& onIdle) {
    for (;;) {
        runUntilIdle();
        if (quit_) return quit_;
        if (pending() > 0) continue;
        if (!onIdle || !onIdle()) return std::nullopt;
    }
}

bool QueueHost::runModal(const std::function<bool()>& done, const std::function<bool()>& onIdle) {
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

}  // namespace platform
