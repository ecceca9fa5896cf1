// The low-latency streaming path where it meets the devices and the mixer:
// the automatic level sees the blocks the design's path sees, and a hop the
// playback device refuses is lost alone.
#include <gtest/gtest.h>

#include "support/audio_signals.h"
#include "support/engine_rig.h"

namespace {

constexpr int32_t kRate = 11025;
constexpr size_t kHopSamples = engine::kHop;

// Turns the recording volume down while the blocks' peaks are too high, and
// notes the volume after every block.
struct StepDownLevel final : engine::InputLevel {
    double volume = 1.0;
    std::vector<double> volumes;
    void adjustInputLevel(int32_t& peak) override {
        if (peak > 12000) volume *= 0.9;
        volumes.push_back(volume);
        peak = 0;
    }
};

// A rig started at a latency, capturing `input` in buffers of the engine's
// own length and playing everything it can after each. (One at a time: the
// simulated host is the process's.)
struct Streamed {
    EngineRig<> rig{kRate, 0, false};
    StepDownLevel level;
    explicit Streamed(engine::LatencyMode mode) {
        rig.engine->latencyMode = mode;
        rig.engine->attach(&rig.in, &rig.out, &level, rig.filters.get());
        rig.in.gain = [this] { return level.volume; };
        rig.window->create();
    }
    void play(const std::vector<int16_t>& input) {
        const size_t length = rig.engine->captureLength();
        for (size_t at = 0; at + length <= input.size(); at += length) {
            // While playback holds the ring full, capture waits at the device.
            bool taken = false;
            for (int tries = 0; !taken && tries < 3; ++tries) {
                taken = rig.capture({input.begin() + long(at), input.begin() + long(at + length)});
                while (rig.finish()) {
                }
            }
            ASSERT_TRUE(taken) << at;
        }
    }
};

TEST(StreamingPath, TheAutomaticLevelStepsOncePerBlockAsOnTheDesignsPath) {
    const auto input = signals::tone(40 * 2048, kRate, 440.0, 30000.0);
    auto volumes = [&](engine::LatencyMode mode) {
        Streamed s(mode);
        s.play(input);
        return s.level.volumes;
    };
    const auto design = volumes(engine::LatencyMode::Design);
    ASSERT_EQ(design.size(), 40u);
    EXPECT_EQ(volumes(engine::LatencyMode::Low), design);
    EXPECT_LT(design.back(), 0.5);  // the level did come down
}

TEST(StreamingPath, AHopThePlaybackDeviceRefusesIsLostAlone) {
    // Long enough for the output ring to come round to the lost hop's place
    // several times: each time it holds only what the new frames put there.
    const auto input = signals::whiteNoise(60 * 2048, 3, 3000.0);
    constexpr int kLost = 20;
    auto played = [&](bool refuse) {
        Streamed s(engine::LatencyMode::Low);
        if (refuse)
            s.rig.out.faults.fail(sim::WaveCall::AddBuffer, platform::kMmsyserrError, kLost, 1);
        s.play(input);
        EXPECT_EQ(s.rig.host.boxes.size(), refuse ? 1u : 0u);
        return s.rig.out.played;
    };
    auto expected = played(false);
    const auto got = played(true);
    ASSERT_GT(expected.size(), (kLost + 1) * kHopSamples);
    expected.erase(expected.begin() + kLost * kHopSamples,
                   expected.begin() + (kLost + 1) * kHopSamples);
    ASSERT_GE(got.size(), expected.size() - engine::kBufferCount * kHopSamples);
    for (size_t i = 0; i < got.size() && i < expected.size(); ++i)
        ASSERT_EQ(got[i], expected[i]) << "sample " << i << ", hop " << i / kHopSamples;
}

}  // namespace
