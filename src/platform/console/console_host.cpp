#include "platform/console/console_host.h"

#include <cstdio>
#include <thread>

namespace platform {

void ConsoleHost::postMessage(MessageTarget* target, uint32_t message, uintptr_t wParam,
                              intptr_t lParam) {
    queue_.post(target, message, wParam, lParam);
}

void ConsoleHost::postQuitMessage(int exitCode) {
    queue_.postQuit(exitCode);
}

int ConsoleHost::messageBox(MessageTarget*, const std::string& text, const std::string& caption,
                            uint32_t) {
    if (beforeMessageBox) beforeMessageBox();
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return kIdOk;
}

void ConsoleHost::yieldTimeSlice() {
    std::this_thread::yield();
}

void ConsoleHost::setTimer(std::chrono::milliseconds period, std::function<void()> tick) {
    period_ = period;
    tick_ = std::move(tick);
}

int ConsoleHost::run() {
    using Clock = std::chrono::steady_clock;
    auto nextTick = Clock::now() + period_;
    for (;;) {
        const bool ticking = tick_ && period_.count() > 0;
        const auto entry = queue_.wait(ticking ? std::optional(nextTick) : std::nullopt);
        if (!entry) {
            // Ticks do not pile up behind a long message: the next one is a
            // period after this one ran.
            tick_();
            nextTick = Clock::now() + period_;
            continue;
        }
        if (entry->quit()) return entry->exitCode();
        entry->deliver();
        if (afterMessage) afterMessage();
        if (ticking && Clock::now() >= nextTick) {
            tick_();
            nextTick = Clock::now() + period_;
        }
    }
}

}  // namespace platform
