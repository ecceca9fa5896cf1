#include "dsp/noise_blanker.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/cpu.h"
#include "dsp/select.h"

namespace {

constexpr int32_t kRate = 11025;
constexpr double kPi = std::numbers::pi;

struct Click {
    size_t first, last;
};

// Runs a whole signal through a fresh blanker; the output is aligned to the
// input.
std::vector<double> blank(CNoiseBlanker& b, const std::vector<double>& x) {
    std::vector<double> y(x.size());
    const size_t d = b.delay();
    for (size_t n = 0; n < x.size() + d; ++n) {
        const double v = b.process(n < x.size() ? x[n] : 0.0);
        if (n >= d) y[n - d] = v;
    }
    return y;
}

std::unique_ptr<CNoiseBlanker> blanker(int32_t rate = kRate) {
    auto b = std::make_unique<CNoiseBlanker>();
    b->configure(rate);
    return b;
}

// Voiced speech, roughly: a 130 Hz pulse train through two resonances (500 and
// 1500 Hz), in syllables of 200 ms that start abruptly, each after a pause of
// 100 ms and a 15 ms burst of noise (a plosive).
std::vector<double> speech(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<double> x(n, 0.0);
    double y1[2] = {}, y2[2] = {};
    const auto resonator = [](double f, double r, double& a1, double& a2) {
        a1 = 2 * r * std::cos(2 * kPi * f / kRate);
        a2 = -r * r;
    };
    double a11, a12, a21, a22;
    resonator(500, 0.97, a11, a12);
    resonator(1500, 0.95, a21, a22);
    const size_t syllable = kRate / 5, pause = kRate / 10, burst = kRate * 15 / 1000;
    const size_t period = kRate / 130;
    for (size_t i = 0; i < n; ++i) {
        const size_t k = i % (syllable + pause + burst);
        double v = 0.0;
        if (k >= pause && k < pause + burst) {
            v = 600.0 * noise(rng);
        } else if (k >= pause + burst) {
            const double pulse = (k - burst - pause) % period == 0 ? 4000.0 : 0.0;
            const double s1 = pulse + a11 * y1[0] + a12 * y1[1];
            y1[1] = y1[0];
            y1[0] = s1;
            const double s2 = s1 + a21 * y2[0] + a22 * y2[1];
            y2[1] = y2[0];
            y2[0] = s2;
            v = 0.02 * s2;
        }
        x[i] = v;
    }
    return x;
}

std::vector<double> hiss(size_t n, double sigma, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, sigma);
    std::vector<double> x(n);
    for (double& v : x)
        v = noise(rng);
    return x;
}

// Bursts of random sign and 0.6 to 1 of `amplitude`, 3 to 30 samples long.
std::vector<Click> addClicks(std::vector<double>& x, size_t every, double amplitude,
                             unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> size(0.6, 1.0);
    std::uniform_int_distribution<size_t> width(3, 30), jitter(0, every / 3);
    std::vector<Click> clicks;
    for (size_t at = every; at + every < x.size(); at += every) {
        const size_t first = at + jitter(rng), last = first + width(rng) - 1;
        for (size_t i = first; i <= last; ++i)
            x[i] += (rng() & 1 ? 1.0 : -1.0) * size(rng) * amplitude;
        clicks.push_back({first, last});
    }
    return clicks;
}

// Each click found to the sample; under speech a gap may also take in up to
// `early` samples before the click that the voice's model does not predict
// either (a glottal pulse just ahead of it), and in hiss `late` samples after
// it (the edge rule takes a sample some three deviations out for the
// click's: hiss holds such a sample now and then).
void expectFound(const CNoiseBlanker& b, const std::vector<Click>& clicks, size_t early = 0,
                 size_t late = 0) {
    ASSERT_EQ(b.repaired(), clicks.size());
    ASSERT_LE(clicks.size(), CNoiseBlanker::kGapLog);
    for (size_t i = 0; i < clicks.size(); ++i) {
        const CNoiseBlanker::Gap g = b.gap(static_cast<uint32_t>(clicks.size() - 1 - i));
        EXPECT_LE(g.first, clicks[i].first) << "click " << i;
        EXPECT_GE(g.first + early, clicks[i].first) << "click " << i;
        EXPECT_GE(g.last, clicks[i].last) << "click " << i;
        EXPECT_LE(g.last, clicks[i].last + late) << "click " << i;
    }
}

