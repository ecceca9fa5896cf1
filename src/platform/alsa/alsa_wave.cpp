#include "platform/alsa/alsa_wave.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace alsa {

using platform::MMRESULT;
using platform::MMSYSERR_NOERROR;
using platform::WAVEHDR;

namespace {

// Above every code the seam defines; the low bits hold the errno value.
constexpr MMRESULT kAlsaErrorBase = 0x40000000;

// About 12 ms per period and four periods in ALSA's buffer (46 ms): a small
// fraction of a block, so the backend adds little to the pipeline's own
// delay, with room for a busy machine to be late without an underrun.
constexpr unsigned kPeriods = 4;
snd_pcm_uframes_t periodFor(unsigned rate) {
    return std::bit_floor(std::max(32u, rate / 64));
}

bool isXrun(long error) {
    return error == -EPIPE || error == -ESTRPIPE;
}

MMRESULT copyText(MMRESULT code, char* text, uint32_t size) {
    if (!text || size == 0) return platform::MMSYSERR_INVALPARAM;
    std::snprintf(text, size, "%s", errorText(code).c_str());
    return MMSYSERR_NOERROR;
}

// The common part of both directions: the PCM, the device thread and its
// wake-ups, the buffer queue and the failure that ends the device.
class PcmDevice {
  public:
    PcmDevice(std::string name, DeviceStats* stats) : name_(std::move(name)), stats_(stats) {}
    virtual ~PcmDevice() { closePcm(); }

  protected:
    MMRESULT openPcm(const platform::WAVEFORMATEX& f, platform::MessageTarget* target,
                     snd_pcm_stream_t stream) {
        if (pcm_) return platform::MMSYSERR_ALLOCATED;
        if (f.wFormatTag != platform::WAVE_FORMAT_PCM || f.wBitsPerSample != 16 ||
            f.nChannels < 1 || f.nChannels > 2)
            return platform::WAVERR_BADFORMAT;
        int e = snd_pcm_open(&pcm_, name_.c_str(), stream, SND_PCM_NONBLOCK);
        if (e < 0) {
            pcm_ = nullptr;
            return errorCode(e);
        }
        channels_ = f.nChannels;
        if ((e = configure(f.nSamplesPerSec)) < 0 || (e = setUpPoll()) < 0) {
            closePcm();
            return errorCode(e);
        }
        target_ = target;
        quit_ = false;
        failed_ = 0;
        failedHeader_ = nullptr;
        failurePending_ = false;
        thread_ = std::thread([this] { run(); });
        return MMSYSERR_NOERROR;
    }

    void closePcm() {
        if (thread_.joinable()) {
            {
                std::lock_guard lock(mutex_);
                quit_ = true;
            }
            wake();
            thread_.join();
        }
        if (pcm_) snd_pcm_close(pcm_);
        pcm_ = nullptr;
        if (wakeFd_ >= 0) close(wakeFd_);
        wakeFd_ = -1;
    }

    MMRESULT prepare(WAVEHDR* h) {
        if (!h || !h->lpData) return platform::MMSYSERR_INVALPARAM;
        h->dwFlags |= platform::WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }

    MMRESULT unprepare(WAVEHDR* h) {
        if (!h) return platform::MMSYSERR_INVALPARAM;
        std::lock_guard lock(mutex_);
        if (h->dwFlags & platform::WHDR_INQUEUE) return platform::WAVERR_STILLPLAYING;
        h->dwFlags &= ~platform::WHDR_PREPARED;
        if (h == failedHeader_) {
            failedHeader_ = nullptr;
            return failed_;
        }
        return MMSYSERR_NOERROR;
    }

    // Marks a buffer done and posts its completion; called under the lock so
    // that completions keep queue order.
    void complete(WAVEHDR* h, uint32_t message) {
        h->dwFlags = (h->dwFlags & ~platform::WHDR_INQUEUE) | platform::WHDR_DONE;
        platform::host().postMessage(target_, message, 0, reinterpret_cast<intptr_t>(h));
    }

    // The device is gone for good: the oldest buffer comes back carrying the
    // error, everything else stays queued until reset.
    void fail(int error) {
        std::lock_guard lock(mutex_);
        if (failed_) return;
        failed_ = errorCode(error);
        if (WAVEHDR* h = popOldest()) {
            failedHeader_ = h;
            complete(h, completion_);
        } else {
            failurePending_ = true;
        }
    }

