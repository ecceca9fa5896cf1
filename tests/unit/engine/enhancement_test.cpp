#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <random>

#include <gtest/gtest.h>

#include "dsp/spectral_gain.h"
#include "engine/settings.h"
#include "support/audio_signals.h"
#include "support/engine_rig.h"

namespace {

using signals::whiteNoise;

// Runs `input` through an engine with enhancement on, block by block, and
// returns what it played.
template <class Setup>
std::vector<int16_t> enhanced(int32_t rate, const std::vector<int16_t>& input, Setup setup) {
    EngineRig<> rig(rate, 0);
    engine::Settings s;
    s.enhancement = true;
    setup(s, *rig.engine);
    const uint32_t length = rig.engine->blockLength;
    for (size_t at = 0; at + length <= input.size(); at += length) {
        rig.capture(std::vector<int16_t>(input.begin() + at, input.begin() + at + length));
        while (rig.finish()) {
        }
    }
    return rig.out.played;
}

double power(const std::vector<int16_t>& v, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += double(v[i]) * v[i];
    return sum / double(to - from);
}

TEST(Enhancement, EveryStagePassingGivesTheInputBackWithinOneStep) {
    for (int32_t rate : {11025, 48000}) {
        const auto input = whiteNoise(size_t(rate) * 3, 7, 6000.0);
        const auto out = enhanced(rate, input, [](engine::Settings& s, CAudioEngine& e) {
            s.enhancementFloor = 0;
            s.heterodyne = engine::HeterodyneMode::Off;
            s.expandor = false;
            s.equalizer = true;  // taken out of the path by the enhancement
            s.noiseFloor = 5;    // likewise
            engine::applySettings(e, s);
            engine::applyBandPreset(e, engine::BandPreset::PassAll);
            e.setAllMinimumAmplitudes(0.1);
        });
        ASSERT_GT(out.size(), size_t(rate));
        // Output p is input p - 512; the first frames lack their predecessors.
        int worst = 0;
        for (size_t n = 512 + 768; n < out.size(); ++n)
            worst = std::max(worst, std::abs(out[n] - input[n - 512]));
        EXPECT_LE(worst, 1) << rate;
    }
}

TEST(Enhancement, NoiseAloneFallsToTheFloorWithinASecondAndAToneInItStays) {
    const int32_t rate = 11025;
    auto input = whiteNoise(size_t(rate) * 4, 3, 1000.0);
    // Switched on as the desktop's menu does it, with no other setting.
    const auto noiseOnly = enhanced(rate, input, [](engine::Settings&, CAudioEngine& e) {
        engine::setSwitch(e, engine::Switch::Enhancement, true);
    });
    const size_t second = rate + 512;
    EXPECT_GT(
        10 * std::log10(power(input, rate, 2 * rate) / power(noiseOnly, second, second + rate)),
        20.0);

    // A 1000 Hz tone switched on and off every half second, 20 dB over the noise.
    std::vector<int16_t> tone(input.size());
    for (size_t i = 0; i < input.size(); ++i) {
        const bool on = (i / (rate / 2)) % 2 == 1;
        tone[i] = on ? static_cast<int16_t>(std::lround(
                           10000.0 * std::sin(2 * std::numbers::pi * 1000.0 * i / rate)))
                     : 0;
        input[i] = static_cast<int16_t>(input[i] + tone[i]);
    }
    // The expandor, a level-dependent gain, would change the tone's level.
    const auto out = enhanced(rate, input, [](engine::Settings& s, CAudioEngine& e) {
        s.expandor = false;
        applySettings(e, s);
    });
    // In the tone's third burst (from 2.5 s), away from its edges.
    const size_t from = rate * 5 / 2 + rate / 10, to = rate * 3 - rate / 10;
    double err = 0.0, signal = 0.0;
    for (size_t n = from; n < to; ++n) {
        err += std::pow(out[n + 512] - tone[n], 2);
        signal += double(tone[n]) * tone[n];
    }
    EXPECT_GT(10 * std::log10(signal / err), 20.0);
}

TEST(Enhancement, GainFactorFollowsTheExponentialIntegral) {
    for (double v = 1.0 / 65536; v < 64.0; v *= 1.37) {
        const double exact = std::exp(-std::expint(-v) / 2);
        EXPECT_NEAR(dsp::lsaFactor(v), exact, exact * 2e-3) << v;
    }
    EXPECT_EQ(dsp::lsaFactor(1e6), 1.0);
    EXPECT_EQ(dsp::lsaFactor(1e-9), dsp::lsaFactor(1.0 / 65536));
    EXPECT_NEAR(dsp::speechPresence(1.0), 0.0748, 0.0005);
    EXPECT_EQ(dsp::speechPresence(1e9), 1.0);

    // The many-value forms (on vectors where the processor has them) give
    // the same bits, at the table's edges and beyond them too.
    std::vector<double> v = {0.0,    -1.0,  1.0 / 65536,  64.0,  32.0,
                             31.999, 1e300, std::nan(""), 1e-320};
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> exponent(-20.0, 8.0);
    for (int i = 0; i < 1000; ++i)
        v.push_back(std::exp2(exponent(rng)));
    std::vector<double> many(v.size()), more(v.size());
    dsp::lsaFactorMany(v.data(), many.data(), uint32_t(v.size()));
    dsp::speechPresenceMany(v.data(), more.data(), uint32_t(v.size()));
    for (size_t i = 0; i < v.size(); ++i) {
        EXPECT_EQ(std::bit_cast<uint64_t>(many[i]), std::bit_cast<uint64_t>(dsp::lsaFactor(v[i])))
            << v[i];
        EXPECT_EQ(std::bit_cast<uint64_t>(more[i]),
                  std::bit_cast<uint64_t>(dsp::speechPresence(v[i])))
            << v[i];
    }
}

TEST(Enhancement, AFloorOfZeroPassesEveryBinAndTheFloorBoundsTheGain) {
    engine::Enhancement e;
    std::vector<double> power(engine::kEnhancedBins), gains(engine::kEnhancedBins);
    std::mt19937 rng(1);
    std::exponential_distribution<double> periodogram(1e-6);
    for (int db : {0, 30}) {
        engine::setEnhancementFloor(e, db);
        engine::resetEnhancement(e);
        double kept = 0.0, total = 0.0, highest = 0.0;
        for (int frame = 0; frame < 100; ++frame) {
            for (auto& p : power)
                p = periodogram(rng);
            engine::enhancementGains(e, power.data(), gains.data());
            for (uint32_t k = 0; k < engine::kEnhancedBins; ++k) {
                const double g = gains[k];
                if (db == 0) {
                    ASSERT_EQ(g, 1.0);
                }
                ASSERT_GE(g, e.floorGain);
                ASSERT_LE(g, 1.0);
                if (frame >= 50) {
                    kept += g * g * power[k];
                    total += power[k];
                    highest = std::max(highest, g);
                }
            }
        }
        // Noise alone is turned down by 20 dB or more, and evenly: no lone
        // bin rises far above the rest (it would be heard as a short tone).
        if (db == 30) {
            EXPECT_LT(kept, total * 0.01);
            EXPECT_LT(highest, 0.2);
        }
    }
}

// What a stretch of the output keeps of the input's power there, in dB
// (the output lags the input by the filter's 512 samples).
double turnedDown(const std::vector<int16_t>& in, const std::vector<int16_t>& out, size_t from,
                  size_t to) {
    if (to + 512 > out.size()) ADD_FAILURE() << "the output ends at " << out.size();
    if (to + 512 > out.size()) return 0.0;
    return 10 * std::log10(power(in, from, to) / power(out, from + 512, to + 512));
}

// A voiced sound. Held: harmonics of 130 Hz at one level. Otherwise like
// speech: every 50 ms a new pitch (100-220 Hz) and a new formant (harmonics
// within 150 Hz of a frequency from 300 to 2500 Hz four times as strong),
// under syllables four times a second.
std::vector<int16_t> voiced(size_t n, int32_t rate, double amplitude, bool held) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> pitches(100.0, 220.0), formants(300.0, 2500.0);
    std::vector<int16_t> v(n);
    double phase = 0.0, pitch = 130.0, formant = 0.0;
    for (size_t i = 0; i < n; ++i) {
        if (!held && i % (size_t(rate) / 20) == 0) pitch = pitches(rng), formant = formants(rng);
        phase += 2 * std::numbers::pi * pitch / rate;
        double x = 0.0;
        for (int h = 1; h * pitch < 3500.0; ++h)
            x += std::sin(h * phase) / h * (std::fabs(h * pitch - formant) < 150.0 ? 4.0 : 1.0);
        const double t = double(i) / rate;
        const double swell = held ? 1.0 : 0.55 - 0.45 * std::cos(2 * std::numbers::pi * 4.0 * t);
        v[i] = static_cast<int16_t>(std::lround(amplitude * swell * x));
    }
    return v;
}

