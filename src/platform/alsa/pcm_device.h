// The part of the ALSA wave devices both directions share: the PCM, its
// device thread and wake-ups, and the failure that ends a device. Private to
// the ALSA backend.
#pragma once

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/alsa/alsa_wave.h"
#include "platform/alsa/bounded_open.h"
#include "platform/alsa/delay_keeper.h"

namespace alsa::detail {

using platform::kMmsyserrNoError;
using platform::MMRESULT;
using platform::WAVEHDR;

// About 12 ms per period. Playback hands every queued buffer to ALSA at once,
// as a wave device holds what was written to it, so its ring holds the whole
// queue (ten buffers of up to 4096 values): a stall shorter than the queue
// costs nothing, and the delay is the pipeline's own. Capture reads as it
// comes; its ring of 32 periods (about 370 ms) rides out a stall on a card.
constexpr unsigned kCapturePeriods = 32;
constexpr snd_pcm_uframes_t kPlaybackValues = 10 * 4096;
inline snd_pcm_uframes_t periodFor(unsigned rate) {
    return std::bit_floor(std::max(32u, rate / 64));
}
// At low latency: about 6 ms per period (64 frames at 11025 Hz, 256 at
// 44100 Hz), rings of 32 periods in both directions (about 190 ms: a stall
// shorter than that loses no input), and playback starts a cushion of three
// periods after its first frames were there to write.
constexpr unsigned kLowPeriods = 32;
constexpr unsigned kCushionPeriods = 3;
inline snd_pcm_uframes_t lowPeriodFor(unsigned rate) {
    return std::bit_floor(std::max(32u, rate / 128));
}

// How long closing waits for the device thread. A thread inside ALSA whose
// sound server died can wait forever on the plugin's own lock; after this the
// thread is left behind with its PCM instead of hanging the program.
constexpr std::chrono::milliseconds kThreadEndBound{1000};
// A device thread never waits longer than this between two turns of its
// loop; one that has not come round for kStuckAfter is inside ALSA for good,
// and its device is reported as failed by a watchdog.
constexpr int kBeatMs = 250;
// How long a running, paced capture device may give nothing before it counts
// as failed.
constexpr std::chrono::seconds kSilentDevice{3};
constexpr std::chrono::seconds kStuckAfter{3};

inline bool isXrun(long error) {
    return error == -EPIPE || error == -ESTRPIPE;
}

inline MMRESULT copyText(MMRESULT code, char* text, uint32_t size) {
    if (!text || size == 0) return platform::kMmsyserrInvalParam;
    std::snprintf(text, size, "%s", errorText(code).c_str());
    return kMmsyserrNoError;
}

// The common part of both directions: the PCM, the device thread and its
// wake-ups, the buffer queue and the failure that ends the device. The device
// thread holds the object alive, so that a thread left behind at close never
// runs on freed memory; once quit_ is set it reports and counts nothing.
class PcmDevice : public std::enable_shared_from_this<PcmDevice> {
  public:
    PcmDevice(std::string name, DeviceStats* stats, Latency latency)
        : name_(std::move(name)), stats_(stats), latency_(latency) {}
    virtual ~PcmDevice() { closePcm(); }

    MMRESULT prepareHeader(WAVEHDR* h) { return prepare(h); }
    MMRESULT unprepareHeader(WAVEHDR* h) { return unprepare(h); }
    MMRESULT getErrorText(MMRESULT code, char* text, uint32_t size) {
        return copyText(code, text, size);
    }
    // A reset: every queued buffer comes back, oldest first.
    MMRESULT reset() {
        if (!open_) return platform::kMmsyserrInvalHandle;
        {
            std::lock_guard lock(mutex_);
            stopForReset();
            ++generation_;
            while (WAVEHDR* h = popOldest())
                complete(h, completion_);
        }
        wake();
        return kMmsyserrNoError;
    }
    MMRESULT close() {
        if (!open_) return platform::kMmsyserrInvalHandle;
        closePcm();
        std::lock_guard lock(mutex_);
        while (popOldest()) {
        }
        return kMmsyserrNoError;
    }

  protected:
    // What a reset stops besides the queue, under the lock.
    virtual void stopForReset() {}