    // Called under the lock for a buffer being queued: with a failure not
    // yet reported, the buffer comes straight back carrying it.
    bool takeForFailure(WAVEHDR* h) {
        if (!failurePending_) return false;
        failurePending_ = false;
        failedHeader_ = h;
        h->dwFlags |= platform::WHDR_INQUEUE;
        complete(h, completion_);
        return true;
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
        return revents != 0;
    }

    int periodMs() const { return static_cast<int>(1000 * period_ / rate_) + 1; }

    virtual void run() = 0;

    std::string name_;
    uint32_t completion_ = 0;  // MM_WIM_DATA or MM_WOM_DONE
    DeviceStats* stats_;
    snd_pcm_t* pcm_ = nullptr;
    unsigned channels_ = 1;
    unsigned rate_ = 0;
    snd_pcm_uframes_t period_ = 0;
    snd_pcm_uframes_t buffer_ = 0;
    bool canPause_ = false;
    platform::MessageTarget* target_ = nullptr;

    // Shared with the device thread, under mutex_.
    std::mutex mutex_;
    bool quit_ = false;
    MMRESULT failed_ = 0;
    WAVEHDR* failedHeader_ = nullptr;
    bool failurePending_ = false;
    uint64_t generation_ = 0;  // moves on at every stop, start and reset

