// Simulated wave devices.
//
// Scripted devices let a test decide everything: when the capture device
// fills the next queued buffer and with what, when the playback device
// finishes a buffer, and which call fails with which code. File-backed devices
// run on their own: capture fills each queued buffer from a sample source as
// soon as it is queued (it never drops audio; it waits for buffers instead),
// and playback plays every buffer at once while not paused and hands it, in
// order, to a sample sink. Both keep the promises of the wave seam.
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

class ScriptedWaveIn : public platform::WaveIn {
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

  protected:
    void complete(platform::WAVEHDR* header);
    bool open_ = false;
    bool started_ = false;
    platform::WAVEFORMATEX format_{};
    platform::MessageTarget* target_ = nullptr;
    std::deque<platform::WAVEHDR*> queue_;
};

class ScriptedWaveOut : public platform::WaveOut {
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
    std::vector<int16_t> played;   // every value played, in order (scripted only)
    std::vector<uintptr_t> order;  // user data of every played buffer, in order (scripted only)
    int pauses = 0, restarts = 0, resets = 0;

  protected:
    virtual void play(const int16_t* values, size_t count);
    bool open_ = false;
    bool paused_ = false;
    size_t maxQueued_ = 0;
    bool recordOrder_ = true;
    platform::WAVEFORMATEX format_{};
    platform::MessageTarget* target_ = nullptr;
    std::deque<platform::WAVEHDR*> queue_;
};

// Where file-backed capture takes its samples: returns how many it wrote,
// 0 at the end of the stream.
class SampleSource {
  public:
    virtual ~SampleSource() = default;
    virtual size_t read(int16_t* samples, size_t count) = 0;
};

// Where file-backed playback hands what it played.
class SampleSink {
  public:
    virtual ~SampleSink() = default;
    virtual void write(const int16_t* values, size_t count) = 0;
};

class FileWaveIn final : public ScriptedWaveIn {
  public:
    explicit FileWaveIn(SampleSource& source) : source_(source) {}
    platform::MMRESULT addBuffer(platform::WAVEHDR* header) override;
    platform::MMRESULT start() override;
    bool exhausted() const { return exhausted_; }

  private:
    void deliver();
    SampleSource& source_;
    std::vector<int16_t> scratch_;
    bool exhausted_ = false;
};

class FileWaveOut final : public ScriptedWaveOut {
  public:
    // Records nothing per buffer, so memory stays flat on a stream of any length.
    explicit FileWaveOut(SampleSink& sink) : sink_(sink) { recordOrder_ = false; }
    platform::MMRESULT write(platform::WAVEHDR* header) override;
    platform::MMRESULT restart() override;
    // Plays whatever the device still holds, paused or not, as the sound
    // card would once the stream ends.
    size_t drain();

  private:
    void play(const int16_t* values, size_t count) override;
    SampleSink& sink_;
};

}  // namespace sim
