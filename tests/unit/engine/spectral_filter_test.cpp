#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include <gtest/gtest.h>

#include "dsp/math_functions.h"
#include "engine/constants.h"
#include "engine/settings.h"
#include "support/engine_rig.h"

namespace {

// Drives filterSpectrum frame by frame with chosen spectra, as the pipeline
// would after each forward transform.
class SpectralFilter : public ::testing::Test {
  protected:
    SpectralFilter() : rig(11025, 0) {
        e.equalizerOn = 0;  // magnitudes as given
        e.expandorOn = 0;
    }

    void frame(const std::vector<double>& magnitudes) {
        for (uint32_t k = 0; k < 1024; ++k) {
            e.spectrumRe[e.analysisSlot][k] = k < 512 ? magnitudes[k] : 0.0;
            e.spectrumIm[e.analysisSlot][k] = 0.0;
        }
        e.filterSpectrum();
        e.analysisSlot = (e.analysisSlot + 1) % 3;
        e.synthesisSlot = (e.synthesisSlot + 1) % 3;
    }
    std::vector<double> tone(uint32_t bin, double level, double floor = 0.0) {
        std::vector<double> m(512, floor);
        m[bin] = level;
        return m;
    }
    bool notched(uint32_t k) {
        for (uint32_t j = k - 2; j <= k + 2; ++j)
            if (e.bandMask[j] != 2) return false;
        return true;
    }

