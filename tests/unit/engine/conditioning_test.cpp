#include <gtest/gtest.h>

#include "support/engine_rig.h"

namespace {

class Conditioning : public ::testing::Test {
  protected:
    Conditioning() : rig(11025, 0) {}
    void load(uint32_t slot, const std::vector<int16_t>& samples) {
        std::fill(std::begin(e.captureBuffers[slot]), std::end(e.captureBuffers[slot]), 0);
        std::copy(samples.begin(), samples.end(), e.captureBuffers[slot]);
    }
    EngineRig<> rig;
    CAudioEngine& e = *rig.engine;
};

TEST_F(Conditioning, OffIsAPlainConversionAndThePeakIsTheLargestSignedValue) {
    std::vector<int16_t> block(2048);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<int16_t>(int(i) * 15 - 15000);
    block[77] = -32768;
    load(4, block);
    e.inputPeak = 0;
    e.conditionInput(4);
    for (size_t i = 0; i < 4096; ++i)
        ASSERT_EQ(e.inputRing[4][i], i < 2048 ? double(block[i]) : 0.0) << i;
    EXPECT_EQ(e.inputPeak, 2047 * 15 - 15000);

    // Negative excursions never raise it.
    load(5, std::vector<int16_t>(2048, -20000));
    e.inputPeak = 0;
    e.conditionInput(5);
    EXPECT_EQ(e.inputPeak, 0);
}

TEST_F(Conditioning, ExponentialFilterResumesFromItsMemory) {
    load(0, std::vector<int16_t>(2048, 1000));
    e.exponentialFactor = 0.5;
    e.conditionInput(0);
    EXPECT_EQ(e.inputRing[0][0], 500.0);
    EXPECT_EQ(e.inputRing[0][1], 750.0);
    EXPECT_EQ(e.inputRing[0][2], 875.0);
    const double memory = rig.filters->exponentialMemory;
    EXPECT_EQ(memory, e.inputRing[0][2047]);

    e.exponentialFactor = 0.0;
    load(1, std::vector<int16_t>(2048, -4000));
    e.conditionInput(1);
    EXPECT_EQ(e.inputRing[1][0], -4000.0);
    EXPECT_EQ(rig.filters->exponentialMemory, memory);

    e.exponentialFactor = 0.5;
    load(2, std::vector<int16_t>(2048, 0));
    e.conditionInput(2);
    EXPECT_EQ(e.inputRing[2][0], 0.5 * memory);
}

TEST_F(Conditioning, VoicePrefilterSumsBothBandsAndRunsOnlyOverTheBlock) {
    std::vector<int16_t> impulse(2048, 0);
    impulse[0] = 1;
    load(3, impulse);
    e.voicePrefilterOn = 1;
    e.conditionInput(3);
    const auto& p = rig.filters->prefilters;
    for (uint32_t n = 0; n < 71; ++n) {
        const double high = n < 31 ? p.voiceHigh.pdaCoefficents[n] : 0.0;
        EXPECT_DOUBLE_EQ(e.inputRing[3][n], high + p.voiceLow.pdaCoefficents[n]) << n;
    }
    for (uint32_t n = 71; n < 2048; ++n)
        ASSERT_EQ(e.inputRing[3][n], 0.0);
    EXPECT_EQ(p.voiceLow.nPosition, 2048u % 71);
}

TEST_F(Conditioning, FiltersRunInOrderAndKeepTheirState) {
    std::vector<int16_t> block(2048);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<int16_t>((i * 977) % 8000);
    load(6, block);
    e.musicPrefilterOn = 1;
    e.lmsFilterOn = 1;
    e.linearCombinerOn = 1;
    e.conditionInput(6);

    // The same chain by hand on fresh filters.
    engine::InputFilters fresh;
    engine::designInputFilters(fresh, 11025);
    for (size_t n = 0; n < 2048; ++n) {
        double x = block[n];
        x = fresh.prefilters.music.filter(x);
        x = fresh.lms.filter(x);
        x = fresh.combiner.filter(x);
        ASSERT_EQ(e.inputRing[6][n], x) << n;
    }
    EXPECT_NE(rig.filters->lms.daLmsWeights[0], 0.0);
    e.lmsFilterOn = 0;
    const double kept = rig.filters->lms.daLmsWeights[0];
    e.conditionInput(6);
    EXPECT_EQ(rig.filters->lms.daLmsWeights[0], kept);
}

}  // namespace
