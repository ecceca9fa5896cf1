// Opening a PCM or a mixer can wait inside ALSA for good: a sound server that
// was stopped (SIGSTOP) answers its socket but never the plugin, and a file
// plugin's input FIFO with no writer blocks its open. Such an open runs on a
// thread of its own, which the caller waits for a bounded time, and no
// longer once the program is asked to end (abandonOpening()): the thread is
// then left behind and cleans up after itself if its open ever returns.
// Private to the ALSA backend.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace alsa::detail {

// Longer than a sound server takes to start on demand.
constexpr std::chrono::seconds kOpenBound{10};

// Set by abandonOpening(), for the rest of the run.
std::atomic<bool>& openingAbandoned();

// Runs `work` and returns true when it finished in time; otherwise false,
// and `orphaned` runs on the work's thread after it, whenever that is.
template <class Work, class Orphaned>
bool openWithin(Work work, Orphaned orphaned) {
    struct State {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        bool abandoned = false;
    };
    auto state = std::make_shared<State>();
    if (openingAbandoned()) return false;
    std::thread([state, work = std::move(work), orphaned = std::move(orphaned)]() mutable {
        work();
        std::unique_lock lock(state->mutex);
        state->done = true;
        if (state->abandoned) {
            lock.unlock();
            orphaned();
            return;
        }
        state->finished.notify_all();
    }).detach();
    const auto until = std::chrono::steady_clock::now() + kOpenBound;
    std::unique_lock lock(state->mutex);
    while (!state->done) {
        if (openingAbandoned() || std::chrono::steady_clock::now() >= until) {
            state->abandoned = true;
            return false;
        }
        state->finished.wait_for(lock, std::chrono::milliseconds(50));
    }
    return true;
}

}  // namespace alsa::detail
