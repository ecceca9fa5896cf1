// Capture over ALSA PCM.
#include <cstring>
#include <deque>

#include "platform/alsa/pcm_device.h"

namespace alsa {
namespace {

using namespace detail;

class Capture final : public PcmDevice {
  public:
    Capture(std::string name, DeviceStats* stats) : PcmDevice(std::move(name), stats) {
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
    MMRESULT prepareHeader(WAVEHDR* h) { return prepare(h); }
    MMRESULT unprepareHeader(WAVEHDR* h) { return unprepare(h); }
    MMRESULT addBuffer(WAVEHDR* h) {
        if (!open_) return platform::kMmsyserrInvalHandle;
        if (!h || !(h->dwFlags & platform::kWhdrPrepared)) return platform::kWaverrUnprepared;
        {
            std::lock_guard lock(mutex_);
            h->dwBytesRecorded = 0;
            if (takeForFailure(h)) return kMmsyserrNoError;
            h->dwFlags = (h->dwFlags & ~platform::kWhdrDone) | platform::kWhdrInQueue;
            queue_.push_back(h);
        }
        wake();
        return kMmsyserrNoError;
    }
    MMRESULT start() { return setRunning(true); }
    MMRESULT stop() { return setRunning(false); }
    MMRESULT reset() {
        if (!open_) return platform::kMmsyserrInvalHandle;
        {
            std::lock_guard lock(mutex_);
            running_ = false;
            ++generation_;
            for (WAVEHDR* h : queue_)
                complete(h, platform::kMmWimData);
            queue_.clear();
        }
        wake();
        return kMmsyserrNoError;
    }
    MMRESULT close() {
        if (!open_) return platform::kMmsyserrInvalHandle;
        closePcm();
        std::lock_guard lock(mutex_);
        queue_.clear();
        return kMmsyserrNoError;
    }
    MMRESULT getErrorText(MMRESULT code, char* text, uint32_t size) {
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
        if (!open_) return platform::kMmsyserrInvalHandle;
        {
            std::lock_guard lock(mutex_);
            running_ = on;
            ++generation_;
        }
        wake();
        return kMmsyserrNoError;
    }

    void run() override {
        bool started = false;
        bool starving = false;
        std::chrono::steady_clock::time_point starvedAt;
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
            if (!running) starving = false;
            if (running && !started) {
                int e = snd_pcm_prepare(pcm_);
                if (e >= 0) e = snd_pcm_start(pcm_);
                if (e < 0) {
                    fail(e);
                    continue;
                }
                started = true;
            }
            // Without a buffer nothing is read. A sound card overruns once its
            // ring is full and loses that audio; a sound server would instead
            // keep seconds of it and hand it over late, so a wait longer than
            // the ring is treated as the overrun it would be on a card. An
            // unpaced source (a file) loses nothing by the restart.
            if (!ready || room == 0) {
                if (running && !starving) {
                    starving = true;
                    starvedAt = std::chrono::steady_clock::now();
                }
                wait(false, -1);
                continue;
            }
            if (starving) {
                starving = false;
                if (std::chrono::steady_clock::now() - starvedAt > ringTime()) {
                    snd_pcm_drop(pcm_);
                    snd_pcm_prepare(pcm_);
                    snd_pcm_start(pcm_);
                    countXrun();
                }
            }
            if (!wait(true, 200)) continue;
            const snd_pcm_sframes_t n =
                snd_pcm_readi(pcm_, scratch_.data(), std::min<size_t>(room, period_));
            if (n == -EAGAIN || n == 0) continue;
            if (n < 0) {
                // An overrun is recovered and counted; what recovery cannot
                // mend ends the device.
                const int rc = snd_pcm_recover(pcm_, static_cast<int>(n), 1);
                if (rc == 0) {
                    if (isXrun(n)) countXrun();
                    snd_pcm_start(pcm_);
                    continue;
                }
                fail(rc);
                continue;
            }
            std::lock_guard lock(mutex_);
            if (quit_ || generation != generation_ || queue_.empty()) continue;
            WAVEHDR* h = queue_.front();
            std::memcpy(h->lpData + h->dwBytesRecorded, scratch_.data(), n * 2);
            h->dwBytesRecorded += static_cast<uint32_t>(n * 2);
            if (h->dwBytesRecorded >= h->dwBufferLength) {
                queue_.pop_front();
                if (stats_) stats_->frames += h->dwBytesRecorded / 2;
                complete(h, platform::kMmWimData);
            }
        }
        if (started) snd_pcm_drop(pcm_);
    }

    bool running_ = false;
    std::deque<WAVEHDR*> queue_;
    std::vector<int16_t> scratch_;
};

// What the core holds: the device lives on with its thread if that thread
// had to be left behind at close.
class AlsaWaveIn final : public platform::WaveIn {
  public:
    AlsaWaveIn(std::string name, DeviceStats* stats)
        : d_(std::make_shared<Capture>(std::move(name), stats)) {}
    ~AlsaWaveIn() override { d_->close(); }
    MMRESULT open(const platform::WAVEFORMATEX& f, platform::MessageTarget* target) override {
        return d_->open(f, target);
    }
    MMRESULT prepareHeader(WAVEHDR* h) override { return d_->prepareHeader(h); }
    MMRESULT addBuffer(WAVEHDR* h) override { return d_->addBuffer(h); }
    MMRESULT start() override { return d_->start(); }
    MMRESULT stop() override { return d_->stop(); }
    MMRESULT reset() override { return d_->reset(); }
    MMRESULT unprepareHeader(WAVEHDR* h) override { return d_->unprepareHeader(h); }
    MMRESULT close() override { return d_->close(); }
    MMRESULT getErrorText(MMRESULT code, char* text, uint32_t size) override {
        return d_->getErrorText(code, text, size);
    }

  private:
    std::shared_ptr<Capture> d_;
};

}  // namespace

std::unique_ptr<platform::WaveIn> makeWaveIn(const std::string& pcm, DeviceStats* stats) {
    quietAlsa();
    return std::make_unique<AlsaWaveIn>(pcm, stats);
}

}  // namespace alsa
