// The watchdog of wave devices that stop returning buffers without an error.
#include "platform/wave_watch.h"

#include <atomic>
#include <cstdio>

namespace platform {

struct WaveWatch::Entry {
    bool capture = true;
    MessageTarget* target = nullptr;
    bool open = false;
    bool running = false;  // capture started, or playback not paused
    // The buffers the device holds, oldest first. The core circulates ten
    // per device; room for more keeps a larger queue watched by its oldest.
    static constexpr size_t kHeld = 32;
    WAVEHDR* held[kHeld] = {};
    size_t count = 0;
    bool sign = false;  // a buffer came back, or the device started, since the last look
    Clock::time_point lastSign{};
    WAVEHDR* failedHeader = nullptr;

    void hold(WAVEHDR* h) {
        if (count < kHeld) held[count++] = h;
    }
    void release(WAVEHDR* h) {
        for (size_t i = 0; i < count; ++i) {
            if (held[i] != h) continue;
            for (size_t j = i + 1; j < count; ++j)
                held[j - 1] = held[j];
            --count;
            return;
        }
    }
};

WaveWatch::WaveWatch(bool ownThread) {
    if (ownThread) thread_ = std::thread([this] { run(); });
}

WaveWatch::~WaveWatch() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void WaveWatch::run() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        wake_.wait_for(lock, kLookEvery);
        if (quit_) break;
        lock.unlock();
        check(Clock::now());
        lock.lock();
    }
}

void WaveWatch::add(Entry* entry) {
    std::lock_guard lock(mutex_);
    entries_.push_back(entry);
}

void WaveWatch::remove(Entry* entry) {
    std::lock_guard lock(mutex_);
    std::erase(entries_, entry);
}

void WaveWatch::check(Clock::time_point now) {
    std::lock_guard lock(mutex_);
    if (failed_) return;
    // A late look means this process did not run (stopped, or the machine
    // slept): its devices are not to blame for what did not come back.
    const bool late = looked_ && now - lastLook_ > std::chrono::seconds(1);
    looked_ = true;
    lastLook_ = now;
    for (Entry* e : entries_) {
        // The device marks a buffer done before its message comes: that
        // counts even while the loop is busy.
        while (e->count > 0 &&
               (std::atomic_ref<uint32_t>(e->held[0]->dwFlags).load(std::memory_order_acquire) &
                kWhdrDone)) {
            e->release(e->held[0]);
            e->sign = true;
        }
        const bool waiting = e->open && e->running && e->count > 0;
        if (e->sign || !waiting || late) {
            e->sign = false;
            e->lastSign = now;
            continue;
        }
        if (now - e->lastSign < kSilentDevice) continue;
        failed_ = true;
        e->failedHeader = e->held[0];
        e->release(e->failedHeader);
        host().postMessage(e->target, e->capture ? kMmWimData : kMmWomDone, 0,
                           reinterpret_cast<intptr_t>(e->failedHeader));
        return;
    }
}

// What both directions share: the bookkeeping around the wrapped device's
// calls, under the watch's lock.
class WatchedDevice {
  protected:
    WatchedDevice(std::shared_ptr<WaveWatch> watch, bool capture) : watch_(std::move(watch)) {
        entry_.capture = capture;
        watch_->add(&entry_);
    }
    ~WatchedDevice() { forget(); }
    // Out of the watch before the wrapped device goes.
    void forget() {
        if (forgotten_) return;
        forgotten_ = true;
        watch_->remove(&entry_);
    }