    MMRESULT openPcm(const platform::WAVEFORMATEX& f, platform::MessageTarget* target,
                     snd_pcm_stream_t stream) {
        if (pcm_) return platform::kMmsyserrAllocated;
        if (f.wFormatTag != platform::kWaveFormatPcm || f.wBitsPerSample != 16 || f.nChannels < 1 ||
            f.nChannels > 2)
            return platform::kWaverrBadFormat;
        if (openInFlight_) return platform::kMmsyserrAllocated;  // an earlier open still waits
        channels_ = f.nChannels;
        // Opened and set up on a thread of its own, which holds the device.
        auto result = std::make_shared<int>(0);
        const unsigned rate = f.nSamplesPerSec;
        auto self = shared_from_this();
        openInFlight_ = true;
        const bool inTime = openWithin(
            [self, result, rate, stream] {
                int e = snd_pcm_open(&self->pcm_, self->name_.c_str(), stream, SND_PCM_NONBLOCK);
                if (e < 0) self->pcm_ = nullptr;
                if (e >= 0 &&
                    ((e = self->configure(rate, stream)) < 0 || (e = self->setUpPoll()) < 0))
                    self->releasePcm();
                *result = e;
            },
            [self] {
                self->releasePcm();
                self->openInFlight_ = false;
            });
        if (!inTime) return deviceError(openingAbandoned() ? -EINTR : -ETIMEDOUT, Stage::Open);
        openInFlight_ = false;
        if (*result < 0) return deviceError(*result, Stage::Open);
        target_ = target;
        quit_ = false;
        failed_ = 0;
        failedHeader_ = nullptr;
        failurePending_ = false;
        threadEnded_ = false;
        open_ = true;
        beat_ = Clock::now();
        // Input read through ALSA's file plugin waits inside ALSA for its
        // writer (a FIFO another program fills), which may pause: that is
        // not a dead device.
        watched_ = !(stream == SND_PCM_STREAM_CAPTURE && snd_pcm_type(pcm_) == SND_PCM_TYPE_FILE);
        beforeThread();
        thread_ = std::thread([self = shared_from_this()] {
            self->run();
            std::lock_guard lock(self->mutex_);
            self->threadEnded_ = true;
            self->ended_.notify_all();
        });
        watchdog_ = std::thread([this] { watch(); });
        return kMmsyserrNoError;
    }

    void closePcm() {
        open_ = false;
        if (watchdog_.joinable()) {
            {
                std::lock_guard lock(mutex_);
                quit_ = true;
            }
            watchdogWake_.notify_all();
            watchdog_.join();  // it never calls ALSA
        }
        if (thread_.joinable()) {
            std::unique_lock lock(mutex_);
            quit_ = true;
            wake();
            const bool ended = ended_.wait_for(lock, kThreadEndBound, [&] { return threadEnded_; });
            lock.unlock();
            if (ended) {
                thread_.join();
            } else {
                // Stuck inside ALSA: closing the PCM under it would wait on
                // the same lock. The PCM and the wake-up stay with the thread.
                thread_.detach();
                abandoned_ = true;
            }
        }
        if (abandoned_ || openInFlight_) return;
        releasePcm();
    }

    void releasePcm() {
        if (pcm_) snd_pcm_close(pcm_);
        pcm_ = nullptr;
        if (wakeFd_ >= 0) ::close(wakeFd_);
        wakeFd_ = -1;
    }

    MMRESULT prepare(WAVEHDR* h) {
        if (!h || !h->lpData) return platform::kMmsyserrInvalParam;
        platform::markPrepared(h);
        return kMmsyserrNoError;
    }

    MMRESULT unprepare(WAVEHDR* h) {
        if (!h) return platform::kMmsyserrInvalParam;
        std::lock_guard lock(mutex_);
        if (const MMRESULT rc = platform::markUnprepared(h)) return rc;
        if (h == failedHeader_) {
            failedHeader_ = nullptr;
            return failed_;
        }
        return kMmsyserrNoError;
    }

    // Marks a buffer done and posts its completion; called under the lock so
    // that completions keep queue order.
    void complete(WAVEHDR* h, uint32_t message) {
        if (quit_) return;
        platform::postCompletion(platform::host(), target_, message, h);
    }

    // The device is gone for good: the oldest buffer comes back carrying the
    // error, everything else stays queued until reset.
    void fail(int error) {
        std::lock_guard lock(mutex_);
        if (failed_ || quit_) return;
        failed_ = deviceError(error, Stage::Running);
        if (WAVEHDR* h = popOldest()) {
            failedHeader_ = h;
            complete(h, completion_);
        } else {
            failurePending_ = true;
        }
    }

