// An engine on scripted wave devices and the simulated host, started the way
// the program starts it: by creating the hidden audio window.
#pragma once

#include <memory>
#include <vector>

#include "engine/audio_engine.h"
#include "engine/hidden_audio_window.h"
#include "platform/sim/sim_host.h"
#include "platform/sim/sim_wave.h"

template <class Engine = CAudioEngine>
class EngineRig {
  public:
    EngineRig(int32_t rate, uint32_t stereo, bool start = true)
        : engine(std::make_unique<Engine>()), filters(std::make_unique<engine::InputFilters>()) {
        platform::setHost(&host);
        engine::designInputFilters(*filters, static_cast<uint32_t>(rate));
        engine->attach(&in, &out, &level, filters.get());
        window = std::make_unique<engine::HiddenAudioWindow>(*engine, rate, stereo);
        if (start) window->create();
    }
    ~EngineRig() { platform::setHost(nullptr); }

    // Captures one block and delivers every message that follows.
    bool capture(const std::vector<int16_t>& samples) {
        if (!in.fill(samples)) return false;
        host.runUntilIdle();
        return true;
    }
    bool captureSilence() { return capture(std::vector<int16_t>(engine->blockLength, 0)); }
    // Finishes one playback buffer and delivers every message that follows.
    bool finish() {
        if (!out.finishNext()) return false;
        host.runUntilIdle();
        return true;
    }

    sim::SimHost host;
    sim::ScriptedWaveIn in;
    sim::ScriptedWaveOut out;
    engine::PeakOnlyInputLevel level;
    std::unique_ptr<Engine> engine;
    std::unique_ptr<engine::InputFilters> filters;
    std::unique_ptr<engine::HiddenAudioWindow> window;
};
