// Capture over ALSA PCM.
#include <cstring>
#include <deque>

#include "platform/alsa/pcm_device.h"

namespace alsa {
namespace {

using namespace detail;

class Capture final : public PcmDevice {
  public:
    Capture(std::string name, DeviceStats* stats, Latency latency)
        : PcmDevice(std::move(name), stats, latency) {
        completion_ = platform::kMmWimData;
    }
    ~Capture() override { closePcm(); }

    MMRESULT open(const platform::WAVEFORMATEX& f, platform::MessageTarget* target) {
        if (f.nChannels != 1) return platform::kWaverrBadFormat;
        running_ = false;
        const MMRESULT rc = openPcm(f, target, SND_PCM_STREAM_CAPTURE);
        if (rc == kMmsyserrNoError) scratch_.assign(period_, 0);
        return rc;
    }
    void beforeThread() override {
        started_ = false;
        paced_ = true;
        read_ = drop_ = insert_ = 0;
        adjusted_ = 0;
        keeper_ = DelayKeeper(rate_);
    }
    MMRESULT addBuffer(WAVEHDR* h) {
        if (!open_) return platform::kMmsyserrInvalHandle;
        if (!h || !platform::isPrepared(h)) return platform::kWaverrUnprepared;
        {
            std::lock_guard lock(mutex_);
            h->dwBytesRecorded = 0;
            if (takeForFailure(h)) return kMmsyserrNoError;
            platform::markQueued(h);
            queue_.push_back(h);
        }
        wake();
        return kMmsyserrNoError;
    }
    MMRESULT start() { return setRunning(true); }
    MMRESULT stop() { return setRunning(false); }
    void stopForReset() override { running_ = false; }

  private:
    WAVEHDR* popOldest() override {
        if (queue_.empty()) return nullptr;
        WAVEHDR* h = queue_.front();
        queue_.pop_front();
        return h;
    }

    MMRESULT setRunning(bool on) {
        if (!open_) return platform::kMmsyserrInvalHandle;
        {
            std::lock_guard lock(mutex_);
            running_ = on;
            ++generation_;
        }
        wake();
        return kMmsyserrNoError;
    }

    // What the device thread sees of the queue at one turn of its loop.
    struct Turn {
        bool running = false;  // started, and not failed
        bool ready = false;    // running with a buffer queued
        size_t room = 0;       // values still free in the oldest buffer
        uint64_t generation = 0;
    };
    // Takes the queue's state for one turn; false once the device closes.
    bool takeTurn(Turn& turn) {
        std::lock_guard lock(mutex_);
        if (quit_) return false;
        beat_ = Clock::now();
        turn.running = running_ && !failed_;
        turn.ready = turn.running && !queue_.empty();
        turn.room = 0;
        if (turn.ready) {
            const WAVEHDR* h = queue_.front();
            turn.room = (h->dwBufferLength - h->dwBytesRecorded) / 2;
        }
        turn.generation = generation_;
        return true;
    }

    void run() override {
        pcmRunning_ = false;
        starving_ = false;
        lastRead_ = Clock::now();
        Turn turn;
        while (takeTurn(turn)) {
            if (!followRunning(turn)) continue;
            if (turn.ready && turn.room > 0 && insert_ > 0) {
                insertSilence(turn.room, turn.generation);
                continue;
            }
            if (!turn.ready || turn.room == 0) {
                starve(turn.running);
                continue;
            }
            endStarving();
            readPeriod(turn);
        }
        if (pcmRunning_) snd_pcm_drop(pcm_);
    }

    // Starts or stops the PCM as the core asked. False when starting failed
    // (the device has failed with it).
    bool followRunning(const Turn& turn) {
        if (!turn.running && pcmRunning_) {
            snd_pcm_drop(pcm_);
            pcmRunning_ = false;
        }
        if (!turn.running) starving_ = false;
        if (!turn.ready || turn.room == 0) lastRead_ = Clock::now();
        if (!turn.running || pcmRunning_) return true;
        int e = snd_pcm_prepare(pcm_);
        if (e >= 0) e = snd_pcm_start(pcm_);
        if (e < 0) {
            fail(e);
            return false;
        }
        pcmRunning_ = true;
        if (!started_) {
            started_ = true;
            startedAt_ = Clock::now();
        }
        return true;
    }

    // Without a buffer nothing is read. A sound card overruns once its ring
    // is full and loses that audio; a sound server would instead keep
    // seconds of it and hand it over late, so a wait longer than the ring is
    // treated as the overrun it would be on a card. An unpaced source (a
    // file) loses nothing, and is left alone.
    void starve(bool running) {
        if (running && !starving_) {
            starving_ = true;
            starvedAt_ = Clock::now();
        }
        wait(false, kBeatMs);
    }
    void endStarving() {
        if (!starving_) return;
        starving_ = false;
        if (paced_ && Clock::now() - starvedAt_ > ringTime()) {
            snd_pcm_drop(pcm_);
            snd_pcm_prepare(pcm_);
            snd_pcm_start(pcm_);
            countXrun();
        }
    }

