// The engine behind a plugin: the same engine, start-up and message handling
// as the other programs, on the streaming path, fed by a host that calls with
// any number of samples. The stream gathers them into hops and returns the
// processed samples a fixed number of frames later (engine::kStreamingLatency,
// and the noise blanker's look-ahead while it is on),
// whatever the call pattern.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/audio_engine.h"
#include "engine/audio_session.h"
#include "engine/input_level.h"
#include "platform/fixed_ring.h"
#include "platform/host.h"
#include "platform/stream/stream_devices.h"

namespace lv2_plugin {

// The posted completions, delivered in order. Every buffer header is in
// flight at most once, so twice the buffer count never fills up.
class MessageQueue {
  public:
    void post(platform::MessageTarget* target, uint32_t message, platform::WAVEHDR* header);
    // Delivers messages until none is left, including those posted meanwhile.
    void deliver();
    void clear() { messages_.clear(); }

  private:
    struct Message {
        platform::MessageTarget* target;
        uint32_t message;
        platform::WAVEHDR* header;
    };
    platform::FixedRing<Message, 2 * engine::kBufferCount> messages_;
};

// A stream's host. Nothing may be shown from inside an audio application, so
// a message box is counted instead: one during start-up fails the
// instantiation. Completions go into the stream's own queue, not the process's
// (several instances may run in one process, each on its own audio thread),
// and the quit message has no loop to end.
class StreamHost final : public platform::Host {
  public:
    explicit StreamHost(MessageQueue& queue) : queue_(queue) {}
    void postMessage(platform::MessageTarget* target, uint32_t message, uintptr_t,
                     intptr_t lParam) override {
        queue_.post(target, message, reinterpret_cast<platform::WAVEHDR*>(lParam));
    }
    void postQuitMessage(int) override {}
    int messageBox(platform::MessageTarget*, const std::string&, const std::string&,
                   uint32_t) override {
        ++failures;
        return platform::kIdOk;
    }
    void yieldTimeSlice() override {}

    uint32_t failures = 0;

  private:
    MessageQueue& queue_;
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
    // Frames from an input sample to the output sample made from it: the
    // input stages' delay (the noise blanker's) adds while they are on.
    uint32_t latency() const { return latency_ + engine_->inputDelay(); }
    CAudioEngine& engine() { return *engine_; }

    // Processes count frames: in is mono, out holds channels() buffers, which
    // may be the input buffer itself.
    void process(const float* in, float* const* out, uint32_t count);

  private:
    explicit EngineStream(uint32_t channels);

    uint32_t channels_;
    uint32_t latency_ = 0;  // without the input stages' delay
    std::unique_ptr<CAudioEngine> engine_;
    std::unique_ptr<engine::InputFilters> filters_;
    engine::PeakOnlyInputLevel level_;
    MessageQueue messages_;
    StreamHost host_{messages_};
    stream::SampleFifo played_;
    stream::StreamWaveIn in_{host_};
    stream::StreamWaveOut out_{host_, played_};
    engine::AudioSession session_;
    int16_t hop_[engine::kHop] = {};
    uint32_t gathered_ = 0;
};

}  // namespace lv2_plugin
