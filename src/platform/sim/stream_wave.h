// Capture from a live stream: a queued buffer is filled only when the loop
// asks for the next block (and the source has it), the way a sound card
// fills one when its audio has arrived. Unlike the file-backed device it
// never reads ahead of the engine, so a chain of programs waits for one block
// at a time.
#pragma once

#include <vector>

#include "platform/sim/sim_wave.h"

namespace sim {

class StreamWaveIn final : public ScriptedWaveIn {
  public:
    explicit StreamWaveIn(SampleSource& source) : source_(source) {}
    // Waits for the next block from the source and completes the oldest
    // queued buffer with it. False at the end of the stream, or when nothing
    // is queued or capture is stopped.
    bool deliverNext();
    bool exhausted() const { return exhausted_; }

  private:
    SampleSource& source_;
    std::vector<int16_t> scratch_;
    bool exhausted_ = false;
};

}  // namespace sim
