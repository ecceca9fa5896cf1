// One captured block (input conditioning and processBlock): 11025 Hz mono and 44100 Hz simulated
// stereo, with the default settings and with every time-domain filter on. And a block's worth of
// hops on the streaming path, through the devices and messages as a program runs it.
#include <benchmark/benchmark.h>
#include <numbers>

#include <cmath>
#include <memory>
#include <random>
#include <string>

#include "engine/audio_engine.h"
#include "engine/hidden_audio_window.h"
#include "platform/sim/sim_host.h"
#include "platform/sim/sim_wave.h"

namespace {

struct Bench {
    Bench(int32_t rate, uint32_t stereo, bool allFilters, bool streaming = false)
        : engine(std::make_unique<CAudioEngine>()),
          filters(std::make_unique<engine::InputFilters>()),
          window(*engine, rate, stereo) {
        platform::setHost(&host);
        engine::designInputFilters(*filters, static_cast<uint32_t>(rate));
        engine->attach(&in, &out, &level, filters.get());
        if (streaming) engine->latencyMode = engine::LatencyMode::Low;
        window.create();
        if (allFilters) {
            engine->voicePrefilterOn = 1;
            engine->lmsFilterOn = 1;
            engine->linearCombinerOn = 1;
            engine->exponentialFactor = 0.5;
        }
        // Speech-like test signal: a few tones in noise, loud enough to pass the gates.
        std::mt19937 rng(3);
        std::normal_distribution<double> noise(0.0, 1500.0);
        for (uint32_t slot = 0; slot < engine::kBufferCount; ++slot)
            for (uint32_t n = 0; n < engine::kSlotCapacity; ++n) {
                const double t = (slot * engine::kSlotCapacity + n) / double(rate);
                engine->captureBuffers[slot][n] = static_cast<int16_t>(
                    6000 * std::sin(2 * std::numbers::pi * 440 * t) +
                    4000 * std::sin(2 * std::numbers::pi * 1320 * t) + noise(rng));
            }
        // Let the equalizer gains settle so that bins pass as in steady use.
        for (int i = 0; i < 60; ++i)
            streaming ? streamBlock(i % engine::kBufferCount) : step(i % engine::kBufferCount);
    }
    ~Bench() { platform::setHost(nullptr); }

    void step(uint32_t slot) {
        engine->conditionInput(slot);
        engine->inputPeak = 0;
        engine->readSlot = slot;
        engine->readNextSlot = (slot + 1) % engine::kBufferCount;
        engine->writeSlot = slot;
        engine->writeNextSlot = (slot + 1) % engine::kBufferCount;
        engine->processBlock();
        for (auto& v : engine->outputRing[slot])
            v = 0;
    }

    // A block's worth of hops from capture buffer `slot`, each played at once.
    void streamBlock(uint32_t slot) {
        for (uint32_t at = 0; at < engine->blockLength; at += engine::kHop) {
            in.fill(&engine->captureBuffers[slot][at], engine::kHop);
            host.runUntilIdle();
            out.finishAll();
            host.runUntilIdle();
        }
        out.played.clear();
        out.order.clear();
    }

    sim::SimHost host;
    sim::ScriptedWaveIn in;
    sim::ScriptedWaveOut out;
    engine::PeakOnlyInputLevel level;
    std::unique_ptr<CAudioEngine> engine;
    std::unique_ptr<engine::InputFilters> filters;
    engine::HiddenAudioWindow window;
};

void processBlock(benchmark::State& state) {
    const auto rate = static_cast<int32_t>(state.range(0));
    Bench b(rate, static_cast<uint32_t>(state.range(1)), state.range(2) != 0);
    uint32_t slot = 0;
    for (auto _ : state) {
        b.step(slot);
        slot = (slot + 1) % engine::kBufferCount;
    }
    // Compare the time per iteration with the block's own duration.
    state.SetLabel("block lasts " +
                   std::to_string(1000.0 * b.engine->blockLength / rate).substr(0, 5) + " ms");
}
BENCHMARK(processBlock)
    ->ArgNames({"rate", "stereo", "filters"})
    ->Args({11025, 0, 0})
    ->Args({11025, 0, 1})
    ->Args({44100, 1, 0})
    ->Args({44100, 1, 1})
    ->Unit(benchmark::kMicrosecond);

void streamBlock(benchmark::State& state) {
    const auto rate = static_cast<int32_t>(state.range(0));
    Bench b(rate, static_cast<uint32_t>(state.range(1)), state.range(2) != 0, true);
    uint32_t slot = 0;
    for (auto _ : state) {
        b.streamBlock(slot);
        slot = (slot + 1) % engine::kBufferCount;
    }
    state.SetLabel("block lasts " +
                   std::to_string(1000.0 * b.engine->blockLength / rate).substr(0, 5) + " ms");
}
BENCHMARK(streamBlock)
    ->ArgNames({"rate", "stereo", "filters"})
    ->Args({11025, 0, 0})
    ->Args({44100, 1, 0})
    ->Args({44100, 1, 1})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