    // Waits for a period and reads what is there into the oldest buffer.
    void readPeriod(const Turn& turn) {
        const Clock::time_point waited = Clock::now();
        if (!wait(true, 200)) {
            // A sound server that dies can leave its plugin polling nothing
            // and reporting no error. A paced device that gives nothing for
            // seconds while this thread keeps being scheduled (each wait
            // returning on time, so the process was not stopped) is gone.
            const Clock::time_point now = Clock::now();
            if (now - waited > std::chrono::milliseconds(400)) lastRead_ = now;
            if (paced_ && now - lastRead_ > kSilentDevice) fail(-EIO);
            return;
        }
        const snd_pcm_sframes_t n =
            snd_pcm_readi(pcm_, scratch_.data(), std::min<size_t>(turn.room, period_));
        if (n == -EAGAIN || n == 0) return;
        if (n < 0) {
            // An overrun is recovered and counted; what recovery cannot mend
            // ends the device.
            const int rc = snd_pcm_recover(pcm_, static_cast<int>(n), 1);
            if (rc != 0) {
                fail(rc);
                return;
            }
            if (isXrun(n)) countXrun();
            snd_pcm_start(pcm_);
            return;
        }
        lastRead_ = Clock::now();
        read_ += static_cast<uint64_t>(n);
        keepDelay();
        snd_pcm_uframes_t skip = 0;
        if (drop_ > 0) {
            skip = std::min<snd_pcm_uframes_t>(drop_, static_cast<snd_pcm_uframes_t>(n));
            drop_ -= skip;
            if (skip == static_cast<snd_pcm_uframes_t>(n)) return;
        }
        deliver(scratch_.data() + skip, static_cast<uint32_t>(n - skip), turn.generation);
    }

    // Copies frames into the oldest buffer, and finishes it once full.
    void deliver(const int16_t* frames, uint32_t count, uint64_t generation) {
        std::lock_guard lock(mutex_);
        if (quit_ || generation != generation_ || queue_.empty()) return;
        WAVEHDR* h = queue_.front();
        std::memcpy(h->lpData + h->dwBytesRecorded, frames, size_t{count} * 2);
        h->dwBytesRecorded += count * 2;
        if (h->dwBytesRecorded >= h->dwBufferLength) {
            queue_.pop_front();
            if (stats_) stats_->frames += h->dwBytesRecorded / 2;
            complete(h, platform::kMmWimData);
        }
    }

    void insertSilence(size_t room, uint64_t generation) {
        const auto count = static_cast<uint32_t>(std::min<size_t>({insert_, room, period_}));
        std::fill_n(scratch_.data(), count, int16_t{0});
        insert_ -= count;
        deliver(scratch_.data(), count, generation);
    }

    // Measures the delay against the playback device's position, and
    // schedules the frames that bring it back to where it settled. Frames
    // decided on count at once, so a correction is made only once.
    void keepDelay() {
        const Clock::time_point now = Clock::now();
        if (paced_ && started_ &&
            !keepsPace(static_cast<double>(read_), rate_, now - startedAt_,
                       static_cast<double>(buffer_ + rate_)))
            paced_ = false;
        snd_pcm_sframes_t waiting = 0;
        if (snd_pcm_delay(pcm_, &waiting) < 0) waiting = 0;
        double played = 0;
        const bool playing = paced_ && playbackClock().playedAt(rate_, now, played);
        const double position = static_cast<double>(read_) + static_cast<double>(waiting) -
                                static_cast<double>(adjusted_);
        const long change = keeper_.step(position, playing, played, now);
        if (change == 0) return;
        adjusted_ += change;
        if (change > 0) {
            const auto cancel = std::min<uint64_t>(insert_, static_cast<uint64_t>(change));
            insert_ -= cancel;
            drop_ += static_cast<uint64_t>(change) - cancel;
        } else {
            const auto cancel = std::min<uint64_t>(drop_, static_cast<uint64_t>(-change));
            drop_ -= cancel;
            insert_ += static_cast<uint64_t>(-change) - cancel;
        }
        std::lock_guard lock(mutex_);
        if (stats_ && !quit_) ++stats_->corrections;
    }

    bool running_ = false;
    std::deque<WAVEHDR*> queue_;
    std::vector<int16_t> scratch_;

    // The device thread's own.
    bool pcmRunning_ = false;  // the PCM was started and not dropped since
    bool starving_ = false;    // running with no buffer to read into
    Clock::time_point starvedAt_{};
    Clock::time_point lastRead_{};  // or since there was nothing to read into
    bool started_ = false;          // since open
    Clock::time_point startedAt_{};
    bool paced_ = true;
    uint64_t read_ = 0;     // frames read from ALSA since open
    int64_t adjusted_ = 0;  // frames decided to drop, less those to insert
    uint64_t drop_ = 0;     // still to drop from what is read
    uint64_t insert_ = 0;   // still to insert as silence
    DelayKeeper keeper_{0};
};

class AlsaWaveIn final : public HeldDevice<platform::WaveIn, Capture> {
  public:
    using HeldDevice::HeldDevice;
    MMRESULT addBuffer(WAVEHDR* h) override { return d_->addBuffer(h); }
    MMRESULT start() override { return d_->start(); }
    MMRESULT stop() override { return d_->stop(); }
};

}  // namespace

std::unique_ptr<platform::WaveIn> makeWaveIn(const std::string& pcm, DeviceStats* stats,
                                             Latency latency) {
    quietAlsa();
    return std::make_unique<AlsaWaveIn>(pcm, stats, latency);
}

}  // namespace alsa