// Adds a click every quarter second (and 7 samples) that rings at hz,
// 12000 at its start and decaying to a twentieth over width samples.
std::vector<Click> addRings(std::vector<double>& x, int32_t rate, double hz, size_t width) {
    std::vector<Click> clicks;
    for (size_t at = rate / 4; at + rate / 4 < x.size(); at += rate / 4 + 7) {
        for (size_t i = 0; i < width; ++i)
            x[at + i] +=
                12000.0 * std::exp(-3.0 * i / width) * std::cos(2 * kPi * hz * i / rate + 1.0);
        clicks.push_back({at, at + width - 1});
    }
    return clicks;
}

// The share of the clicks' power (x less unclicked) that y keeps, in dB.
double powerLeft(const std::vector<double>& x, const std::vector<double>& y,
                 const std::vector<double>& unclicked, const std::vector<Click>& clicks) {
    double left = 0.0, power = 0.0;
    for (const Click& c : clicks)
        for (size_t i = c.first; i <= c.last; ++i) {
            left += (y[i] - unclicked[i]) * (y[i] - unclicked[i]);
            power += (x[i] - unclicked[i]) * (x[i] - unclicked[i]);
        }
    return 10 * std::log10(left / power);
}

TEST(NoiseBlanker, FindsClicksToTheSampleInHissAndUnderSpeech) {
    {
        auto b = blanker();
        std::vector<double> x = hiss(kRate * 3, 300.0, 1);
        const auto clicks = addClicks(x, kRate / 8, 12000.0, 2);
        blank(*b, x);
        expectFound(*b, clicks, 0, 1);
    }
    {
        auto b = blanker();
        std::vector<double> x = speech(kRate * 3, 3);
        const std::vector<double> h = hiss(x.size(), 100.0, 4);
        for (size_t i = 0; i < x.size(); ++i)
            x[i] += h[i];
        const auto clicks = addClicks(x, kRate / 8, 20000.0, 5);
        blank(*b, x);
        expectFound(*b, clicks, 8);
    }
}

TEST(NoiseBlanker, GivenTheClicksRepairsThoseAndNothingElse) {
    // The benchmark's measure of the repair alone: every listed click is
    // repaired over exactly its samples, the unlisted one is left.
    std::vector<double> x = speech(kRate * 2, 3);
    const std::vector<double> h = hiss(x.size(), 100.0, 4);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] += h[i];
    const std::vector<double> dry = x;
    auto clicks = addClicks(x, kRate / 8, 20000.0, 5);
    const Click unlisted = clicks.back();
    clicks.pop_back();
    std::vector<CNoiseBlanker::Gap> given;
    for (const Click& c : clicks)
        given.push_back({c.first, c.last});
    auto b = blanker();
    b->takeClicksAsGiven(given.data(), static_cast<uint32_t>(given.size()));
    const std::vector<double> y = blank(*b, x);
    expectFound(*b, clicks);
    EXPECT_LT(powerLeft(x, y, dry, clicks), -20.0);
    for (size_t i = unlisted.first; i <= unlisted.last; ++i)
        ASSERT_EQ(y[i], x[i]) << i;
}

TEST(NoiseBlanker, LeavesCleanSpeechAndAKeyedToneAloneDelayedExactly) {
    std::vector<double> x = speech(kRate * 3, 6);
    auto b = blanker();
    std::vector<double> y = blank(*b, x);
    EXPECT_EQ(b->repaired(), 0u);
    EXPECT_EQ(y, x);

    // Morse at 20 words a minute, keyed hard, over faint hiss.
    for (int32_t rate : {8000, 11025, 44100}) {
        std::vector<double> tone = hiss(static_cast<size_t>(rate) * 3, 3.0, 7);
        const size_t dot = static_cast<size_t>(rate) * 60 / 1000;
        const char* pattern = "1110101110100011101011101110000000";
        for (size_t i = 0; i < tone.size(); ++i)
            if (pattern[(i / dot) % 34] == '1')
                tone[i] += 10000.0 * std::sin(2 * kPi * 700 * i / rate);
        auto t = blanker(rate);
        y = blank(*t, tone);
        EXPECT_EQ(t->repaired(), 0u) << rate;
        EXPECT_EQ(y, tone) << rate;
    }
}