// The parts one after the other, and three seconds of silence to push the
// last of them through the pump.
std::vector<int16_t> joined(std::initializer_list<std::vector<int16_t>> parts) {
    std::vector<int16_t> v;
    for (const auto& p : parts)
        v.insert(v.end(), p.begin(), p.end());
    v.resize(v.size() + 3 * 48000);
    return v;
}

const auto kExpandorOff = [](engine::Settings& s, CAudioEngine& e) {
    s.expandor = false;
    applySettings(e, s);
};

TEST(EnhancementTracking, DigitalSilenceHoldsTheNoiseSoEveryOpeningIsTurnedDownAtOnce) {
    const int32_t rate = 11025;
    const size_t gap = 2 * rate, open = 3 * rate / 2;
    const auto input =
        joined({whiteNoise(open, 1, 800.0), std::vector<int16_t>(gap), whiteNoise(open, 2, 800.0),
                std::vector<int16_t>(gap), whiteNoise(open, 3, 800.0)});
    const auto out = enhanced(rate, input, kExpandorOff);
    for (size_t opening : {open + gap, 2 * (open + gap)})
        EXPECT_GT(turnedDown(input, out, opening + rate / 4, opening + rate), 15.0) << opening;
    // The silence itself comes out as silence.
    EXPECT_EQ(power(out, open + rate / 2, open + gap - rate / 2), 0.0);
}

