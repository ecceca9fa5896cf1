// A watchdog for wave devices whose backend cannot tell that a device is
// gone: a sound server that died under it, or a USB adapter pulled out, only
// shows as buffers that stop coming back, with no error on any call.
//
// A watched device forwards every call to the device it wraps and keeps the
// order of the buffers it holds. A device that is running with buffers queued
// (capture started, playback not paused) and returns none for kSilentDevice
// fails as a backend's failed device does: its oldest buffer comes back with
// its completion message, and unpreparing that buffer returns the failure, so
// the core reports it once and ends the program. From then on the devices of
// the same watch report nothing more: the errors of their stop, reset, pause,
// restart and close are those of a device already known dead, and come back
// as success. A process that was stopped as a whole (its checks late too) or
// a machine that slept does not fail its devices.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/wave.h"

namespace platform {

// The failures' codes, which either device of a watch turns into text (the
// core asks the capture device for playback errors too).
inline constexpr MMRESULT kCaptureStopped = 0x5741;
inline constexpr MMRESULT kPlaybackStopped = 0x5742;

class WaveWatch {
  public:
    using Clock = std::chrono::steady_clock;
    // As long as the ALSA backend waits for a silent capture device.
    static constexpr std::chrono::seconds kSilentDevice{3};
    // How often the watch's own thread looks.
    static constexpr std::chrono::milliseconds kLookEvery{250};

    // With ownThread, a thread of its own looks every kLookEvery; without,
    // the caller calls check() (tests, with their own clock).
    explicit WaveWatch(bool ownThread = true);
    ~WaveWatch();
    WaveWatch(const WaveWatch&) = delete;
    WaveWatch& operator=(const WaveWatch&) = delete;

    // One look at every watched device at the time now.
    void check(Clock::time_point now);

    struct Entry;  // one watched device's state, under the watch's lock

  private:
    friend class WatchedDevice;
    void add(Entry* entry);
    void remove(Entry* entry);
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Entry*> entries_;
    bool quit_ = false;
    bool failed_ = false;  // one of the devices failed: nothing more is reported
    bool looked_ = false;
    Clock::time_point lastLook_{};
    std::thread thread_;
};

// The wrapped device is either owned or borrowed (it must then outlive the
// watched one); the watch is shared by the program's devices.
std::unique_ptr<WaveIn> watchWaveIn(std::shared_ptr<WaveWatch> watch,
                                    std::unique_ptr<WaveIn> device);
std::unique_ptr<WaveOut> watchWaveOut(std::shared_ptr<WaveWatch> watch,
                                      std::unique_ptr<WaveOut> device);
std::unique_ptr<WaveIn> watchWaveIn(std::shared_ptr<WaveWatch> watch, WaveIn& device);
std::unique_ptr<WaveOut> watchWaveOut(std::shared_ptr<WaveWatch> watch, WaveOut& device);

}  // namespace platform
