// Starting and stopping audio, the same way in every program: the engine's
// start-up runs through the hidden audio window's creation at the chosen rate,
// then the input filters are designed for that rate; stopping destroys the
// window, which closes the devices. The engine and the filters belong to the
// program, which has attached the devices to the engine beforehand.
//
// The window object lives as long as the session, so a stop from inside one
// of its handlers (a message box delivers posted messages) frees nothing.
#pragma once

#include <optional>

#include "engine/audio_engine.h"
#include "engine/hidden_audio_window.h"

namespace engine {

class AudioSession {
  public:
    AudioSession(CAudioEngine& engine, InputFilters& filters)
        : engine_(engine), filters_(filters) {}

    // The timing, chosen before start: Design (the default) or Low.
    void setLatencyMode(LatencyMode mode) { mode_ = mode; }
    LatencyMode latencyMode() const { return mode_; }

    // May deliver messages (a device failure shows a box); the caller checks
    // afterwards whether its own window still exists.
    void start(int32_t rate, bool stereo) {
        startEngine(rate, stereo);
        designFilters();
    }
    // The two steps of start, for a window that does its own work between
    // them.
    void startEngine(int32_t rate, bool stereo);
    void designFilters();
    // Once; later calls do nothing.
    void stop();

    bool started() const { return window_.has_value(); }
    CAudioEngine& engine() { return engine_; }
    const HiddenAudioWindow* window() const { return window_ ? &*window_ : nullptr; }
    int32_t rate() const { return rate_; }
    bool stereo() const { return stereo_; }
    uint32_t blockLength() const { return blockLengthFor(rate_); }
    // Samples from an input sample to its output sample when the input is
    // handed over as soon as each capture buffer is complete and output is
    // taken as soon as it is played: the engine's own share of the delay,
    // before any device buffering.
    // The input stages' delay (the noise blanker's look-ahead) adds to it.
    uint32_t latency() const { return latencyFor(mode_, rate_) + engine_.inputDelay(); }
    // The samples of one capture buffer: a block, or a hop when streaming.
    uint32_t captureFrames() const { return mode_ == LatencyMode::Low ? kHop : blockLength(); }

  private:
    CAudioEngine& engine_;
    InputFilters& filters_;
    std::optional<HiddenAudioWindow> window_;
    int32_t rate_ = 0;
    bool stereo_ = false;
    bool stopped_ = false;
    LatencyMode mode_ = LatencyMode::Design;
};

}  // namespace engine