TEST(EnhancementTracking, NoiseThatRisesOrFallsBy10DbIsFollowedWithinAQuarterSecond) {
    for (int32_t rate : {8000, 11025}) {
        const size_t step = 3 * size_t(rate), rest = 2 * size_t(rate);
        const auto input = joined(
            {whiteNoise(step, 4, 300.0), whiteNoise(rest, 5, 950.0), whiteNoise(rest, 6, 300.0)});
        const auto out = enhanced(rate, input, kExpandorOff);
        EXPECT_GT(turnedDown(input, out, step + rate / 4, step + rate), 15.0) << rate;
        EXPECT_GT(turnedDown(input, out, step + rest + rate / 4, step + rest + rate), 20.0) << rate;
    }
}

TEST(EnhancementTracking, SpeechAfterSilenceIsNotTakenForNoiseNorASustainedVowel) {
    const int32_t rate = 11025;
    // Speech that opens the stream after a digitally silent lead-in passes
    // from its first syllable on.
    const size_t lead = 2 * size_t(rate);
    const auto speech = voiced(2 * size_t(rate), rate, 2000.0, false);
    const auto input = joined({std::vector<int16_t>(lead), speech});
    const size_t end = lead + speech.size();
    const auto out = enhanced(rate, input, kExpandorOff);
    double err = 0.0;
    ASSERT_GT(out.size(), end + 512);
    for (size_t n = lead; n < end; ++n)
        err += std::pow(out[n + 512] - input[n], 2);
    EXPECT_GT(10 * std::log10(power(input, lead, end) * double(speech.size()) / err), 25.0);

    // A vowel held for a second over noise the stage has learnt keeps its
    // level: neither the rise nor the minimum search takes it for noise.
    const auto vowel = voiced(size_t(rate), rate, 3000.0, true);
    auto mixed = joined({whiteNoise(5 * size_t(rate), 8, 150.0)});
    for (size_t i = 0; i < vowel.size(); ++i)
        mixed[3 * rate + i] = static_cast<int16_t>(mixed[3 * rate + i] + vowel[i]);
    const auto kept = enhanced(rate, mixed, kExpandorOff);
    const size_t last = 4 * size_t(rate) - rate / 10;
    ASSERT_GT(kept.size(), last + 512);
    EXPECT_NEAR(10 * std::log10(power(kept, last - rate / 5 + 512, last + 512) /
                                power(mixed, last - rate / 5, last)),
                0.0, 1.0);
}

}  // namespace
