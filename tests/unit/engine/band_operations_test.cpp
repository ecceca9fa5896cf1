#include <gtest/gtest.h>

#include "support/engine_rig.h"

namespace {

class BandOperations : public ::testing::Test {
  protected:
    BandOperations() : rig(8000, 0) {}
    EngineRig<> rig;
    CAudioEngine& e = *rig.engine;
};

TEST_F(BandOperations, PresetsFollowStrictComparisonsAt8000Hz) {
    // Bins fall on whole frequencies at 8000 Hz: 7.8125 Hz apart.
    ASSERT_EQ(e.binFrequency[192], 1500.0);
    ASSERT_EQ(e.binFrequency[320], 2500.0);
    ASSERT_EQ(e.binFrequency[384], 3000.0);

    e.applyBandOperation(engine::kBandVoiceNarrow, 0, 0);
    EXPECT_EQ(e.bandMask[192], 1u);
    EXPECT_EQ(e.bandMask[193], 0u);
    EXPECT_EQ(e.bandMask[319], 0u);
    EXPECT_EQ(e.bandMask[320], 1u);
    EXPECT_EQ(e.bandMask[50], 0u);   // 390.6 Hz
    EXPECT_EQ(e.bandMask[511], 0u);  // never touched

    e.applyBandOperation(engine::kBandPass, 0, e.halfSize);
    e.applyBandOperation(engine::kBandStopAbove3000, 0, 0);
    EXPECT_EQ(e.bandMask[384], 0u);
    EXPECT_EQ(e.bandMask[385], 1u);
    EXPECT_EQ(e.bandMask[510], 1u);
    EXPECT_EQ(e.bandMask[511], 0u);
}

TEST_F(BandOperations, AdditivePresetsKeepTheMaskAndReplacingOnesRewriteIt) {
    e.bandMask[10] = 1;
    e.bandMask[300] = 2;
    e.applyBandOperation(engine::kBandStopAbove3000, 0, 0);
    EXPECT_EQ(e.bandMask[385], 1u);
    EXPECT_EQ(e.bandMask[10], 1u);
    EXPECT_EQ(e.bandMask[300], 2u);

    e.applyBandOperation(engine::kBandStopBelow100, 0, 0);
    EXPECT_EQ(e.bandMask[12], 1u);  // 93.75 Hz
    EXPECT_EQ(e.bandMask[13], 0u);  // 101.6 Hz

    e.applyBandOperation(engine::kBandMusicWide, 0, 0);
    EXPECT_EQ(e.bandMask[10], 1u);   // 78 Hz: stopped by the preset
    EXPECT_EQ(e.bandMask[300], 0u);  // the notch mark is overwritten
    EXPECT_EQ(e.bandMask[13], 0u);
}

TEST_F(BandOperations, PassAndStopUseHalfOpenRanges) {
    e.applyBandOperation(engine::kBandStop, 0, e.halfSize);
    for (uint32_t k = 0; k < 511; ++k)
        ASSERT_EQ(e.bandMask[k], 1u);
    e.applyBandOperation(engine::kBandPass, 100, 200);
    EXPECT_EQ(e.bandMask[99], 1u);
    EXPECT_EQ(e.bandMask[100], 0u);
    EXPECT_EQ(e.bandMask[199], 0u);
    EXPECT_EQ(e.bandMask[200], 1u);
    e.applyBandOperation(8, 0, e.halfSize);  // no such code
    e.applyBandOperation(99, 0, e.halfSize);
    EXPECT_EQ(e.bandMask[150], 0u);
    EXPECT_EQ(e.bandMask[250], 1u);
}

TEST_F(BandOperations, MinimumAmplitudesHaveAFloor) {
    EXPECT_EQ(e.minimumAmplitude[0], 1200.0);
    e.shiftAllMinimumAmplitudes(-1000.0);
    EXPECT_EQ(e.minimumAmplitude[7], 200.0);
    e.shiftAllMinimumAmplitudes(-1000.0);
    EXPECT_EQ(e.minimumAmplitude[7], 0.1);
    e.shiftAllMinimumAmplitudes(1000.0);
    EXPECT_EQ(e.minimumAmplitude[511], 1000.1);
    e.setAllMinimumAmplitudes(-5.0);
    EXPECT_EQ(e.minimumAmplitude[0], 0.1);
    e.setAllMinimumAmplitudes(1200.0);
    EXPECT_EQ(e.minimumAmplitude[511], 1200.0);
}

}  // namespace