    EngineRig<> rig;
    CAudioEngine& e = *rig.engine;
};

TEST_F(SpectralFilter, ToneNear5000HzIsNotchedOnItsSeventhPeakFrame) {
    const uint32_t k = 464;  // 4995.7 Hz at 11025 Hz
    ASSERT_GT(e.binFrequency[k], 4900.0);
    ASSERT_LT(e.binFrequency[k], 5100.0);
    e.bandMask[k - 1] = 1;  // a user stop inside the notch
    frame(tone(k, 10000.0));
    frame(tone(k, 10000.0));  // the synthesis slot is still empty
    for (int peak = 1; peak <= 6; ++peak) {
        frame(tone(k, 10000.0));
        EXPECT_EQ(e.heterodyneCounters[k], uint32_t(peak));
        EXPECT_FALSE(notched(k + 1)) << peak;
        EXPECT_EQ(e.synthRe[k], 10000.0) << peak;  // passes with gain 1
    }
    frame(tone(k, 10000.0));
    EXPECT_EQ(e.heterodyneCounters[k], 7u);
    EXPECT_EQ(e.bandMask[k - 2], 2u);
    EXPECT_EQ(e.bandMask[k - 1], 1u);
    EXPECT_EQ(e.bandMask[k], 2u);
    EXPECT_EQ(e.bandMask[k + 2], 2u);
    EXPECT_EQ(e.synthRe[k], 0.0);

    // Two more tone frames are still to come out of the synthesis slot; then a
    // flat spectrum is no peak, the count falls back and the notch lifts at 6.
    const std::vector<double> flat(512, 5000.0);
    for (uint32_t expected : {8u, 9u, 8u, 7u}) {
        frame(flat);
        EXPECT_EQ(e.heterodyneCounters[k], expected);
        EXPECT_EQ(e.bandMask[k + 2], 2u);
    }
    frame(flat);
    EXPECT_EQ(e.heterodyneCounters[k], 6u);
    EXPECT_EQ(e.bandMask[k - 2], 0u);
    EXPECT_EQ(e.bandMask[k - 1], 1u);  // the user's stop survives the release
    EXPECT_EQ(e.bandMask[k], 0u);
    EXPECT_EQ(e.bandMask[k + 2], 0u);
}

TEST_F(SpectralFilter, CounterStopsAtOneHundredAndTheNotchLiftsOnlyAtSix) {
    const uint32_t k = 464;
    for (int n = 0; n < 2 + 120; ++n)
        frame(tone(k, 10000.0));
    EXPECT_EQ(e.heterodyneCounters[k], 100u);
    // Two tone frames are still in the pipeline; then 94 non-peak frames take
    // the count from 100 down to 6, where the notch is released.
    const std::vector<double> flat(512, 5000.0);
    int frames = 0;
    while (e.bandMask[k] == 2 && frames < 200) {
        frame(flat);
        ++frames;
    }
    EXPECT_EQ(frames, 2 + 94);
    EXPECT_EQ(e.heterodyneCounters[k], 6u);
    EXPECT_FALSE(notched(k) || e.bandMask[k + 2] == 2);
}

TEST_F(SpectralFilter, ModesSixAndTwentyWatchEveryBin) {
    const uint32_t k = 93;  // about 1000 Hz, outside the default watch
    for (int n = 0; n < 12; ++n)
        frame(tone(k, 10000.0));
    EXPECT_EQ(e.heterodyneCounters[k], 0u);

    e.heterodyneMode = 6;
    for (int n = 0; n < 7; ++n)
        frame(tone(k, 10000.0));
    EXPECT_TRUE(notched(k));

    EngineRig<> other(11025, 0);
    CAudioEngine& f = *other.engine;
    f.equalizerOn = 0;
    f.heterodyneMode = 20;
    auto run = [&](int frames) {
        for (int n = 0; n < frames; ++n) {
            for (uint32_t j = 0; j < 1024; ++j) {
                f.spectrumRe[f.analysisSlot][j] = j == k ? 10000.0 : 0.0;
                f.spectrumIm[f.analysisSlot][j] = 0.0;
            }
            f.filterSpectrum();
            f.analysisSlot = (f.analysisSlot + 1) % 3;
            f.synthesisSlot = (f.synthesisSlot + 1) % 3;
        }
    };
    run(2 + 20);
    EXPECT_EQ(f.heterodyneCounters[k], 20u);
    EXPECT_EQ(f.bandMask[k], 0u);
    run(1);
    EXPECT_EQ(f.bandMask[k], 2u);
}

TEST_F(SpectralFilter, NotchSetByABinSilencesTheTwoBelowAlreadyWritten) {
    e.heterodyneMode = 6;
    const uint32_t k = 200;
    std::vector<double> m(512, 0.0);
    m[k - 2] = m[k - 1] = m[k + 1] = 2000.0;  // pass on their own, no peaks
    m[k] = 10000.0;
    for (int n = 0; n < 2 + 6; ++n)
        frame(m);
    ASSERT_EQ(e.heterodyneCounters[k], 6u);
    EXPECT_EQ(e.synthRe[k - 2], 2000.0);
    EXPECT_EQ(e.synthIm[1023 - (k - 1)], 2000.0);
    frame(m);  // the seventh peak sets the notch
    for (uint32_t j = k - 2; j <= k + 1; ++j) {
        EXPECT_EQ(e.synthRe[j], 0.0) << j;
        EXPECT_EQ(e.synthIm[1023 - j], 0.0) << j;
    }
    EXPECT_EQ(e.heterodyneCounters[k - 1], 0u);
}

TEST_F(SpectralFilter, HeterodyneOffReleasesTheNotch) {
    e.heterodyneMode = 6;
    const uint32_t k = 200;
    for (int n = 0; n < 9; ++n)
        frame(tone(k, 10000.0));
    ASSERT_TRUE(notched(k));
    e.heterodyneMode = 0;
    frame(tone(k, 10000.0));
    EXPECT_EQ(e.heterodyneCounters[k], 0u);
    EXPECT_EQ(e.bandMask[k], 0u);
}

TEST_F(SpectralFilter, GatesPassOnlyStrictlyLargerValues) {
    e.heterodyneMode = 0;
    e.setAllMinimumAmplitudes(0.1);
    e.minimumAmplitude[100] = 5000.0;
    e.minimumAmplitude[101] = 5000.0;
    std::vector<double> m(512, 0.0);
    m[100] = 5000.0;       // equal to its minimum amplitude: silenced
    m[101] = 5000.000001;  // above: passes
    m[200] = 200.0;        // at the absolute gate: silenced
    m[201] = 200.00001;
    for (int n = 0; n < 3; ++n)
        frame(m);
    EXPECT_EQ(e.synthRe[100], 0.0);
    EXPECT_EQ(e.synthRe[101], 5000.000001);
    EXPECT_EQ(e.synthRe[200], 0.0);
    EXPECT_EQ(e.synthRe[201], 200.00001);
    // The mirror holds real and imaginary parts exchanged at 1023 - k.
    EXPECT_EQ(e.synthIm[1023 - 201], 200.00001);
    EXPECT_EQ(e.synthRe[1023 - 201], 0.0);

    // With the expandor the gate needs m^1.2 / 12 > 200, m above about 655.9.
    e.expandorOn = 1;
    m[201] = 655.0;
    m[202] = 657.0;
    for (int n = 0; n < 3; ++n)
        frame(m);
    EXPECT_EQ(e.synthRe[201], 0.0);
    EXPECT_NEAR(e.synthRe[202], std::pow(657.0, 1.2) / 12.0, 1e-9);

    // The powers below kExpandorPassesFrom are left out: exact only if every
    // magnitude below it fails the gate and it passes. The power rises with
    // m, and far from the boundary its last bit cannot cross 200, so the
    // doubles within 2^20 units of it either side settle it.
    const auto passes = [](double v) { return dsp::pow(v, 1.2) * (1.0 / 12.0) > 200.0; };
    double below = engine::kExpandorPassesFrom, above = below;
    for (int i = 0; i < (1 << 20); ++i) {
        EXPECT_TRUE(passes(above)) << std::hexfloat << above;
        below = std::nextafter(below, 0.0);
        EXPECT_FALSE(passes(below)) << std::hexfloat << below;
        above = std::nextafter(above, 1e9);
        if (HasFailure()) break;
    }
    EXPECT_FALSE(passes(640.0));
    m[201] = std::nextafter(engine::kExpandorPassesFrom, 0.0);
    m[202] = engine::kExpandorPassesFrom;
    for (int n = 0; n < 3; ++n)
        frame(m);
    EXPECT_EQ(e.synthRe[201], 0.0);
    EXPECT_GT(e.synthRe[202], 200.0);
}

TEST_F(SpectralFilter, EdgeBinsAndTheirMirrorsAreAlwaysZero) {
    e.setAllMinimumAmplitudes(0.1);
    for (double* a : {e.synthRe, e.synthIm, e.secondSynthRe, e.secondSynthIm})
        for (int k = 0; k < 1024; ++k)
            a[k] = 7.0;
    const std::vector<double> loud(512, 30000.0);
    for (int n = 0; n < 3; ++n)
        frame(loud);
    for (uint32_t j : {0u, 1u, 511u, 512u, 1022u, 1023u}) {
        EXPECT_EQ(e.synthRe[j], 0.0) << j;
        EXPECT_EQ(e.synthIm[j], 0.0) << j;
        EXPECT_EQ(e.secondSynthRe[j], 0.0) << j;
    }
    EXPECT_EQ(e.displaySum[0], 0.0);
    EXPECT_EQ(e.equalizerSum[511], 0.0);
    EXPECT_EQ(e.frameCount, 3u);
}

TEST_F(SpectralFilter, StereoCombPansByBinAndKeepsLowBinsCentred) {
    e.simulatedStereo = 1;
    e.heterodyneMode = 0;
    e.setAllMinimumAmplitudes(0.1);
    const std::vector<double> flat(512, 1000.0);
    for (int n = 0; n < 3; ++n)
        frame(flat);
    // Bin 18 lies below 200 Hz: 16 and 16.
    EXPECT_EQ(e.synthRe[18], 16 * 1000.0);
    EXPECT_EQ(e.secondSynthRe[18], 16 * 1000.0);
    // Bin 64 (k mod 32 = 0) goes entirely to the second channel.
    EXPECT_EQ(e.synthRe[64], 0.0);
    EXPECT_EQ(e.secondSynthRe[64], 32 * 1000.0);
    EXPECT_EQ(e.synthRe[95], 31 * 1000.0);
    EXPECT_EQ(e.secondSynthRe[95], 1 * 1000.0);
}

// The output's spectrum is gathered only while shown: each bin as the filter
// left it, in the input's scale; on both of the filter's paths.
TEST_F(SpectralFilter, OutputSpectrumIsWhatTheFilterLeftOnlyWhileShown) {
    e.heterodyneMode = 0;
    e.setAllMinimumAmplitudes(0.1);
    e.applyBandOperation(engine::kBandStop, 100, 110);
    std::vector<double> m(512, 1000.0);
    m[300] = 150.0;  // under the absolute gate
    for (int n = 0; n < 3; ++n)
        frame(m);
    EXPECT_EQ(e.outputFrameCount, 0u);
    EXPECT_EQ(e.outputSum[50], 0.0);

    engine::setSwitch(e, engine::Switch::ShowOutput, true);
    frame(m);
    frame(m);
    EXPECT_EQ(e.outputFrameCount, 2u);
    EXPECT_EQ(e.outputSum[50], 2000.0);  // passed unchanged: on the input's trace
    EXPECT_EQ(e.outputSum[105], 0.0);
    EXPECT_EQ(e.outputSum[300], 0.0);

    engine::setEnhancement(e, true);
    for (int n = 0; n < 3; ++n)
        frame(m);
    EXPECT_EQ(e.outputFrameCount, 5u);
    EXPECT_EQ(e.outputSum[105], 0.0);

    // Shown again later, it starts from nothing.
    engine::setSwitch(e, engine::Switch::ShowOutput, false);
    engine::setSwitch(e, engine::Switch::ShowOutput, true);
    EXPECT_EQ(e.outputFrameCount, 0u);
    EXPECT_EQ(e.outputSum[50], 0.0);
}

TEST_F(SpectralFilter, NoiseFloorSubtractsAndSilencesBelowTheEstimate) {
    e.heterodyneMode = 0;
    e.setAllMinimumAmplitudes(0.1);
    e.noiseFloorFactor = 1.0;
    const std::vector<double> steady(512, 3000.0);
    frame(steady);
    EXPECT_DOUBLE_EQ(e.floorAverage[100], 3000.0 * (1.0 / 11.0));
    for (int n = 0; n < 300; ++n)
        frame(steady);
    EXPECT_NEAR(e.floorAverage[100], 3000.0, 1e-6);
    EXPECT_EQ(e.synthRe[100], 0.0);  // m - t shrinks to nothing
}

TEST_F(SpectralFilter, AveragingSkipsSlotsThatDoNotExceedTheRunningSum) {
    e.heterodyneMode = 0;
    e.setAllMinimumAmplitudes(0.1);
    e.averagingOn = 1;
    e.magnitude[0][50] = 900.0;
    e.magnitude[1][50] = 600.0;   // not above 900: skipped
    e.magnitude[2][50] = 1000.0;  // added: 1900
    // Call the filter without a new frame in slot 0 changing bin 50.
    e.analysisSlot = 0;
    e.synthesisSlot = 1;
    e.spectrumRe[0][50] = 900.0;
    e.spectrumRe[1][50] = 600.0;
    e.filterSpectrum();
    EXPECT_DOUBLE_EQ(e.synthRe[50], 600.0 * ((1900.0 * (1.0 / 3.0)) / 600.0));
}

TEST_F(SpectralFilter, EqualizerFadesInAndShrinksOnSilence) {
    e.equalizerOn = 1;
    e.expandorOn = 1;
    const std::vector<double> steady(512, 20000.0);
    for (int n = 0; n < 8; ++n)
        frame(steady);
    for (int k = 2; k < 511; ++k)
        ASSERT_EQ(e.synthRe[k], 0.0);  // gains still 0
    e.updateEqualizer();
    // A flat spectrum: r = 509/511 for every bin, gain r/50.
    EXPECT_DOUBLE_EQ(e.equalizerGain[100], (49 * 0.0 + 509.0 / 511.0) * 0.02);
    EXPECT_EQ(e.equalizerSum[100], 0.0);

    const double before = e.equalizerGain[100];
    e.updateEqualizer();  // all sums zero
    EXPECT_DOUBLE_EQ(e.equalizerGain[100], (49 * before + 0.0) * 0.02);
    EXPECT_EQ(e.equalizerSum[100], 0.0);
}

TEST_F(SpectralFilter, EqualizerRatioIsCappedAtTwentyFive) {
    for (uint32_t k = 2; k < 511; ++k)
        e.equalizerSum[k] = 1000.0;
    e.equalizerSum[300] = 0.0;   // raised to 0.01: the ratio would be about 99600
    e.equalizerSum[301] = 40.0;  // ratio about 24.9: kept
    const double average = (507 * 1000.0 + 0.0 + 40.0) / 511;
    e.updateEqualizer();
    EXPECT_EQ(e.equalizerGain[300], (49 * 0.0 + 25.0) * 0.02);
    EXPECT_EQ(e.equalizerGain[301], (49 * 0.0 + average / 40.0) * 0.02);
    EXPECT_LT(average / 40.0, 25.0);
}

TEST(SpectralFilterFadeIn, DefaultsAreSilentFirstThenTheSoundFadesIn) {
    EngineRig<> rig(11025, 0);
    std::vector<int16_t> tone(2048);
    int peakEarly = 0, peakLate = 0;
    for (int b = 0; b < 120; ++b) {
        for (size_t i = 0; i < tone.size(); ++i)
            tone[i] = static_cast<int16_t>(
                12000 * std::sin(2 * std::numbers::pi * 700 * (b * 2048.0 + i) / 11025));
        rig.capture(tone);
        while (rig.finish()) {
        }
    }
    const auto& out = rig.out.played;
    ASSERT_GT(out.size(), 100u * 2048);
    for (size_t n = 0; n < 4 * 2048; ++n)
        peakEarly = std::max(peakEarly, std::abs(out[n]));
    for (size_t n = out.size() - 2048; n < out.size(); ++n)
        peakLate = std::max(peakLate, std::abs(out[n]));
    EXPECT_EQ(peakEarly, 0);
    EXPECT_GT(peakLate, 1000);
}

// The standing bins are worked out with the heterodyne reduction redone only
// near the bins it acts on; this holds them to the plain loop over every bin
// in rising order, through random spectra, mode changes and user masks.
class PlainStandingBins : public CAudioEngine {
  public:
    using CAudioEngine::standingBins;
    void plain(const double* passes, const double* level, uint64_t* writes) {
        const double* old = magnitude[synthesisSlot];
        for (uint32_t k = binLow; k < binHigh; ++k) {
            writes[k] = 0;
            if (passes[k] == 0.0) continue;
            if (heterodyneReduction(k, level[k])) {
                for (uint32_t j = k >= binLow + 2 ? k - 2 : binLow; j < k; ++j)
                    writes[j] = 0;
                continue;
            }
            if (bandMask[k] == 0 && old[k] != 0.0) writes[k] = ~uint64_t{0};
        }
    }
};

TEST(SpectralFilterOrder, StandingBinsMatchThePlainLoopInEveryMode) {
    EngineRig<PlainStandingBins> a(11025, 0), b(11025, 0);
    PlainStandingBins &x = *a.engine, &y = *b.engine;
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const uint32_t peaks[] = {40, 41, 200, 460, 464, 466, 470, 509};
    double passes[engine::kBins], level[engine::kBins];
    uint64_t wx[engine::kBins], wy[engine::kBins];
    for (int frame = 0; frame < 4000; ++frame) {
        const uint32_t modes[] = {1, 6, 1, 0, 20};  // "5000", fast, off and slow
        x.heterodyneMode = y.heterodyneMode = modes[frame / 150 % 5];
        if (frame % 97 == 0) {
            const uint32_t k = 2 + rng() % 508;
            x.bandMask[k] = y.bandMask[k] = x.bandMask[k] == 1 ? 0 : 1;
        }
        for (uint32_t k = 0; k < engine::kBins; ++k) {
            const bool peak = std::find(std::begin(peaks), std::end(peaks), k) != std::end(peaks);
            passes[k] = unit(rng) < (peak ? 0.9 : 0.5) ? 1.0 : 0.0;
            level[k] = (peak ? 5000.0 : 1000.0) * unit(rng);
            x.magnitude[x.synthesisSlot][k] = y.magnitude[y.synthesisSlot][k] =
                unit(rng) < 0.05 ? 0.0 : 1500.0 * unit(rng);
        }
        x.standingBins(passes, level, wx);
        y.plain(passes, level, wy);
        for (uint32_t k = x.binLow; k < x.binHigh; ++k) {
            ASSERT_EQ(wx[k], wy[k]) << "frame " << frame << " bin " << k;
            ASSERT_EQ(x.bandMask[k], y.bandMask[k]) << "frame " << frame << " bin " << k;
            ASSERT_EQ(x.heterodyneCounters[k], y.heterodyneCounters[k]) << frame << " " << k;
            ASSERT_EQ(x.synthRe[k], y.synthRe[k]) << "frame " << frame << " bin " << k;
        }
    }
}

}  // namespace
