#include "platform/console/console_host.h"

#include <cstdio>
#include <thread>

namespace platform {

void ConsoleHost::postMessage(MessageTarget* target, uint32_t message, uintptr_t wParam,
                              intptr_t lParam) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({target, message, wParam, lParam});
    }
    wake_.notify_one();
}

void ConsoleHost::postQuitMessage(int exitCode) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({nullptr, 0, static_cast<uintptr_t>(exitCode), 0});
    }
    wake_.notify_one();
}

int ConsoleHost::messageBox(MessageTarget*, const std::string& text, const std::string& caption,
                            uint32_t) {
    if (beforeMessageBox) beforeMessageBox();
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return IDOK;
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
        Entry entry{};
        bool tick = false;
        {
            std::unique_lock lock(mutex_);
            if (tick_ && period_.count() > 0) {
                if (!wake_.wait_until(lock, nextTick, [&] { return !queue_.empty(); })) tick = true;
            } else {
                wake_.wait(lock, [&] { return !queue_.empty(); });
            }
            if (!tick) {
                entry = queue_.front();
                queue_.pop_front();
            }
        }
        if (tick) {
            // Ticks do not pile up behind a long message: the next one is a
            // period after this one ran.
            tick_();
            nextTick = Clock::now() + period_;
            continue;
        }
        if (!entry.target) return static_cast<int>(entry.wParam);
        entry.target->handleMessage(entry.message, entry.wParam, entry.lParam);
        if (afterMessage) afterMessage();
        if (tick_ && period_.count() > 0 && Clock::now() >= nextTick) {
            tick_();
            nextTick = Clock::now() + period_;
        }
    }
}

}  // namespace platform