    // After a failure every error is that of a device known dead.
    MMRESULT result(MMRESULT rc) {
        std::lock_guard lock(watch_->mutex_);
        return watch_->failed_ ? kMmsyserrNoError : rc;
    }
    MMRESULT opened(MMRESULT rc, MessageTarget* target) {
        std::lock_guard lock(watch_->mutex_);
        if (rc == kMmsyserrNoError) {
            entry_.open = true;
            entry_.target = target;
            entry_.running = !entry_.capture;  // playback plays what is written
            entry_.count = 0;
            entry_.sign = true;
            entry_.failedHeader = nullptr;
        }
        return rc;
    }
    MMRESULT queued(MMRESULT rc, WAVEHDR* h) {
        std::lock_guard lock(watch_->mutex_);
        if (rc == kMmsyserrNoError) entry_.hold(h);
        return watch_->failed_ ? kMmsyserrNoError : rc;
    }
    MMRESULT running(MMRESULT rc, bool on) {
        std::lock_guard lock(watch_->mutex_);
        if (rc == kMmsyserrNoError) {
            if (on && !entry_.running) entry_.sign = true;
            entry_.running = on;
        }
        return watch_->failed_ ? kMmsyserrNoError : rc;
    }
    // A reset gives every buffer back; a capture device stops with it.
    MMRESULT wasReset(MMRESULT rc) {
        std::lock_guard lock(watch_->mutex_);
        if (rc == kMmsyserrNoError) {
            entry_.count = 0;
            if (entry_.capture) entry_.running = false;
        }
        return watch_->failed_ ? kMmsyserrNoError : rc;
    }
    MMRESULT closed(MMRESULT rc) {
        std::lock_guard lock(watch_->mutex_);
        if (rc == kMmsyserrNoError || watch_->failed_) {
            entry_.open = false;
            entry_.count = 0;
        }
        return watch_->failed_ ? kMmsyserrNoError : rc;
    }
    // The failed buffer carries the failure, once; the device still holds
    // it, so it is not unprepared there.
    bool takeFailure(WAVEHDR* h) {
        std::lock_guard lock(watch_->mutex_);
        if (!h || h != entry_.failedHeader) return false;
        entry_.failedHeader = nullptr;
        return true;
    }
    MMRESULT unprepared(MMRESULT rc, WAVEHDR* h) {
        std::lock_guard lock(watch_->mutex_);
        if (rc == kMmsyserrNoError) {
            const size_t before = entry_.count;
            entry_.release(h);
            if (entry_.count < before) entry_.sign = true;
        }
        return watch_->failed_ ? kMmsyserrNoError : rc;
    }
    MMRESULT failure() const { return entry_.capture ? kCaptureStopped : kPlaybackStopped; }
    static MMRESULT text(WaveErrorText& device, MMRESULT code, char* text, uint32_t size) {
        if (code != kCaptureStopped && code != kPlaybackStopped)
            return device.getErrorText(code, text, size);
        if (!text || size == 0) return kMmsyserrInvalParam;
        std::snprintf(text, size,
                      "the %s device stopped: the device, its driver or the sound "
                      "service went away",
                      code == kCaptureStopped ? "capture" : "playback");
        return kMmsyserrNoError;
    }

    std::shared_ptr<WaveWatch> watch_;
    WaveWatch::Entry entry_;
    bool forgotten_ = false;
};

namespace {

// What both directions pass on alike: the calls the watch sees.
template <class Interface>
class Watched : public Interface, protected WatchedDevice {
  public:
    Watched(std::shared_ptr<WaveWatch> watch, bool capture, Interface& device,
            std::unique_ptr<Interface> owned)
        : WatchedDevice(std::move(watch), capture), owned_(std::move(owned)), d_(device) {}
    ~Watched() override { forget(); }
    MMRESULT open(const WAVEFORMATEX& format, MessageTarget* callback) override {
        return opened(d_.open(format, callback), callback);
    }
    MMRESULT prepareHeader(WAVEHDR* h) override { return result(d_.prepareHeader(h)); }
    MMRESULT reset() override { return wasReset(d_.reset()); }
    MMRESULT unprepareHeader(WAVEHDR* h) override {
        if (takeFailure(h)) return failure();
        return unprepared(d_.unprepareHeader(h), h);
    }
    MMRESULT close() override { return closed(d_.close()); }
    MMRESULT getErrorText(MMRESULT code, char* t, uint32_t size) override {
        return text(d_, code, t, size);
    }

  protected:
    std::unique_ptr<Interface> owned_;
    Interface& d_;
};

class WatchedIn final : public Watched<WaveIn> {
  public:
    WatchedIn(std::shared_ptr<WaveWatch> watch, WaveIn& device, std::unique_ptr<WaveIn> owned)
        : Watched(std::move(watch), true, device, std::move(owned)) {}
    MMRESULT addBuffer(WAVEHDR* h) override { return queued(d_.addBuffer(h), h); }
    MMRESULT start() override { return running(d_.start(), true); }
    MMRESULT stop() override { return running(d_.stop(), false); }
};

class WatchedOut final : public Watched<WaveOut> {
  public:
    WatchedOut(std::shared_ptr<WaveWatch> watch, WaveOut& device, std::unique_ptr<WaveOut> owned)
        : Watched(std::move(watch), false, device, std::move(owned)) {}
    MMRESULT write(WAVEHDR* h) override { return queued(d_.write(h), h); }
    MMRESULT pause() override { return running(d_.pause(), false); }
    MMRESULT restart() override { return running(d_.restart(), true); }
};

}  // namespace

std::unique_ptr<WaveIn> watchWaveIn(std::shared_ptr<WaveWatch> watch,
                                    std::unique_ptr<WaveIn> device) {
    WaveIn& d = *device;
    return std::make_unique<WatchedIn>(std::move(watch), d, std::move(device));
}
std::unique_ptr<WaveOut> watchWaveOut(std::shared_ptr<WaveWatch> watch,
                                      std::unique_ptr<WaveOut> device) {
    WaveOut& d = *device;
    return std::make_unique<WatchedOut>(std::move(watch), d, std::move(device));
}
std::unique_ptr<WaveIn> watchWaveIn(std::shared_ptr<WaveWatch> watch, WaveIn& device) {
    return std::make_unique<WatchedIn>(std::move(watch), device, nullptr);
}
std::unique_ptr<WaveOut> watchWaveOut(std::shared_ptr<WaveWatch> watch, WaveOut& device) {
    return std::make_unique<WatchedOut>(std::move(watch), device, nullptr);
}

}  // namespace platform
