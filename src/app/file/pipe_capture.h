// Capture in pipe mode: a queued buffer is filled only when the loop asks for
// the next block (and the source has it), the way a sound card fills one when
// its audio has arrived. Unlike the file-backed device it never reads ahead
// of the engine, so a chain of programs waits for one block at a time.
#pragma once

#include "platform/sim/sim_wave.h"
#include "platform/stream/stream_devices.h"

namespace file_tool {

class PipeCapture {
  public:
    PipeCapture(platform::Host& host, sim::SampleSource& source) : device(host), source_(source) {}

    // Waits for the next block from the source and completes the oldest
    // queued buffer with it (a short last block padded with zeros). False at
    // the end of the stream, or when nothing is queued or capture is stopped.
    bool deliverNext() {
        const uint32_t capacity = device.nextCapacity();
        if (exhausted_ || capacity == 0) return false;
        uint32_t got = 0;
        while (got < capacity) {
            const size_t n = source_.read(scratch_ + got, capacity - got);
            if (n == 0) break;
            got += static_cast<uint32_t>(n);
        }
        if (got == 0) {
            exhausted_ = true;
            return false;
        }
        return device.capture(scratch_, got);
    }
    bool exhausted() const { return exhausted_; }

    stream::StreamWaveIn device;

  private:
    sim::SampleSource& source_;
    int16_t scratch_[stream::kMaxBufferSamples] = {};
    bool exhausted_ = false;
};

}  // namespace file_tool
