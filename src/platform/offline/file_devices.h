// Wave devices over a sample source and a sample sink instead of a sound
// card, for the programs that run the engine on files. They keep the
// promises of the wave seam and run on their own:
// - capture fills queued buffers from the source, either each one as soon
//   as it is queued (a file, all there at once: it never drops audio, it
//   waits for buffers instead) or one at a time when the program asks (a
//   pipe, the way a sound card fills one when its audio has arrived: it
//   never reads ahead of the engine, so a chain of programs waits for one
//   block at a time);
// - playback plays every buffer at once while not paused and hands it, in
//   order, to the sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "platform/wave.h"

namespace offline {

// Where capture takes its samples: returns how many it wrote, 0 at the end
// of the stream.
class SampleSource {
  public:
    virtual ~SampleSource() = default;
    virtual size_t read(int16_t* samples, size_t count) = 0;
};

// Where playback hands what it played.
class SampleSink {
  public:
    virtual ~SampleSink() = default;
    virtual void write(const int16_t* values, size_t count) = 0;
};

class FileWaveIn final : public platform::WaveIn {
  public:
    enum class Pacing {
        ReadAhead,  // every queued buffer is filled at once
        OnRequest,  // one buffer is filled per deliverNext()
    };
    explicit FileWaveIn(SampleSource& source, Pacing pacing = Pacing::ReadAhead)
        : source_(source), pacing_(pacing) {}

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

    // OnRequest: waits for the next block from the source and completes the
    // oldest queued buffer with it (a short last block padded with zeros).
    // False at the end of the stream, or when nothing is queued or capture
    // is stopped.
    bool deliverNext();

  private:
    bool fillOldest();
    SampleSource& source_;
    Pacing pacing_;
    std::vector<int16_t> scratch_;  // sized by the first buffer
    bool exhausted_ = false;
    bool open_ = false;
    bool started_ = false;
    platform::MessageTarget* target_ = nullptr;
    std::deque<platform::WAVEHDR*> queue_;
};

class FileWaveOut final : public platform::WaveOut {
  public:
    explicit FileWaveOut(SampleSink& sink) : sink_(sink) {}

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

    // Plays whatever the device still holds, paused or not, as the sound
    // card would once the stream ends. Returns the buffers played.
    size_t drain();

  private:
    size_t playQueued();
    SampleSink& sink_;
    bool open_ = false;
    bool paused_ = false;
    platform::MessageTarget* target_ = nullptr;
    std::deque<platform::WAVEHDR*> queue_;
};

}  // namespace offline
