// The menus' engine settings through the command table: every radio item
// sets its own value, the steps keep to their ends, and only toggles answer
// as toggles.
#include <gtest/gtest.h>

#include "support/engine_rig.h"
#include "ui/command_table.h"

using namespace ui;

namespace {

struct EngineSettings : ::testing::Test {
    EngineRig<> rig{11025, 0};
    CAudioEngine& e = *rig.engine;
};

TEST_F(EngineSettings, EveryRadioItemSetsItsOwnValue) {
    // Prefilter: Off, Voice, Music.
    const std::pair<uint32_t, uint32_t> prefilters[] = {{0, 0}, {1, 0}, {0, 1}};
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(applyEngineCommand(e, kPrefilterCommands[i]));
        EXPECT_EQ(e.voicePrefilterOn, prefilters[i].first) << i;
        EXPECT_EQ(e.musicPrefilterOn, prefilters[i].second) << i;
    }
    // Heterodyne: Off, 5000 Hz, Slow, Fast.
    const uint32_t modes[] = {0, 1, 20, 6};
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(applyEngineCommand(e, kHeterodyneCommands[i]));
        EXPECT_EQ(e.heterodyneMode, modes[i]) << i;
    }
    // Exponential: Off, then 0.9 down to 0.1.
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(applyEngineCommand(e, kExponentialCommands[i]));
        EXPECT_EQ(e.exponentialFactor, i == 0 ? 0.0 : engine::kExponentialFactors[10 - i]) << i;
    }
    // Noise floor: Off, 10 to 150 (the last is 2.5).
    for (int i = 0; i < 16; ++i) {
        ASSERT_TRUE(applyEngineCommand(e, kNoiseFloorCommands[i]));
        EXPECT_EQ(e.noiseFloorFactor, i == 15 ? 2.5 : i / 10.0) << i;
    }
}

TEST_F(EngineSettings, StepsOutsideTheirRangeTakeTheNearestEnd) {
    const std::pair<int, double> floors[] = {{-1, 0.0}, {0, 0.0}, {15, 2.5}, {16, 2.5}, {99, 2.5}};
    for (auto [step, factor] : floors) {
        engine::setNoiseFloor(e, 7);
        engine::setNoiseFloor(e, step);
        EXPECT_EQ(e.noiseFloorFactor, factor) << step;
    }
    const std::pair<int, double> tenths[] = {{-3, 0.0}, {0, 0.0}, {9, 0.9}, {10, 0.9}, {42, 0.9}};
    for (auto [step, factor] : tenths) {
        engine::setExponential(e, 5);
        engine::setExponential(e, step);
        EXPECT_EQ(e.exponentialFactor, factor) << step;
    }
}

TEST_F(EngineSettings, OnlyTogglesAnswerAsToggles) {
    // Every switch on: a command read as a toggle by mistake would answer true.
    for (const CommandInfo& c : kCommandTable)
        if (c.setting.kind == EngineSetting::Kind::Toggle)
            engine::setSwitch(e, static_cast<engine::Switch>(c.setting.value), true);
    for (const CommandInfo& c : kCommandTable)
        EXPECT_EQ(engineToggleState(e, c.id), c.kind == CommandKind::EngineToggle &&
                                                  c.setting.kind == EngineSetting::Kind::Toggle)
            << c.id;
    EXPECT_FALSE(engineToggleState(e, 1));  // no such command
}

}  // namespace
