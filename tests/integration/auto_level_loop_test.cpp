// The automatic input level closing its loop through the engine and the
// simulated card: the capture level follows the recording source's volume,
// and the engine's per-block step moves that volume.
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "mixer/level_controls.h"
#include "mixer/mixer_extend.h"
#include "platform/sim/sim_mixer.h"
#include "support/engine_rig.h"

namespace {

struct NullWindow : platform::MessageTarget {
    intptr_t handleMessage(uint32_t, uintptr_t, intptr_t) override { return 0; }
};

int32_t blockPeak(const CAudioEngine& e, uint32_t slot) {
    int32_t peak = 0;
    for (uint32_t n = 0; n < e.blockLength; ++n)
        peak = std::max<int32_t>(peak, e.captureBuffers[slot][n]);
    return peak;
}

TEST(AutoLevelLoop, CapturedPeaksSettleInTheTargetBand) {
    EngineRig<> rig(11025, 0, false);
    auto card = sim::loadSimMixer(std::string(TARNIX_FIXTURES_DIR) + "/mixer/classic.json");
    CMixerExtend mixer;
    NullWindow mainWindow;
    mixer.initialize(card.get(), &mainWindow, "Version 1.0");
    mixer.startUpAssignment();
    AutoInputLevel level(mixer);
    rig.engine->attach(&rig.in, &rig.out, &level, rig.filters.get());
    rig.in.gain = [&] { return card->recordingGain(); };
    rig.window->create();

    // A loud receiver: full-scale at full recording gain.
    std::vector<int16_t> tone(2048);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<int16_t>(32000 * std::sin(2 * std::numbers::pi * 440 * i / 11025.0));
    int32_t peak = 0;
    for (int block = 0; block < 600; ++block) {
        const uint32_t slot = block % 10;
        ASSERT_TRUE(rig.capture(tone)) << block;
        peak = blockPeak(*rig.engine, slot);
        EXPECT_EQ(rig.engine->inputPeak, 0);  // consumed every block
        while (rig.finish()) {
        }
    }
    EXPECT_GE(peak, 8881);
    EXPECT_LE(peak, 19119);
    EXPECT_EQ(level.nAutoLevelStep, 0);
    EXPECT_TRUE(rig.host.boxes.empty());
}

}  // namespace