    MMRESULT deviceError(int error, Stage stage) const {
        return deviceErrorCode(error, name_, completion_ == platform::kMmWomDone, stage);
    }

    void countXrun() {
        std::lock_guard lock(mutex_);
        if (stats_ && !quit_) ++stats_->xruns;
    }

    // Called under the lock for a buffer being queued: with a failure not
    // yet reported, the buffer comes straight back carrying it.
    bool takeForFailure(WAVEHDR* h) {
        if (!failurePending_) return false;
        failurePending_ = false;
        failedHeader_ = h;
        platform::markQueued(h);
        complete(h, completion_);
        return true;
    }
    // Reports the device as failed when its thread stays inside ALSA. A
    // process that was stopped as a whole (its watchdog late too) is not.
    void watch() {
        std::unique_lock lock(mutex_);
        Clock::time_point last = Clock::now();
        while (!quit_) {
            watchdogWake_.wait_for(lock, std::chrono::milliseconds(500));
            if (quit_) break;
            const Clock::time_point now = Clock::now();
            if (now - last > std::chrono::seconds(1)) beat_ = now;
            last = now;
            if (watched_ && !failed_ && now - beat_ > kStuckAfter) {
                lock.unlock();
                fail(-EIO);
                lock.lock();
            }
        }
    }

    // The oldest queued buffer, taken off the queue; null when empty. Called
    // under the lock.
    virtual WAVEHDR* popOldest() = 0;

    void wake() {
        const uint64_t one = 1;
        if (wakeFd_ >= 0) (void)!write(wakeFd_, &one, sizeof one);
    }

    // Waits for a wake-up, and for the PCM too when pcm is set. Returns true
    // when the PCM is ready (or in error, which the next transfer reveals).
    bool wait(bool pcm, int timeoutMs) {
        const nfds_t count = pcm ? fds_.size() : 1;
        if (poll(fds_.data(), count, timeoutMs) <= 0) return false;
        if (fds_[0].revents & POLLIN) {
            uint64_t value;
            (void)!read(wakeFd_, &value, sizeof value);
        }
        if (!pcm) return false;
        unsigned short revents = 0;
        snd_pcm_poll_descriptors_revents(pcm_, fds_.data() + 1,
                                         static_cast<unsigned>(fds_.size() - 1), &revents);
        if (revents == 0 && !(fds_[0].revents & POLLIN)) {
            // Some plugins (PipeWire's) keep their descriptor readable while
            // less than a period is there: polling again would spin. Wait by
            // the clock for the rest of the period instead.
            const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
            const auto missing = avail >= 0 && static_cast<snd_pcm_uframes_t>(avail) < period_
                                     ? period_ - static_cast<snd_pcm_uframes_t>(avail)
                                     : period_ / 4;
            if (poll(fds_.data(), 1, static_cast<int>(1 + 1000 * missing / rate_)) > 0) {
                uint64_t value;
                (void)!read(wakeFd_, &value, sizeof value);
            }
        }
        return revents != 0;
    }

    int periodMs() const { return static_cast<int>(1000 * period_ / rate_) + 1; }
    std::chrono::microseconds ringTime() const {
        return std::chrono::microseconds(1000000 * buffer_ / rate_);
    }

    virtual void run() = 0;
    // Resets the device thread's own state at open.
    virtual void beforeThread() {}

    std::string name_;
    uint32_t completion_ = 0;  // kMmWimData or kMmWomDone
    DeviceStats* stats_;
    Latency latency_;
    snd_pcm_t* pcm_ = nullptr;
    unsigned channels_ = 1;
    unsigned rate_ = 0;
    snd_pcm_uframes_t period_ = 0;
    snd_pcm_uframes_t buffer_ = 0;
    bool canPause_ = false;
    platform::MessageTarget* target_ = nullptr;
    bool open_ = false;       // the core's view: open and not yet closed
    bool abandoned_ = false;  // the device thread was left behind at close
    // An open that did not return in time, still waiting on its own thread.
    std::atomic<bool> openInFlight_{false};

    // Shared with the device thread, under mutex_.
    std::mutex mutex_;
    std::condition_variable ended_;
    bool threadEnded_ = false;
    Clock::time_point beat_{};  // the device thread's last turn
    bool watched_ = true;       // a thread that stays inside ALSA is a failed device
    std::condition_variable watchdogWake_;
    std::thread watchdog_;
    bool quit_ = false;
    MMRESULT failed_ = 0;
    WAVEHDR* failedHeader_ = nullptr;
    bool failurePending_ = false;
    uint64_t generation_ = 0;  // moves on at every stop, start and reset