TEST(NoiseBlanker, InterpolatesAGapFromBothSides) {
    // Two tones in faint hiss; 30 samples (2.7 ms) of a click replaced.
    std::vector<double> clean = hiss(kRate, 30.0, 8);
    for (size_t i = 0; i < clean.size(); ++i)
        clean[i] += 3000.0 * std::sin(2 * kPi * 440 * i / kRate) +
                    1500.0 * std::sin(2 * kPi * 1230 * i / kRate + 1.0);
    std::vector<double> x = clean;
    for (size_t i = 5000; i < 5030; ++i)
        x[i] += (i % 2 ? 20000.0 : -20000.0);
    auto b = blanker();
    const std::vector<double> y = blank(*b, x);
    ASSERT_EQ(b->repaired(), 1u);
    double error = 0.0, power = 0.0;
    for (size_t i = 5000; i < 5030; ++i) {
        error += (y[i] - clean[i]) * (y[i] - clean[i]);
        power += clean[i] * clean[i];
    }
    EXPECT_LT(10 * std::log10(error / power), -25.0);
    // Outside the gap every sample is the input's.
    for (size_t i = 0; i < x.size(); ++i) {
        if (i < 5000 || i >= 5030) {
            ASSERT_EQ(y[i], x[i]) << i;
        }
    }
}

TEST(NoiseBlanker, FillsAGapOverAGlottalPulseWithThePulse) {
    // A click laid over a vowel's glottal pulse: a short-term model alone
    // fills the gap with a smooth curve and leaves the pulse out; the pulse
    // a period away brings it back.
    std::vector<double> clean = speech(kRate, 3);
    const std::vector<double> faint = hiss(kRate, 20.0, 4);
    for (size_t i = 0; i < clean.size(); ++i)
        clean[i] += faint[i];
    const size_t voiced = kRate / 10 + kRate * 15 / 1000, period = kRate / 130;
    double worst = -100.0;
    for (size_t pulse = 6; pulse <= 16; pulse += 5) {
        const size_t first = voiced + pulse * period - 3, last = first + 19;
        std::vector<double> x = clean;
        for (size_t i = first; i <= last; ++i)
            x[i] += (i % 3 ? 9000.0 : -9000.0);
        auto b = blanker();
        const std::vector<double> y = blank(*b, x);
        ASSERT_EQ(b->repaired(), 1u);
        double error = 0.0, power = 0.0;
        for (size_t i = first; i <= last; ++i) {
            error += (y[i] - clean[i]) * (y[i] - clean[i]);
            power += (x[i] - clean[i]) * (x[i] - clean[i]);
        }
        worst = std::max(worst, 10 * std::log10(error / power));
    }
    // The short-term model alone leaves about -33 dB here.
    EXPECT_LT(worst, -40.0);
}

TEST(NoiseBlanker, TakesOutClicksCloseTogetherAndRingingClicksAlikeHoweverRun) {
    // Under the synthetic voice: pairs of clicks 8 ms apart (the second
    // within the 20 ms the first is judged against), and clicks that ring
    // at 900 Hz as through a receiver's filters, decaying over 3 ms.
    const std::vector<double> clean = speech(kRate * 3, 9);
    std::vector<double> x = clean;
    const std::vector<double> h = hiss(x.size(), 100.0, 10);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] += h[i];
    const std::vector<double> unclicked = x;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::vector<Click> clicks;
    for (size_t at = kRate / 4; at + kRate / 4 < x.size(); at += kRate / 4) {
        const bool ringing = clicks.size() % 3 == 2;
        const size_t width = ringing ? kRate * 3 / 1000 : 12;
        for (size_t first : {at, at + (ringing ? 0 : kRate * 8 / 1000)}) {
            for (size_t i = 0; i < width; ++i)
                x[first + i] += ringing ? 15000.0 * std::exp(-3.0 * i / width) *
                                              std::cos(2 * kPi * 900 * i / kRate + 0.5)
                                        : 12000.0 * unit(rng);
            clicks.push_back({first, first + width - 1});
            if (ringing) break;
        }
    }
    auto b = blanker();
    const std::vector<double> y = blank(*b, x);
    EXPECT_EQ(b->repaired(), clicks.size());
    EXPECT_LT(powerLeft(x, y, unclicked, clicks), -20.0);

    // A block at a time, in blocks of odd lengths, gives the same samples.
    auto c = blanker();
    std::vector<double> z(x.size() + c->delay(), 0.0);
    std::copy(x.begin(), x.end(), z.begin());
    for (size_t at = 0, length = 1; at < z.size(); at += length, length = length * 7 % 509 + 1)
        c->process(z.data() + at, static_cast<uint32_t>(std::min(length, z.size() - at)));
    for (size_t i = 0; i < x.size(); ++i)
        ASSERT_EQ(z[i + c->delay()], y[i]) << i;

    // The baseline copies of the hot loops give the vector copies' samples.
    dsp::useBaselineOnly(true);
    auto d = blanker();
    const std::vector<double> baseline = blank(*d, x);
    dsp::useBaselineOnly(false);
    EXPECT_EQ(baseline, y);
}

}  // namespace

