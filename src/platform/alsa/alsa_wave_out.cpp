// Playback over ALSA PCM.
#include <cstring>
#include <deque>

#include "platform/alsa/pcm_device.h"

namespace alsa {
namespace {

using namespace detail;

class Playback final : public PcmDevice {
  public:
    Playback(std::string name, DeviceStats* stats, Latency latency)
        : PcmDevice(std::move(name), stats, latency) {
        completion_ = platform::kMmWomDone;
    }
    ~Playback() override { closePcm(); }

    MMRESULT open(const platform::WAVEFORMATEX& f, platform::MessageTarget* target) {
        paused_ = false;
        const MMRESULT rc = openPcm(f, target, SND_PCM_STREAM_PLAYBACK);
        if (rc == kMmsyserrNoError) scratch_.assign(buffer_ * channels_, 0);
        return rc;
    }
    MMRESULT write(WAVEHDR* h) {
        if (!open_) return platform::kMmsyserrInvalHandle;
        if (!h || !platform::isPrepared(h)) return platform::kWaverrUnprepared;
        {
            std::lock_guard lock(mutex_);
            if (takeForFailure(h)) return kMmsyserrNoError;
            platform::markQueued(h);
            queue_.push_back({h});
        }
        wake();
        return kMmsyserrNoError;
    }
    MMRESULT pause() { return setPaused(true); }
    MMRESULT restart() { return setPaused(false); }

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
        if (!open_) return platform::kMmsyserrInvalHandle;
        {
            std::lock_guard lock(mutex_);
            paused_ = on;
        }
        wake();
        return kMmsyserrNoError;
    }

    // After a drop of `unplayed` frames: those frames go back to their
    // buffers, to be written again.
    void rewind(uint64_t unplayed) {
        std::lock_guard lock(mutex_);
        const uint64_t to = written_ - std::min(unplayed, written_);
        total_ -= written_ - to;
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
        const int rc = snd_pcm_recover(pcm_, static_cast<int>(error), 1);
        if (rc == 0) {
            if (isXrun(error)) countXrun();
            return true;
        }
        fail(rc);  // what made recovery fail says most
        return false;
    }

    // Tells the capture device where playback stands, for the delay it keeps.
    void publishPosition(double played, bool running) {
        const Clock::time_point now = Clock::now();
        if (running && !ran_) {
            ran_ = true;
            firstRun_ = now;
        }
        if (paced_ && ran_ && !keepsPace(played, rate_, now - firstRun_, rate_)) paced_ = false;
        playbackClock().publish(rate_, played, running, paced_, now);
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
            // With every queued frame written, this is where a device that
            // is gone shows it.
            const int e = snd_pcm_delay(pcm_, &delay);
            if (e < 0) {
                if (!recover(e)) return;
                delay = 0;
            }
        } else {
            if (state == SND_PCM_STATE_DISCONNECTED) fail(-ENODEV);
            return;
        }
        std::lock_guard lock(mutex_);
        if (paused_ || failed_ || quit_) return;
        const uint64_t unplayed =
            std::min<uint64_t>(std::max<snd_pcm_sframes_t>(delay, 0), written_);
        const uint64_t played = written_ - unplayed;
        publishPosition(static_cast<double>(total_ - unplayed), state == SND_PCM_STATE_RUNNING);
        while (!queue_.empty()) {
            const Item& item = queue_.front();
            const uint32_t frames = framesOf(item.header);
            if (!item.started || item.done < frames || item.start + frames > played) break;
            WAVEHDR* h = item.header;
            queue_.pop_front();
            if (stats_) stats_->frames += frames;
            complete(h, platform::kMmWomDone);
        }
    }

    // What the device thread sees of the queue at one turn of its loop.
    struct Turn {
        bool paused = false;   // paused, or failed
        bool more = false;     // a queued buffer still has frames to write
        bool waiting = false;  // buffers are queued
        uint64_t generation = ~uint64_t{0};
    };
    // Takes the queue's state for one turn; false once the device closes.
    // After a reset whatever ALSA still holds is dropped with it.
    bool takeTurn(Turn& turn) {
        std::lock_guard lock(mutex_);
        if (quit_) return false;
        beat_ = Clock::now();
        turn.paused = paused_ || failed_;
        if (turn.generation != generation_) {
            turn.generation = generation_;
            snd_pcm_drop(pcm_);
            written_ = 0;
        }
        turn.more = false;
        for (const Item& item : queue_)
            if (item.done < framesOf(item.header)) turn.more = true;
        turn.waiting = !queue_.empty();
        return true;
    }

