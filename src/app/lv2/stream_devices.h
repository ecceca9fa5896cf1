// Wave devices for an engine fed by a plugin host's run calls instead of a
// sound card. Capture fills the oldest queued buffer when a whole block has
// arrived; playback hands every written buffer at once to a FIFO that the run
// calls drain. Completions go into the stream's own message queue rather than
// the process's host: several plugin instances may run in one process, each
// on its own audio thread, and each delivers its messages in order itself.
// Everything is sized at construction; no call allocates.
#pragma once

#include <cstdint>

#include "engine/audio_engine.h"
#include "platform/fixed_ring.h"
#include "platform/wave.h"

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

// Played values waiting for the host, in frames of one or two channels.
class SampleFifo {
  public:
    // Room for the zeros that set the latency and the blocks that follow them.
    static constexpr uint32_t kCapacity = (engine::kBlocksNeeded + 1) * engine::kSlotCapacity * 2;

    void push(const int16_t* values, uint32_t count);
    void pushZeros(uint32_t count);
    // The next value, or 0 when none is waiting.
    int16_t pop();
    uint32_t size() const { return values_.size(); }

  private:
    platform::FixedRing<int16_t, kCapacity> values_;
};

class StreamWaveIn final : public platform::WaveIn {
  public:
    explicit StreamWaveIn(MessageQueue& queue) : queue_(queue) {}
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

    // Fills the oldest queued buffer with a whole block and posts its
    // completion. False when not capturing or no buffer is queued.
    bool capture(const int16_t* samples, uint32_t count);

  private:
    MessageQueue& queue_;
    platform::MessageTarget* target_ = nullptr;
    bool open_ = false;
    bool started_ = false;
    platform::FixedRing<platform::WAVEHDR*, engine::kBufferCount> queued_;
};

class StreamWaveOut final : public platform::WaveOut {
  public:
    StreamWaveOut(MessageQueue& queue, SampleFifo& fifo) : queue_(queue), fifo_(fifo) {}
    platform::MMRESULT open(const platform::WAVEFORMATEX& format,
                            platform::MessageTarget* callback) override;
    platform::MMRESULT prepareHeader(platform::WAVEHDR* header) override;
    platform::MMRESULT write(platform::WAVEHDR* header) override;
    // The host's calls are the clock and the FIFO is the cushion, so there is
    // nothing to pause: a buffer is played as soon as it is written.
    platform::MMRESULT pause() override;
    platform::MMRESULT restart() override;
    platform::MMRESULT reset() override;
    platform::MMRESULT unprepareHeader(platform::WAVEHDR* header) override;
    platform::MMRESULT close() override;
    platform::MMRESULT getErrorText(platform::MMRESULT code, char* text, uint32_t size) override;

  private:
    MessageQueue& queue_;
    SampleFifo& fifo_;
    platform::MessageTarget* target_ = nullptr;
    bool open_ = false;
};

}  // namespace lv2_plugin