  private:
    int configure(unsigned rate, snd_pcm_stream_t stream) {
        snd_pcm_hw_params_t* hw;
        snd_pcm_hw_params_alloca(&hw);
        int e;
        if ((e = snd_pcm_hw_params_any(pcm_, hw)) < 0) return e;
        if ((e = snd_pcm_hw_params_set_access(pcm_, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
            (e = snd_pcm_hw_params_set_format(pcm_, hw, SND_PCM_FORMAT_S16_LE)) < 0 ||
            (e = snd_pcm_hw_params_set_channels(pcm_, hw, channels_)) < 0 ||
            (e = snd_pcm_hw_params_set_rate(pcm_, hw, rate, 0)) < 0)
            return e;
        const bool low = latency_ == Latency::Low;
        snd_pcm_uframes_t period = low ? lowPeriodFor(rate) : periodFor(rate);
        int dir = 0;
        if ((e = snd_pcm_hw_params_set_period_size_near(pcm_, hw, &period, &dir)) < 0) return e;
        snd_pcm_uframes_t buffer = low                                 ? period * kLowPeriods
                                   : stream == SND_PCM_STREAM_PLAYBACK ? kPlaybackValues / channels_
                                                                       : period * kCapturePeriods;
        if ((e = snd_pcm_hw_params_set_buffer_size_near(pcm_, hw, &buffer)) < 0) return e;
        if ((e = snd_pcm_hw_params(pcm_, hw)) < 0) return e;
        snd_pcm_hw_params_get_period_size(hw, &period_, &dir);
        snd_pcm_hw_params_get_buffer_size(hw, &buffer_);
        canPause_ = snd_pcm_hw_params_can_pause(hw) != 0;
        rate_ = rate;

        snd_pcm_sw_params_t* sw;
        snd_pcm_sw_params_alloca(&sw);
        if ((e = snd_pcm_sw_params_current(pcm_, sw)) < 0) return e;
        snd_pcm_sw_params_set_avail_min(pcm_, sw, period_);
        // Playback starts with its first period: everything queued is written
        // at once anyway, and a sound server's plugin waits for this much
        // after every underrun before it plays again. Capture starts when
        // asked.
        snd_pcm_sw_params_set_start_threshold(
            pcm_, sw, stream == SND_PCM_STREAM_PLAYBACK ? period_ : buffer_);
        if ((e = snd_pcm_sw_params(pcm_, sw)) < 0) return e;
        return 0;
    }

    int setUpPoll() {
        wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wakeFd_ < 0) return -errno;
        const int count = snd_pcm_poll_descriptors_count(pcm_);
        if (count < 0) return count;
        fds_.assign(static_cast<size_t>(count) + 1, pollfd{});
        fds_[0] = {wakeFd_, POLLIN, 0};
        const int e = snd_pcm_poll_descriptors(pcm_, fds_.data() + 1, static_cast<unsigned>(count));
        return e < 0 ? e : 0;
    }

    std::thread thread_;
    int wakeFd_ = -1;
    std::vector<pollfd> fds_;
};

// What the core holds of a device: the calls both directions share, passed
// on to the device, which lives on with its thread if that thread had to be
// left behind at close.
template <class Interface, class Device>
class HeldDevice : public Interface {
  public:
    HeldDevice(std::string name, DeviceStats* stats, Latency latency)
        : d_(std::make_shared<Device>(std::move(name), stats, latency)) {}
    ~HeldDevice() override { d_->close(); }
    MMRESULT open(const platform::WAVEFORMATEX& f, platform::MessageTarget* target) override {
        return d_->open(f, target);
    }
    MMRESULT prepareHeader(WAVEHDR* h) override { return d_->prepareHeader(h); }
    MMRESULT reset() override { return d_->reset(); }
    MMRESULT unprepareHeader(WAVEHDR* h) override { return d_->unprepareHeader(h); }
    MMRESULT close() override { return d_->close(); }
    MMRESULT getErrorText(MMRESULT code, char* text, uint32_t size) override {
        return d_->getErrorText(code, text, size);
    }

  protected:
    std::shared_ptr<Device> d_;
};

}  // namespace alsa::detail