    void run() override {
        Turn turn;
        while (takeTurn(turn)) {
            snd_pcm_state_t state = snd_pcm_state(pcm_);
            if (state == SND_PCM_STATE_XRUN) {
                finishPlayed();  // recovers, and finishes what was played
                continue;
            }
            if (state == SND_PCM_STATE_SETUP) {
                snd_pcm_prepare(pcm_);
                state = snd_pcm_state(pcm_);
            }
            if (state != SND_PCM_STATE_RUNNING || turn.paused) playbackClock().stop();
            if (turn.paused) {
                holdStill(state);
                continue;
            }
            if (state == SND_PCM_STATE_PAUSED) snd_pcm_pause(pcm_, 0);
            if (holdCushion(state, turn.more)) continue;
            bool full = false;
            if (turn.more) {
                const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
                if (avail < 0) {
                    if (!recover(avail)) wait(false, kBeatMs);
                    continue;
                }
                if (avail > 0) {
                    writeSome(static_cast<snd_pcm_uframes_t>(avail), turn.generation);
                    continue;
                }
                full = true;
            } else if (turn.waiting && snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) {
                // Every queued frame is in ALSA's buffer and no more is
                // coming for now: play it.
                snd_pcm_start(pcm_);
            }
            finishPlayed();
            if (full)
                wait(true, periodMs());
            else
                wait(false, turn.waiting ? periodMs() : kBeatMs);
        }
        playbackClock().stop();
        snd_pcm_drop(pcm_);
    }

    // Paused (or failed): the stream stops where it is and waits.
    void holdStill(snd_pcm_state_t state) {
        if (state == SND_PCM_STATE_RUNNING && !(canPause_ && snd_pcm_pause(pcm_, 1) == 0)) {
            // Cannot pause: stop, and keep what was not played.
            snd_pcm_sframes_t delay = 0;
            if (snd_pcm_delay(pcm_, &delay) < 0) delay = 0;
            snd_pcm_drop(pcm_);
            rewind(static_cast<uint64_t>(std::max<snd_pcm_sframes_t>(delay, 0)));
        }
        wait(false, kBeatMs);
    }

    // At low latency the output comes hop by hop: a stream that starts with
    // the first hop alone runs dry before the next. It starts a cushion
    // later instead, at open and after an underrun. True while it waits.
    bool holdCushion(snd_pcm_state_t state, bool more) {
        if (state != SND_PCM_STATE_PREPARED) {
            holding_ = false;
            return false;
        }
        if (!more || latency_ != Latency::Low) return false;
        const Clock::time_point now = Clock::now();
        if (!holding_) {
            holding_ = true;
            holdUntil_ =
                now + std::chrono::microseconds(1000000 * kCushionPeriods * period_ / rate_);
        }
        if (now >= holdUntil_) return false;
        wait(false, static_cast<int>(
                        std::chrono::ceil<std::chrono::milliseconds>(holdUntil_ - now).count()));
        return true;
    }

    void writeSome(snd_pcm_uframes_t avail, uint64_t generation) {
        uint32_t frames = 0;
        {
            std::lock_guard lock(mutex_);
            if (quit_ || generation != generation_) return;
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
        total_ += static_cast<uint64_t>(n);
    }

    void beforeThread() override {
        holding_ = false;
        total_ = 0;
        ran_ = false;
        paced_ = true;
    }

    bool paused_ = false;
    bool holding_ = false;  // a cushion before the start is running out
    Clock::time_point holdUntil_{};
    uint64_t written_ = 0;  // frames handed to ALSA since the last reset
    uint64_t total_ = 0;    // since open, less what was taken back to write again
    bool ran_ = false;      // since open
    Clock::time_point firstRun_{};
    bool paced_ = true;
    std::deque<Item> queue_;
    std::vector<int16_t> scratch_;
};

class AlsaWaveOut final : public HeldDevice<platform::WaveOut, Playback> {
  public:
    using HeldDevice::HeldDevice;
    MMRESULT write(WAVEHDR* h) override { return d_->write(h); }
    MMRESULT pause() override { return d_->pause(); }
    MMRESULT restart() override { return d_->restart(); }
};

}  // namespace

std::unique_ptr<platform::WaveOut> makeWaveOut(const std::string& pcm, DeviceStats* stats,
                                               Latency latency) {
    quietAlsa();
    return std::make_unique<AlsaWaveOut>(pcm, stats, latency);
}

}  // namespace alsa