  private:
    int configure(unsigned rate) {
        snd_pcm_hw_params_t* hw;
        snd_pcm_hw_params_alloca(&hw);
        int e;
        if ((e = snd_pcm_hw_params_any(pcm_, hw)) < 0) return e;
        if ((e = snd_pcm_hw_params_set_access(pcm_, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
            (e = snd_pcm_hw_params_set_format(pcm_, hw, SND_PCM_FORMAT_S16_LE)) < 0 ||
            (e = snd_pcm_hw_params_set_channels(pcm_, hw, channels_)) < 0 ||
            (e = snd_pcm_hw_params_set_rate(pcm_, hw, rate, 0)) < 0)
            return e;
        snd_pcm_uframes_t period = periodFor(rate);
        int dir = 0;
        if ((e = snd_pcm_hw_params_set_period_size_near(pcm_, hw, &period, &dir)) < 0) return e;
        snd_pcm_uframes_t buffer = period * kPeriods;
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
        // Playback starts once ALSA's buffer is full (or explicitly when no
        // more audio is coming); capture starts when asked.
        snd_pcm_sw_params_set_start_threshold(pcm_, sw, buffer_);
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

class AlsaWaveIn final : public platform::WaveIn, PcmDevice {
  public:
    AlsaWaveIn(std::string name, DeviceStats* stats) : PcmDevice(std::move(name), stats) {
        completion_ = platform::MM_WIM_DATA;
    }
    ~AlsaWaveIn() override { closePcm(); }

    MMRESULT open(const platform::WAVEFORMATEX& f, platform::MessageTarget* target) override {
        if (f.nChannels != 1) return platform::WAVERR_BADFORMAT;
        running_ = false;
        const MMRESULT rc = openPcm(f, target, SND_PCM_STREAM_CAPTURE);
        if (rc == MMSYSERR_NOERROR) scratch_.assign(period_, 0);
        return rc;
    }
    MMRESULT prepareHeader(WAVEHDR* h) override { return prepare(h); }
    MMRESULT unprepareHeader(WAVEHDR* h) override { return unprepare(h); }
    MMRESULT addBuffer(WAVEHDR* h) override {
        if (!pcm_) return platform::MMSYSERR_INVALHANDLE;
        if (!h || !(h->dwFlags & platform::WHDR_PREPARED)) return platform::WAVERR_UNPREPARED;
        {
            std::lock_guard lock(mutex_);
            h->dwBytesRecorded = 0;
            if (takeForFailure(h)) return MMSYSERR_NOERROR;
            h->dwFlags = (h->dwFlags & ~platform::WHDR_DONE) | platform::WHDR_INQUEUE;
            queue_.push_back(h);
        }
        wake();
        return MMSYSERR_NOERROR;
    }
    MMRESULT start() override { return setRunning(true); }
    MMRESULT stop() override { return setRunning(false); }
    MMRESULT reset() override {
        if (!pcm_) return platform::MMSYSERR_INVALHANDLE;
        {
            std::lock_guard lock(mutex_);
            running_ = false;
            ++generation_;
            for (WAVEHDR* h : queue_)
                complete(h, platform::MM_WIM_DATA);
            queue_.clear();
        }
        wake();
        return MMSYSERR_NOERROR;
    }
    MMRESULT close() override {
        if (!pcm_) return platform::MMSYSERR_INVALHANDLE;
        closePcm();
        queue_.clear();
        return MMSYSERR_NOERROR;
    }
    MMRESULT getErrorText(MMRESULT code, char* text, uint32_t size) override {
        return copyText(code, text, size);
    }

  private:
    WAVEHDR* popOldest() override {
        if (queue_.empty()) return nullptr;
        WAVEHDR* h = queue_.front();
        queue_.pop_front();
        return h;
    }

    MMRESULT setRunning(bool on) {
        if (!pcm_) return platform::MMSYSERR_INVALHANDLE;
        {
            std::lock_guard lock(mutex_);
            running_ = on;
            ++generation_;
        }
        wake();
        return MMSYSERR_NOERROR;
    }

    void run() override {
        bool started = false;
        for (;;) {
            bool running, ready;
            size_t room = 0;
            uint64_t generation;
            {
                std::lock_guard lock(mutex_);
                if (quit_) break;
                running = running_ && !failed_;
                ready = running && !queue_.empty();
                if (ready) {
                    const WAVEHDR* h = queue_.front();
                    room = (h->dwBufferLength - h->dwBytesRecorded) / 2;
                }
                generation = generation_;
            }
            if (!running && started) {
                snd_pcm_drop(pcm_);
                started = false;
            }
            if (running && !started) {
                int e = snd_pcm_prepare(pcm_);
                if (e >= 0) e = snd_pcm_start(pcm_);
                if (e < 0) {
                    fail(e);
                    continue;
                }
                started = true;
            }
            // Without a buffer nothing is read: a sound card overruns and
            // loses that audio, an unpaced source just waits.
            if (!ready || room == 0) {
                wait(false, -1);
                continue;
            }
            if (!wait(true, 200)) continue;
            const snd_pcm_sframes_t n =
                snd_pcm_readi(pcm_, scratch_.data(), std::min<size_t>(room, period_));
            if (n == -EAGAIN || n == 0) continue;
            if (n < 0) {
                // An overrun is recovered and counted; what recovery cannot
                // mend ends the device.
                if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) == 0) {
                    if (isXrun(n) && stats_) ++stats_->xruns;
                    snd_pcm_start(pcm_);
                    continue;
                }
                fail(static_cast<int>(n));
                continue;
            }
            std::lock_guard lock(mutex_);
            if (generation != generation_ || queue_.empty()) continue;
            WAVEHDR* h = queue_.front();
            std::memcpy(h->lpData + h->dwBytesRecorded, scratch_.data(), n * 2);
            h->dwBytesRecorded += static_cast<uint32_t>(n * 2);
            if (h->dwBytesRecorded >= h->dwBufferLength) {
                queue_.pop_front();
                if (stats_) stats_->frames += h->dwBytesRecorded / 2;
                complete(h, platform::MM_WIM_DATA);
            }
        }
        if (started) snd_pcm_drop(pcm_);
    }

    bool running_ = false;
    std::deque<WAVEHDR*> queue_;
    std::vector<int16_t> scratch_;
};

class AlsaWaveOut final : public platform::WaveOut, PcmDevice {
  public:
    AlsaWaveOut(std::string name, DeviceStats* stats) : PcmDevice(std::move(name), stats) {
        completion_ = platform::MM_WOM_DONE;
    }
    ~AlsaWaveOut() override { closePcm(); }

    MMRESULT open(const platform::WAVEFORMATEX& f, platform::MessageTarget* target) override {
        paused_ = false;
        const MMRESULT rc = openPcm(f, target, SND_PCM_STREAM_PLAYBACK);
        if (rc == MMSYSERR_NOERROR) scratch_.assign(buffer_ * channels_, 0);
        return rc;
    }
    MMRESULT prepareHeader(WAVEHDR* h) override { return prepare(h); }
    MMRESULT unprepareHeader(WAVEHDR* h) override { return unprepare(h); }
    MMRESULT write(WAVEHDR* h) override {
        if (!pcm_) return platform::MMSYSERR_INVALHANDLE;
        if (!h || !(h->dwFlags & platform::WHDR_PREPARED)) return platform::WAVERR_UNPREPARED;
        {
            std::lock_guard lock(mutex_);
            if (takeForFailure(h)) return MMSYSERR_NOERROR;
            h->dwFlags = (h->dwFlags & ~platform::WHDR_DONE) | platform::WHDR_INQUEUE;
            queue_.push_back({h});
        }
        wake();
        return MMSYSERR_NOERROR;
    }
    MMRESULT pause() override { return setPaused(true); }
    MMRESULT restart() override { return setPaused(false); }
    MMRESULT reset() override {
        if (!pcm_) return platform::MMSYSERR_INVALHANDLE;
        {
            std::lock_guard lock(mutex_);
            ++generation_;
            for (Item& item : queue_)
                complete(item.header, platform::MM_WOM_DONE);
            queue_.clear();
        }
        wake();
        return MMSYSERR_NOERROR;
    }
    MMRESULT close() override {
        if (!pcm_) return platform::MMSYSERR_INVALHANDLE;
        closePcm();
        queue_.clear();
        return MMSYSERR_NOERROR;
    }
    MMRESULT getErrorText(MMRESULT code, char* text, uint32_t size) override {
        return copyText(code, text, size);
    }

  private:
    WAVEHDR* popOldest() override {
        if (queue_.empty()) return nullptr;
        WAVEHDR* h = queue_.front().header;
        queue_.pop_front();
        return h;
    }

    // A queued buffer and how far it has gone: `start` is the stream
    // position of its first frame once writing began, `done` the frames
    // handed to ALSA. It is finished once the stream has played past it.
    struct Item {
        WAVEHDR* header;
        bool started = false;
        uint64_t start = 0;
        uint32_t done = 0;
    };
    uint32_t framesOf(const WAVEHDR* h) const { return h->dwBufferLength / (2 * channels_); }

    MMRESULT setPaused(bool on) {
        if (!pcm_) return platform::MMSYSERR_INVALHANDLE;
        {
            std::lock_guard lock(mutex_);
            paused_ = on;
        }
        wake();
        return MMSYSERR_NOERROR;
    }

    // After a drop of `unplayed` frames: those frames go back to their
    // buffers, to be written again.
    void rewind(uint64_t unplayed) {
        std::lock_guard lock(mutex_);
        const uint64_t to = written_ - std::min(unplayed, written_);
        for (Item& item : queue_) {
            if (!item.started) continue;
            if (item.start >= to) {
                item.started = false;
                item.done = 0;
            } else if (item.start + item.done > to) {
                item.done = static_cast<uint32_t>(to - item.start);
            }
        }
        written_ = to;
    }

    // An underrun: recovered and counted. Anything recovery cannot mend
    // ends the device. Returns whether the stream can go on.
    bool recover(long error) {
        if (snd_pcm_recover(pcm_, static_cast<int>(error), 1) == 0) {
            if (isXrun(error) && stats_) ++stats_->xruns;
            return true;
        }
        fail(static_cast<int>(error));
        return false;
    }

    // Finishes the buffers the stream has played past. Nothing plays while
    // the stream waits to start or is stopped.
    void finishPlayed() {
        snd_pcm_sframes_t delay = 0;
        const snd_pcm_state_t state = snd_pcm_state(pcm_);
        if (state == SND_PCM_STATE_XRUN) {
            // Everything written so far has been played.
            if (!recover(-EPIPE)) return;
        } else if (state == SND_PCM_STATE_RUNNING || state == SND_PCM_STATE_PAUSED ||
                   state == SND_PCM_STATE_DRAINING) {
            const int e = snd_pcm_delay(pcm_, &delay);
            if (e < 0) {
                if (!isXrun(e) || !recover(e)) return;
                delay = 0;
            }
        } else {
            return;
        }
        std::lock_guard lock(mutex_);
        if (paused_ || failed_) return;
        const uint64_t played =
            written_ - std::min<uint64_t>(std::max<snd_pcm_sframes_t>(delay, 0), written_);
        while (!queue_.empty()) {
            const Item& item = queue_.front();
            const uint32_t frames = framesOf(item.header);
            if (!item.started || item.done < frames || item.start + frames > played) break;
            WAVEHDR* h = item.header;
            queue_.pop_front();
            if (stats_) stats_->frames += frames;
            complete(h, platform::MM_WOM_DONE);
        }
    }

    void run() override {
        uint64_t generation = ~uint64_t{0};
        for (;;) {
            bool paused, more = false, waiting;
            {
                std::lock_guard lock(mutex_);
                if (quit_) break;
                paused = paused_ || failed_;
                if (generation != generation_) {
                    // A reset: whatever ALSA still holds is dropped with it.
                    generation = generation_;
                    snd_pcm_drop(pcm_);
                    written_ = 0;
                }
                for (const Item& item : queue_)
                    if (item.done < framesOf(item.header)) more = true;
                waiting = !queue_.empty();
            }
            snd_pcm_state_t state = snd_pcm_state(pcm_);
            if (state == SND_PCM_STATE_XRUN) {
                finishPlayed();  // recovers, and finishes what was played
                continue;
            }
            if (state == SND_PCM_STATE_SETUP) {
                snd_pcm_prepare(pcm_);
                state = snd_pcm_state(pcm_);
            }
            if (paused) {
                if (state == SND_PCM_STATE_RUNNING) {
                    if (canPause_ && snd_pcm_pause(pcm_, 1) == 0) {
                    } else {
                        // Cannot pause: stop, and keep what was not played.
                        snd_pcm_sframes_t delay = 0;
                        if (snd_pcm_delay(pcm_, &delay) < 0) delay = 0;
                        snd_pcm_drop(pcm_);
                        rewind(static_cast<uint64_t>(std::max<snd_pcm_sframes_t>(delay, 0)));
                    }
                }
                wait(false, -1);
                continue;
            }
            if (state == SND_PCM_STATE_PAUSED) snd_pcm_pause(pcm_, 0);

            bool full = false;
            if (more) {
                const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
                if (avail < 0) {
                    if (recover(avail)) continue;
                    wait(false, -1);
                    continue;
                }
                if (avail == 0) {
                    full = true;
                } else {
                    writeSome(static_cast<snd_pcm_uframes_t>(avail), generation);
                    continue;
                }
            } else if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) {
                // No more audio is coming for now: play what ALSA holds.
                const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
                if (avail >= 0 && static_cast<snd_pcm_uframes_t>(avail) < buffer_)
                    snd_pcm_start(pcm_);
            }
            finishPlayed();
            if (full)
                wait(true, periodMs());
            else
                wait(false, waiting ? periodMs() : -1);
        }
        snd_pcm_drop(pcm_);
    }

    void writeSome(snd_pcm_uframes_t avail, uint64_t generation) {
        uint32_t frames = 0;
        {
            std::lock_guard lock(mutex_);
            if (generation != generation_) return;
            for (Item& item : queue_) {
                const uint32_t total = framesOf(item.header);
                if (item.done >= total) continue;
                if (!item.started) {
                    item.started = true;
                    item.start = written_;
                }
                frames = static_cast<uint32_t>(
                    std::min<uint64_t>({avail, total - item.done, scratch_.size() / channels_}));
                std::memcpy(scratch_.data(),
                            item.header->lpData + size_t{item.done} * 2 * channels_,
                            size_t{frames} * 2 * channels_);
                break;
            }
        }
        if (frames == 0) return;
        const snd_pcm_sframes_t n = snd_pcm_writei(pcm_, scratch_.data(), frames);
        if (n == -EAGAIN) return;
        if (n < 0) {
            recover(n);
            return;
        }
        std::lock_guard lock(mutex_);
        if (generation != generation_) return;
        for (Item& item : queue_) {
            if (item.done >= framesOf(item.header)) continue;
            item.done += static_cast<uint32_t>(n);
            break;
        }
        written_ += static_cast<uint64_t>(n);
    }

    bool paused_ = false;
    uint64_t written_ = 0;  // frames handed to ALSA since the last reset
    std::deque<Item> queue_;
    std::vector<int16_t> scratch_;
};

}  // namespace

MMRESULT errorCode(int alsaError) {
    return kAlsaErrorBase + static_cast<MMRESULT>(alsaError < 0 ? -alsaError : alsaError);
}

std::string errorText(MMRESULT code) {
    if (code >= kAlsaErrorBase) return snd_strerror(-static_cast<int>(code - kAlsaErrorBase));
    return platform::standardWaveErrorText(code);
}

std::unique_ptr<platform::WaveIn> makeWaveIn(const std::string& pcm, DeviceStats* stats) {
    return std::make_unique<AlsaWaveIn>(pcm, stats);
}

std::unique_ptr<platform::WaveOut> makeWaveOut(const std::string& pcm, DeviceStats* stats) {
    return std::make_unique<AlsaWaveOut>(pcm, stats);
}

}  // namespace alsa
