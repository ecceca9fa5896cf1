// Simulated wave devices.
//
// Scripted devices let a test decide everything: when the capture device
// fills the next queued buffer and with what, when the playback device
// finishes a buffer, and which call fails with which code. They keep the
// promises of the wave seam.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "platform/wave.h"

namespace sim {

enum class WaveCall {
    Open,
    PrepareHeader,
    AddBuffer,  // waveInAddBuffer or waveOutWrite
    Start,
    Stop,
    Pause,
    Restart,
    Reset,
    UnprepareHeader,
    Close,
};

// Which calls fail, with which code: after `skip` good calls, the next `times`
// calls fail (times < 0: every call from then on).
class FaultPlan {
  public:
    void fail(WaveCall call, platform::MMRESULT code, int skip = 0, int times = -1);
    void clear() { rules_.clear(); }
    // Counts the call and returns the code it should fail with, or 0.
    platform::MMRESULT check(WaveCall call);
    int calls(WaveCall call) const;

  private:
    struct Rule {
        platform::MMRESULT code;
        int skip;
        int times;
    };
    std::map<WaveCall, Rule> rules_;
    std::map<WaveCall, int> counts_;
};

class ScriptedWaveIn final : public platform::WaveIn {
  public:
    platform::MMRESULT open(const platform::WAVEFORMATEX& format,
                            platform::MessageTarget* callback) override;
    platform::MMRESULT prepareHeader(platform::WAVEHDR* header) override;
    platform::MMRESULT addBuffer(platform::WAVEHDR* header) override;
    platform::MMRESULT start() override;
    platform::MMRESULT stop() override;
    platform::MMRESULT reset() override;
    platform::MMRESULT unprepareHeader(platform::WAVEHDR* header) override;
    platform::MMRESULT close() override;
    platform::MMRESULT getErrorText(platform::MMRESULT code, char* text, uint32_t size) override;

    // Fills the oldest queued buffer with samples (the rest of the buffer
    // with zeros) and posts its completion. False when the device is not
    // capturing or holds no buffer.
    bool fill(const int16_t* samples, size_t count);
    bool fill(const std::vector<int16_t>& samples) { return fill(samples.data(), samples.size()); }

    bool isOpen() const { return open_; }
    bool isStarted() const { return started_; }
    size_t queued() const { return queue_.size(); }
    const std::deque<platform::WAVEHDR*>& queue() const { return queue_; }
    const platform::WAVEFORMATEX& format() const { return format_; }

    // The recording level: every captured sample is scaled by it (with
    // clipping to 16 bits). A simulated mixer sets it from the recording
    // source's volume.
    std::function<double()> gain;

    FaultPlan faults;
    size_t filled = 0;  // buffers completed with data

  private:
    bool open_ = false;
    bool started_ = false;
    platform::WAVEFORMATEX format_{};
    platform::MessageTarget* target_ = nullptr;
    std::deque<platform::WAVEHDR*> queue_;
};

class ScriptedWaveOut final : public platform::WaveOut {
  public:
    platform::MMRESULT open(const platform::WAVEFORMATEX& format,
                            platform::MessageTarget* callback) override;
    platform::MMRESULT prepareHeader(platform::WAVEHDR* header) override;
    platform::MMRESULT write(platform::WAVEHDR* header) override;
    platform::MMRESULT pause() override;
    platform::MMRESULT restart() override;
    platform::MMRESULT reset() override;
    platform::MMRESULT unprepareHeader(platform::WAVEHDR* header) override;
    platform::MMRESULT close() override;
    platform::MMRESULT getErrorText(platform::MMRESULT code, char* text, uint32_t size) override;

    // Finishes the oldest queued buffer: its values are played and its
    // completion is posted. False while paused or empty.
    bool finishNext();
    // Finishes every queued buffer.
    size_t finishAll();

    bool isOpen() const { return open_; }
    bool isPaused() const { return paused_; }
    size_t queued() const { return queue_.size(); }
    size_t maxQueued() const { return maxQueued_; }
    const platform::WAVEFORMATEX& format() const { return format_; }

    FaultPlan faults;
    std::vector<int16_t> played;   // every value played, in order
    std::vector<uintptr_t> order;  // user data of every played buffer, in order
    int pauses = 0, restarts = 0, resets = 0;

  private:
    bool open_ = false;
    bool paused_ = false;
    size_t maxQueued_ = 0;
    platform::WAVEFORMATEX format_{};
    platform::MessageTarget* target_ = nullptr;
    std::deque<platform::WAVEHDR*> queue_;
};

}  // namespace sim
