// Keeping the end-to-end delay constant across losses. The frames between
// the capture device's position and the playback device's are the delay; in
// steady running both move at the rate, so it stays where it settled when
// playback began. An underrun (the device played silence) leaves it larger,
// an overrun (audio lost on the way in) smaller: the capture device then
// drops or inserts that many frames, which brings it back within half a
// second.
// Private to the ALSA backend; free of ALSA so that it can be tested alone.
#pragma once

#include <chrono>
#include <cmath>
#include <cstdint>
#include <mutex>

namespace alsa::detail {

using Clock = std::chrono::steady_clock;

// Where the process's playback stands: published by its playback device,
// read by its capture device.
class PlaybackClock {
  public:
    // played: frames played since the device opened; running: it plays now.
    void publish(unsigned rate, double played, bool running, bool paced, Clock::time_point at) {
        std::lock_guard lock(mutex_);
        rate_ = rate;
        played_ = played;
        running_ = running;
        paced_ = paced;
        at_ = at;
    }
    void stop() {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    // The frames played by `now` at `rate`; false unless it plays in real time.
    bool playedAt(unsigned rate, Clock::time_point now, double& played) const {
        std::lock_guard lock(mutex_);
        if (!running_ || !paced_ || rate_ != rate) return false;
        played = played_ + rate * std::chrono::duration<double>(now - at_).count();
        return true;
    }

  private:
    mutable std::mutex mutex_;
    unsigned rate_ = 0;
    double played_ = 0;
    bool running_ = false;
    bool paced_ = false;
    Clock::time_point at_{};
};

inline PlaybackClock& playbackClock() {
    static PlaybackClock clock;
    return clock;
}

// Whether a device runs in real time: one fed from a file or playing into
// nothing moves far more frames than the time allows, loses nothing, and has
// no delay to keep.
// A sound server may run a little ahead for a moment; an unpaced device
// runs far ahead at once.
inline bool keepsPace(double frames, unsigned rate, Clock::duration elapsed, double slack) {
    return frames <= 1.5 * rate * std::chrono::duration<double>(elapsed).count() + slack;
}

class DelayKeeper {
  public:
    explicit DelayKeeper(unsigned rate) : rate_(rate) {}

    // captured: the capture device's position (frames read, plus those
    // waiting in the device, less those dropped, plus those inserted);
    // played: the playback device's, when `playing` in real time. Returns
    // the frames to drop (positive) or to insert (negative), mostly 0.
    long step(double captured, bool playing, double played, Clock::time_point now) {
        if (!playing) {
            running_ = false;
            count_ = 0;
            return 0;
        }
        if (!running_) {
            running_ = true;
            runningSince_ = now;
        }
        // Measured only once playback has run steadily for a while.
        if (now - runningSince_ < kSettle) return 0;
        if (count_ == 0) {
            windowStart_ = now;
            sum_ = 0;
        }
        sum_ += captured - played;
        ++count_;
        if (now - windowStart_ < kWindow) return 0;
        const double mean = sum_ / count_;
        count_ = 0;
        if (!known_) {
            known_ = true;
            baseline_ = mean;
            return 0;
        }
        const double off = mean - baseline_;
        if (std::fabs(off) < rate_ * kTolerance) {
            offBy_ = 0;
            return 0;
        }
        // A loss inside a window shows there only in part. The window after
        // it shows all of it: the loss is given back then, in one
        // correction, and a single stray window is not acted on.
        const int direction = off > 0 ? 1 : -1;
        if (offBy_ != direction) {
            offBy_ = direction;
            return 0;
        }
        offBy_ = 0;
        return std::lround(off);
    }

    // The delay it keeps, in frames, once known.
    bool known() const { return known_; }
    double baseline() const { return baseline_; }

  private:
    static constexpr auto kSettle = std::chrono::milliseconds(500);
    static constexpr auto kWindow = std::chrono::milliseconds(200);
    static constexpr double kTolerance = 0.008;  // seconds

    unsigned rate_;
    bool running_ = false;
    Clock::time_point runningSince_{};
    Clock::time_point windowStart_{};
    double sum_ = 0;
    int count_ = 0;
    bool known_ = false;
    double baseline_ = 0;
    int offBy_ = 0;  // the last window's direction off the baseline, 0 within it
};

}  // namespace alsa::detail