TEST(NoiseBlanker, TakesARingingClickOutPastWhereTheVoiceHidesIt) {
    // Clicks ringing at 1200 Hz for 5 ms under a loud voice: past their
    // first samples the model around predicts the ringing, and the voice
    // hides it from the test on the signal's level. Each click found
    // leaves under a hundredth of its power, over all of its length.
    std::vector<double> x = speech(kRate * 3, 12);
    const std::vector<double> h = hiss(x.size(), 100.0, 13);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = 10.0 * x[i] + h[i];
    const std::vector<double> unclicked = x;
    const std::vector<Click> clicks = addRings(x, kRate, 1200, kRate * 5 / 1000);
    auto b = blanker();
    const std::vector<double> y = blank(*b, x);
    size_t found = 0;
    for (const Click& c : clicks)
        for (uint32_t k = 0; k < b->repaired(); ++k) {
            const CNoiseBlanker::Gap g = b->gap(k);
            if (g.last < c.first || g.first > c.last) continue;
            ++found;
            EXPECT_LT(powerLeft(x, y, unclicked, {c}), -20.0) << "click at " << c.first;
        }
    EXPECT_GE(found, clicks.size() / 2);
}

TEST(NoiseBlanker, TakesOutARingPastAGapThatHoldsOnlyItsOnset) {
    // At 44100 Hz, clicks ringing at 2000 Hz for 3 ms on a loud, smooth
    // sound (noise through four low passes): the model around predicts the
    // ringing, so a gap holds only its first samples, and the ringing must
    // be followed past it (left in, more than half their power stays).
    constexpr int32_t rate = 44100;
    std::vector<double> x = hiss(rate * 2, 20000.0, 12);
    double lowPassed[4] = {};
    for (double& v : x)
        for (double& y : lowPassed)
            v = y = 0.8 * y + 0.2 * v;
    const std::vector<double> h = hiss(x.size(), 100.0, 13);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] += h[i];
    const std::vector<double> unclicked = x;
    const std::vector<Click> clicks = addRings(x, rate, 2000, rate * 3 / 1000);
    auto b = blanker(rate);
    const std::vector<double> y = blank(*b, x);
    EXPECT_LT(powerLeft(x, y, unclicked, clicks), -5.0);
}

TEST(NoiseBlanker, FindsAClickInTheOnsetThatRunsIntoIt) {
    // The noise rises tenfold at once and a click comes 4 ms later: the
    // onset is one long event reaching into the click, whose level the
    // click must not raise so far that it hides itself.
    auto b = blanker();
    std::vector<double> x = hiss(kRate * 2, 100.0, 6);
    const size_t onset = kRate;
    const std::vector<double> loud = hiss(kRate, 1000.0, 7);
    for (size_t i = onset; i < x.size(); ++i)
        x[i] = loud[i - onset];
    const Click click{onset + 44, onset + 51};
    for (size_t i = click.first; i <= click.last; ++i)
        x[i] += i % 2 ? 20000.0 : -20000.0;
    blank(*b, x);
    ASSERT_GE(b->repaired(), 1u);
    const CNoiseBlanker::Gap g = b->gap(0);
    EXPECT_LE(g.first, click.first);
    EXPECT_GE(g.last, click.last);
}

