// The engine behind a plugin: the same engine, start-up, message handling and
// output pump as the other programs, fed by a host that calls with any number
// of samples. The stream gathers them into the engine's blocks and returns
// the processed samples a fixed number of frames later, whatever the call
// pattern.
#pragma once

#include <cstdint>
#include <memory>

#include "app/lv2/stream_devices.h"
#include "engine/audio_engine.h"
#include "engine/audio_session.h"
#include "engine/input_level.h"
#include "platform/host.h"

namespace lv2_plugin {

// A stream's host. Nothing may be shown from inside an audio application, so
// a message box is counted instead: one during start-up fails the
// instantiation. Completions go into the stream's own queue, not through the
// host (several instances may run in one process, each on its own audio
// thread), and the quit message has no loop to end.
class StreamHost final : public platform::Host {
  public:
    void postMessage(platform::MessageTarget*, uint32_t, uintptr_t, intptr_t) override {}
    void postQuitMessage(int) override {}
    int messageBox(platform::MessageTarget*, const std::string&, const std::string&,
                   uint32_t) override {
        ++failures;
        return platform::kIdOk;
    }
    void yieldTimeSlice() override {}

    uint32_t failures = 0;
};

class EngineStream {
  public:
    // A started engine at a rate (from engine::kMinSampleRate to
    // engine::kMaxSampleRate) in mono (1 channel) or simulated stereo (2);
    // null when the rate is not supported or the start-up failed: a device
    // or prefilter that did not come up, or any failure reported meanwhile.
    static std::unique_ptr<EngineStream> create(int32_t rate, uint32_t channels);
    ~EngineStream();
    EngineStream(const EngineStream&) = delete;
    EngineStream& operator=(const EngineStream&) = delete;

    uint32_t channels() const { return channels_; }
    // Frames from an input sample to the output sample made from it.
    uint32_t latency() const { return latency_; }
    CAudioEngine& engine() { return *engine_; }

    // Processes count frames: in is mono, out holds channels() buffers, which
    // may be the input buffer itself.
    void process(const float* in, float* const* out, uint32_t count);

  private:
    explicit EngineStream(uint32_t channels);

    uint32_t channels_;
    uint32_t latency_ = 0;
    std::unique_ptr<CAudioEngine> engine_;
    std::unique_ptr<engine::InputFilters> filters_;
    engine::PeakOnlyInputLevel level_;
    MessageQueue messages_;
    SampleFifo played_;
    StreamWaveIn in_{messages_};
    StreamWaveOut out_{messages_, played_};
    StreamHost host_;
    engine::AudioSession session_;
    int16_t block_[engine::kSlotCapacity] = {};
    uint32_t gathered_ = 0;
};

}  // namespace lv2_plugin
