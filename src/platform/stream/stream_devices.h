// Wave devices for an engine fed from a stream instead of a sound card (a
// plugin host's run calls, a pipe). Capture fills the oldest queued buffer
// only when a block is handed to it, so it never reads ahead of the engine;
// playback hands every written buffer at once to a FIFO that the caller
// drains. Completions are posted through the host the devices are given,
// which need not be the process's (a plugin instance has its own).
// Everything is sized at construction; no call allocates.
#pragma once

#include <cstdint>

#include "platform/fixed_ring.h"
#include "platform/host.h"
#include "platform/wave.h"

namespace stream {

// The buffers the engine queues at most, and the longest of them.
inline constexpr uint32_t kMaxBuffers = 10;
inline constexpr uint32_t kMaxBufferSamples = 4096;

// Played values waiting for the host, in frames of one or two channels.
class SampleFifo {
  public:
    // Room for the zeros that set a plugin's latency (three blocks at most)
    // and the block that follows them, in two channels.
    static constexpr uint32_t kCapacity = 4 * kMaxBufferSamples * 2;

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
    explicit StreamWaveIn(platform::Host& host) : host_(host) {}
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

    // Fills the oldest queued buffer with up to its length of samples (the
    // rest with zeros) and posts its completion. False when not capturing or
    // no buffer is queued.
    bool capture(const int16_t* samples, uint32_t count);
    // The samples the next capture takes; 0 when it would take none.
    uint32_t nextCapacity() const;

  private:
    platform::Host& host_;
    platform::MessageTarget* target_ = nullptr;
    bool open_ = false;
    bool started_ = false;
    platform::FixedRing<platform::WAVEHDR*, kMaxBuffers> queued_;
};

class StreamWaveOut final : public platform::WaveOut {
  public:
    StreamWaveOut(platform::Host& host, SampleFifo& fifo) : host_(host), fifo_(fifo) {}
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
    platform::Host& host_;
    SampleFifo& fifo_;
    platform::MessageTarget* target_ = nullptr;
    bool open_ = false;
};

}  // namespace stream