TEST(NoiseBlanker, TakesTwoClicksApartThatRunTogether) {
    // Two clicks a few samples apart make one run of errors longer than
    // the longest click; each is still found and taken out.
    auto b = blanker();
    std::vector<double> x = hiss(kRate, 100.0, 8);
    const Click clicks[2] = {{kRate / 2, kRate / 2 + 39}, {kRate / 2 + 44, kRate / 2 + 73}};
    const double sizes[2] = {20000.0, 8000.0};
    for (int c = 0; c < 2; ++c)
        for (size_t i = clicks[c].first; i <= clicks[c].last; ++i)
            x[i] += i % 2 ? sizes[c] : -sizes[c];
    blank(*b, x);
    // The first gap may reach into the second click, up to the longest.
    ASSERT_GE(b->repaired(), 2u);
    for (int c = 0; c < 2; ++c)
        for (size_t i = clicks[c].first; i <= clicks[c].last; ++i) {
            bool covered = false;
            for (uint32_t k = 0; k < b->repaired(); ++k)
                covered = covered || (b->gap(k).first <= i && i <= b->gap(k).last);
            EXPECT_TRUE(covered) << "click " << c << " sample " << i;
        }
}

TEST(NoiseBlanker, FindsAClickWithBurstsSoonAfterIt) {
    // In quiet hiss, a click and then either a louder burst of noise 10 ms
    // later that decays over 4 ms, or two more clicks 5 and 11 ms later. A
    // burst's tail dips under the hiss now and then, and what comes after a
    // dip must not count as the level the click is judged against (taken
    // so, it hides every one of these clicks; a burst's reach that leaves
    // out the model's order hides half of them). Of a cluster, the click
    // after the next must not count either (that hides most first clicks).
    for (const bool cluster : {false, true}) {
        std::vector<double> x = hiss(kRate * 3, 100.0, 14);
        std::mt19937 rng(15);
        std::normal_distribution<double> normal(0.0, 1.0);
        const size_t width = kRate * 3 / 1000, burst = kRate * 4 / 1000;
        const auto add = [&](size_t at, size_t length, double amplitude) {
            for (size_t i = 0; i < length; ++i)
                x[at + i] += amplitude * std::exp(-2.0 * i / length) * normal(rng);
        };
        std::vector<Click> clicks;
        for (size_t at = kRate / 4; at + kRate / 4 < x.size(); at += kRate / 4) {
            add(at, width, 4000.0);
            if (cluster) {
                add(at + kRate * 5 / 1000, width, 4000.0);
                add(at + kRate * 11 / 1000, width, 4000.0);
            } else {
                add(at + kRate / 100, burst, 8000.0);
            }
            clicks.push_back({at, at + width - 1});
        }
        auto b = blanker();
        blank(*b, x);
        for (const Click& c : clicks) {
            bool found = false;
            for (uint32_t k = 0; k < b->repaired(); ++k)
                found = found || (b->gap(k).first <= c.first + 2 && b->gap(k).last >= c.first);
            EXPECT_TRUE(found) << (cluster ? "cluster" : "burst") << " at " << c.first;
        }
    }
}

TEST(KthSmallest, AgreesWithNthElementOnTiesSilenceAndSortedRuns) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> small(0, 5);
    std::uniform_real_distribution<double> wide(0.0, 1000.0);
    for (uint32_t n : {1u, 2u, 17u, 40u, 220u, 376u}) {
        for (int kind = 0; kind < 4; ++kind) {
            std::vector<double> v(n);
            for (uint32_t i = 0; i < n; ++i)
                v[i] = kind == 0 ? wide(random) : kind == 1 ? small(random) : kind == 2 ? 0.0 : i;
            for (uint32_t k : {0u, n / 2, n - 1}) {
                std::vector<double> expected = v, work = v, spare(n);
                std::nth_element(expected.begin(), expected.begin() + k, expected.end());
                EXPECT_EQ(dsp::kthSmallest(work.data(), spare.data(), n, k), expected[k])
                    << "n " << n << " kind " << kind << " k " << k;
            }
        }
    }
}
