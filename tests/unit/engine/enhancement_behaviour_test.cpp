// What a listener hears of the speech enhancement together with the rest of
// the filter: the band mask, the simulated stereo comb, rounding, onsets,
// switching it off and on, the minimum-amplitude gate; and the stage's own
// start and smoothing, frame by frame.
#include <functional>

#include <gtest/gtest.h>

#include "engine/settings.h"
#include "support/audio_signals.h"
#include "support/engine_rig.h"

namespace {

using namespace signals;

constexpr int32_t kRate = 11025;
constexpr size_t kLag = engine::kPipelineDelay;  // input n comes out at n + kLag
constexpr size_t kHopSamples = engine::kHop;

using Setup = std::function<void(CAudioEngine&)>;
// Called before the block that starts at input sample `at`.
using Between = std::function<void(CAudioEngine&, size_t at)>;

// Enhancement on with the expandor off (as --enhance sets it); `setup` then
// changes what it likes.
void enhanceOnly(CAudioEngine& e) {
    engine::Settings s;
    s.enhancement = true;
    s.expandor = false;
    engine::applySettings(e, s);
}

// Plays `input` block by block (followed by enough silence to push it all
// out) and returns what was played, interleaved when `stereo`.
std::vector<int16_t> play(const std::vector<int16_t>& input, const Setup& setup,
                          uint32_t stereo = 0, const Between& between = {}) {
    EngineRig<> rig(kRate, stereo);
    enhanceOnly(*rig.engine);
    if (setup) setup(*rig.engine);
    const uint32_t length = rig.engine->blockLength;
    std::vector<int16_t> padded = input;
    padded.resize(input.size() + 8 * length);
    for (size_t at = 0; at + length <= padded.size(); at += length) {
        if (between) between(*rig.engine, at);
        EXPECT_TRUE(
            rig.capture(std::vector<int16_t>(padded.begin() + at, padded.begin() + at + length)));
        while (rig.finish()) {
        }
    }
    EXPECT_GE(rig.out.played.size(), (input.size() + kLag) * (stereo ? 2 : 1));
    return rig.out.played;
}

// The output's power over input samples [from, to), over the input's there, in dB.
double kept(const std::vector<int16_t>& in, const std::vector<int16_t>& out, size_t from,
            size_t to) {
    return db(power(out, from + kLag, to + kLag) / power(in, from, to));
}

// The frequency of bin k (its centre) at kRate.
double binHz(uint32_t k) {
    return double(k) * kRate / engine::kFftSize;
}

TEST(EnhancedFilter, StopBandsStillRemoveTheirBins) {
    // A loud tone in a stop band, starting over learnt noise; the
    // enhancement passes it (until it has stood long enough to be noise).
    const size_t n = 3 * kRate;
    const auto toneOnly = tone(n, kRate, binHz(93), 8000.0, kRate / 2);
    const auto input = mixed(whiteNoise(n, 1, 300.0), toneOnly);
    const auto passed = play(input, {});
    const auto stopped = play(input, [](CAudioEngine& e) { engine::stopBand(e, 900.0, 1100.0); });
    const auto stopAll = play(
        input, [](CAudioEngine& e) { engine::applyBandPreset(e, engine::BandPreset::StopAll); });
    const size_t from = kRate * 3 / 4, to = kRate * 3 / 2;
    EXPECT_NEAR(kept(toneOnly, passed, from, to), 0.0, 1.0);
    EXPECT_LT(kept(toneOnly, stopped, from, to), -40.0);
    EXPECT_LT(kept(toneOnly, stopAll, from, to), -40.0);
}

TEST(EnhancedFilter, SimulatedStereoGivesEachChannelItsOwnComb) {
    // Bin k goes to the first channel with weight (k % 32) / 16 and to the
    // second with (32 - k % 32) / 16: a tone at bin 100 (k % 32 = 4) is
    // mostly in the second channel, one at bin 124 (28) mostly in the first.
    const size_t n = 3 * kRate;
    for (auto [bin, firstOverSecond] : {std::pair{100u, 4.0 / 28.0}, std::pair{124u, 28.0 / 4.0}}) {
        const auto input = mixed(whiteNoise(n, 2, 100.0), tone(n, kRate, binHz(bin), 6000.0));
        for (bool enhance : {false, true}) {
            const auto out = play(
                input,
                [enhance](CAudioEngine& e) {
                    engine::setEnhancement(e, enhance);
                    engine::setSwitch(e, engine::Switch::Expandor, false);
                },
                1);
            const size_t from = 2 * (kRate + kLag), to = 2 * (2 * kRate + kLag);
            const double ratio = power(out, from, to, 2) / power(out, from + 1, to + 1, 2);
            // The window spreads the tone over its neighbours, whose weights differ.
            EXPECT_NEAR(db(ratio), 2 * db(firstOverSecond), 3.0) << bin << " " << enhance;
        }
    }
}

TEST(EnhancedFilter, EveryStagePassingKeepsTheMeanLevel) {
    // Rounded once, not truncated: over a second the output's error has no
    // bias (a half-step bias hides under a tolerance of one step).
    const auto input = whiteNoise(3 * kRate, 3, 6000.0);
    const auto out = play(input, [](CAudioEngine& e) {
        engine::setHeterodyne(e, engine::HeterodyneMode::Off);
        engine::setEnhancementFloor(e.enhancement, 0);
        engine::applyBandPreset(e, engine::BandPreset::PassAll);
        e.setAllMinimumAmplitudes(0.1);
    });
    double error = 0.0;
    for (size_t n = kRate; n < 2 * kRate; ++n)
        error += out[n + kLag] - input[n];
    EXPECT_LT(std::fabs(error / kRate), 0.05);
}

TEST(EnhancedFilter, AToneOverLearntNoiseIsAtFullLevelWithinAFewHops) {
    const size_t n = 3 * kRate, onset = 2 * kRate;
    const auto toneOnly = tone(n, kRate, 1000.0, 300.0, onset);
    const auto input = mixed(whiteNoise(n, 4, 300.0), toneOnly);
    const auto out = play(input, {});
    // The third and fourth hops after the onset, once the frames hold it whole.
    const size_t from = onset + 3 * kHopSamples, to = from + 2 * kHopSamples;
    EXPECT_NEAR(kept(toneOnly, out, from, to), 0.0, 1.5);
}

TEST(EnhancedFilter, SwitchedOffAndOnInSilenceStartsAfreshAndSilent) {
    // Loud noise with enhancement on, then off; silence, and on again in it;
    // then quiet noise and, once that is learnt, a tone far under the loud
    // noise: the stage has forgotten the loud noise and what it had pending.
    const size_t block = engine::blockLengthFor(kRate);
    const size_t loud = 4 * block, silent = 8 * block, quiet = 10 * block;
    const size_t start = loud + silent, toneFrom = kRate / 4;
    std::vector<int16_t> input = whiteNoise(loud, 5, 3000.0);
    input.resize(start);
    const auto quietTone = tone(quiet, kRate, 1000.0, 200.0, toneFrom);
    const auto tail = mixed(whiteNoise(quiet, 6, 100.0), quietTone);
    input.insert(input.end(), tail.begin(), tail.end());
    const auto out = play(input, {}, 0, [&](CAudioEngine& e, size_t at) {
        if (at == loud - block) engine::setEnhancement(e, false);
        if (at == loud + 4 * block) engine::setEnhancement(e, true);
    });
    // Silence once the last loud frame is out, until the sound comes back
    // (its first frames reach half a frame back).
    for (size_t i = loud + kLag + engine::kFftSize; i < start; ++i)
        ASSERT_EQ(out[i], 0) << i;
    std::vector<int16_t> toneAt(input.size());
    std::copy(quietTone.begin(), quietTone.end(), toneAt.begin() + long(start));
    // Within a second the tone comes out at its level, the noise turned down.
    EXPECT_NEAR(kept(toneAt, out, start + kRate / 2, start + kRate), 0.0, 1.0);
}

// Frames of a given power fed to the stage alone.
struct Stage {
    engine::Enhancement e;
    std::vector<double> gains = std::vector<double>(engine::kEnhancedBins);
    Stage() {
        engine::setEnhancementRate(e, kRate);
        engine::setEnhancementFloor(e, engine::kDefaultEnhancementFloorDb);
        engine::resetEnhancement(e);
    }
    const std::vector<double>& frame(const std::vector<double>& power) {
        engine::enhancementGains(e, power.data(), gains.data());
        return gains;
    }
};

// Noise's periodogram: each bin's power exponentially distributed around `mean`.
struct NoiseFrames {
    std::mt19937 rng{7};
    std::exponential_distribution<double> bin;
    explicit NoiseFrames(double mean) : bin(1.0 / mean) {}
    std::vector<double> next() {
        std::vector<double> p(engine::kEnhancedBins);
        for (auto& x : p)
            x = bin(rng);
        return p;
    }
};

TEST(EnhancementStart, ToneAfterTheJudgedFramesIsNotTakenForNoise) {
    // The first nine frames are judged and noise there sets the estimate; a
    // loud tone from the tenth on is sound, kept whole from its first frame.
    constexpr double kNoise = 1e6;
    constexpr uint32_t kToneBin = 100, kJudged = 9;
    Stage stage;
    NoiseFrames noise(kNoise);
    for (uint32_t f = 0; f < kJudged; ++f)
        stage.frame(noise.next());
    for (uint32_t f = 0; f < 5; ++f) {
        auto p = noise.next();
        p[kToneBin] += 1000 * kNoise;
        EXPECT_GT(stage.frame(p)[kToneBin], 0.9) << f;
    }
    EXPECT_LT(stage.e.noise[kToneBin], 10 * kNoise);
}

TEST(EnhancementStart, FlatNoiseAtTheLearntLevelGetsOneGainInEveryBin) {
    // Even noise sits as an even hiss: the gains' smoothing over neighbours
    // has no dip or bump at either end of the band.
    Stage stage;
    const std::vector<double> flat(engine::kEnhancedBins, 1e6);
    for (int f = 0; f < 40; ++f) {
        const auto& g = stage.frame(flat);
        if (f < 20) continue;
        for (uint32_t k = 0; k < engine::kEnhancedBins; ++k)
            ASSERT_NEAR(g[k], g[engine::kBins / 2], 1e-9) << "frame " << f << " bin " << k;
    }
    EXPECT_LT(stage.gains[0], 0.5);  // and it is turned down
}

TEST(EnhancedFilter, MinimumAmplitudesGateTheInputNotTheEnhancedLevel) {
    // Noise well above the minimum amplitude at the input and under it once
    // turned down still passes (turned down), as the spectrum view shows it.
    const auto input = whiteNoise(4 * kRate, 8, 1000.0);
    const auto gated = play(input, [](CAudioEngine& e) { e.setAllMinimumAmplitudes(2000.0); });
    const auto open = play(input, [](CAudioEngine& e) { e.setAllMinimumAmplitudes(0.1); });
    const size_t from = 2 * kRate + kLag, to = 3 * kRate + kLag;
    const double turnedDown = db(power(open, from, to) / power(input, from - kLag, to - kLag));
    EXPECT_LT(turnedDown, -20.0);
    EXPECT_NEAR(db(power(gated, from, to) / power(open, from, to)), 0.0, 1.0);
}

TEST(EnhancedFilter, NoiseThatRisesBy10DbIsTurnedDownBy20DbAgain) {
    const size_t step = 3 * kRate, rest = 5 * kRate;
    auto input = whiteNoise(step, 9, 300.0);
    const auto louder = whiteNoise(rest, 10, 950.0);
    input.insert(input.end(), louder.begin(), louder.end());
    const auto out = play(input, {});
    // Followed within half a second, and held there.
    EXPECT_LT(kept(input, out, step + kRate / 2, step + 5 * kRate / 2), -20.0);
}

}  // namespace
