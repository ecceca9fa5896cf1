// The speech enhancement stage and the spectral filter's path through it.
//
// Noise power: each bin's periodogram is split by the probability that
// speech is present (speech assumed 15 dB above the noise when present), and
// the noise estimate follows the expected noise part by recursive averaging.
// It follows the noise through speech and falls as fast as the noise does.
// Guards keep it right where a receiver's sound changes at once:
//  - Digital silence (a closed squelch, a digital source's pause) teaches
//    nothing: the estimate is held through it, so the same noise is taken
//    out from the first frames after the squelch opens again.
//  - A stream's first frames are judged before anything is learnt: noise
//    changes little from frame to frame and sets the estimate; speech
//    changes a lot and is passed, the estimate starting far under it, so
//    that speech which opens a stream is never taken for its noise.
//  - A rise of the whole band, even across it and held for a moment, is
//    followed at once, whatever the probability of speech says (speech
//    never lifts the quietest bins evenly); and no bin's estimate stays far
//    under its least smoothed power of the last second and a half (minimum
//    statistics, as a bound), so that a rise in part of the band or a new
//    steady tone is learnt within that time.
//
// Gain: the decision-directed a priori SNR, with a weight low enough to
// follow onsets within a frame, and the log-spectral amplitude estimator;
// weighted by the probability of speech judged on five neighbouring bins,
// towards a floor it never goes under. The a priori SNR is held no lower
// than the floor's power. In a frame of noise alone the gains are then
// smoothed over neighbouring bins, so that the noise sits as an even faint
// hiss instead of flickering around the floor, which would be heard as
// warbling tones.
#include "engine/enhancement.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/cpu.h"
#include "dsp/math_functions.h"
#include "dsp/power.h"
#include "dsp/spectral_gain.h"
#include "engine/audio_engine.h"
#include "engine/filter_steps.h"

namespace engine {

namespace {
// Any slower and a rise of the noise takes seconds longer to follow.
constexpr double kNoiseSmoothing = 0.9;
// Slower than the noise, so that the frames of one word seldom reach the
// cap below: the speech does not lift the noise estimate, and clean speech
// is left less touched.
constexpr double kPresenceSmoothing = 0.95;
// A bin whose smoothed probability of speech stays above this is taken to
// hold some noise all the same, so that a rise of the noise is followed.
constexpr double kPresenceCap = 0.99;
// Lower weights follow the speech more closely within words, higher ones keep
// the noise more even. The smoothing of frames of noise below keeps the lone
// tones down, so the weight can follow the speech this closely.
constexpr double kDecisionWeight = 0.5;
// The gain takes this share of the tracked noise as the noise: a little less
// noise taken out within words, where taking it out costs speech, and the
// frames of noise alone are evened out below all the same.
constexpr double kNoiseShare = 0.85;
// A frame whose gains keep less than this share of its power is taken as
// noise alone, and the less they keep the wider its gains are smoothed over
// neighbouring bins, up to kWidestSmoothing bins either side: a lone gain
// raised by a noise outlier, which would ring on as a short tone, is spread
// out to a faint even hiss.
constexpr double kNoiseFrameShare = 0.2;
constexpr double kWidestSmoothing = 30.0;
// Below this power a bin is taken as silent (16-bit input: far below one step).
constexpr double kLeastNoise = 1.0;
constexpr double kOneFifth = 1.0 / 5.0;

// A frame whose samples' RMS is under one step is digital silence: its
// half-spectrum power (the periodic Hann window's squares sum to 3/8 of the
// frame) is below this.
constexpr double kSilentFramePower = 3.0 / 8.0 * engine::kFftSize * engine::kEnhancedBins;
// The first frames of a stream are judged before anything is learnt from
// them: how each changes from the one before tells noise from speech. Noise
// keeps its shape from frame to frame (the first frames, which reach back
// before the start, only grow as a whole), speech does not: a start where
// more than kSpeechChanges of the bins, averaged over five bins, moved by
// over 3 dB (a factor of two) against the frame's median change is speech.
// Noise moves about a quarter of them, clean speech 0.45 or more. While the
// frames are judged, those that look like noise so far (fewer than
// kNoiseSoFar moved) are taken out as noise, and speech passes.
constexpr uint32_t kJudgedFrames = 6;
// The hops one frame spans.
constexpr uint32_t kHopsPerFrame = engine::kFftSize / engine::kHop;
constexpr double kChangeFactor = 2.0;
constexpr double kSpeechChanges = 0.35;
constexpr double kNoiseSoFar = 0.3;
// A stream that opens with speech starts from this share of the quietest
// the judged frames were (speech is quieter than that only between words).
constexpr double kUnderSpeech = 0.01;
// The smoothing over frames of the power the guards look at: fast, so that a
// change is seen within a few frames.
constexpr double kGuardSmoothing = 0.5;
// The rise of the whole band: the tenth and the half percentile of the
// smoothed power over the estimate, each over its value in steady noise.
// The band has risen when the tenth is over kRiseRatio and the half no
// more than kEvenSpread times as high (in speech the quietest bins stay
// near the noise, or the spread is wide).
constexpr double kTenthInNoise = 0.33;
constexpr double kHalfInNoise = 0.82;
constexpr double kRiseRatio = 3.0;
constexpr double kEvenSpread = 1.4;
// ... and each frame's power within this factor of the last one's, so that a
// click, which is in four frames and then gone, is never taken for a rise.
constexpr double kSteadyTotal = 2.0;
// A bin's least smoothed power over the sub-windows, times this, bounds its
// estimate from below: in steady noise the least is 0.09-0.3 of the mean,
// so the bound stays under it and only a rise of several dB lifts it; a
// higher bound would also lift the estimate in clean speech.
constexpr double kMinimumBias = 1.5;
// A bin within this ratio of the tracked noise is steady.
constexpr double kSteadyRatio = 4.0;
// The time spans, in seconds.
constexpr double kGapSeconds = 0.25;
constexpr double kRiseSeconds = 0.15;
constexpr double kWindowSeconds = 0.375;

}  // namespace

void resetEnhancement(Enhancement& e) {
    e.frames = 0;
    e.silentRun = 0;
    e.changes = 0.0;
    e.riseRun = 0;
    e.windowCount = 0;
    e.windowsFilled = 0;
    std::fill(std::begin(e.noise), std::end(e.noise), 0.0);
    std::fill(std::begin(e.presence), std::end(e.presence), 0.0);
    std::fill(std::begin(e.previous), std::end(e.previous), 0.0);
    std::fill(std::begin(e.steady), std::end(e.steady), 0.0);
    std::memset(e.pending, 0, sizeof e.pending);
}

void setEnhancementRate(Enhancement& e, int32_t sampleRate) {
    const double framesPerSecond = static_cast<double>(sampleRate) / engine::kHop;
    auto frames = [&](double seconds) {
        return std::max<uint32_t>(1, static_cast<uint32_t>(seconds * framesPerSecond + 0.5));
    };
    e.gapFrames = frames(kGapSeconds);
    // Longer than a click stays in the frames.
    e.riseFrames = std::max(frames(kRiseSeconds), kHopsPerFrame + 2);
    e.windowFrames = frames(kWindowSeconds);
}

void setEnhancementFloor(Enhancement& e, int db) {
    db = std::clamp(db, 0, kMaxEnhancementFloorDb);
    e.floorGain = dsp::pow(10.0, -db / 20.0);
}

namespace {

// Frames of noise alone: each gain averaged with its neighbours up to
// `width` bins either side (fewer at the ends), the width growing as the
// share of the frame's power the gains keep falls under kNoiseFrameShare.
// `scratch` holds kEnhancedBins values.
TARNIX_INLINE void smoothNoiseFrame(const double* power, double* gains, double* scratch) {
    constexpr int32_t B = kEnhancedBins;
    double kept = 0.0, total = 0.0;
    for (int32_t k = 0; k < B; ++k) {
        kept += gains[k] * gains[k] * power[k];
        total += power[k];
    }
    if (!(kept < kNoiseFrameShare * total)) return;
    const auto width = static_cast<int32_t>(
        std::floor((1.0 - kept / (kNoiseFrameShare * total)) * kWidestSmoothing + 0.5));
    if (width == 0) return;
    std::copy(gains, gains + B, scratch);
    double sum = 0.0;
    for (int32_t k = 0; k <= width; ++k)
        sum += scratch[k];
    int32_t count = width + 1;
    for (int32_t k = 0; k < B; ++k) {
        gains[k] = sum / count;
        if (k + width + 1 < B) {
            sum += scratch[k + width + 1];
            count += 1;
        }
        if (k - width >= 0) {
            sum -= scratch[k - width];
            count -= 1;
        }
    }
}

// The passes over the bins, each short and without branches, so that the
// bins go through side by side (on vectors where the processor has them);
// the table lookups have passes of their own.
TARNIX_INLINE void gainPasses(Enhancement& e, const double* __restrict power,
                              double* __restrict gains, bool track) {
    constexpr uint32_t B = kEnhancedBins;
    const double floor = e.floorGain;
    const double leastPrior = floor * floor;
    double* __restrict noise = e.noise;
    double* __restrict presence = e.presence;
    double* __restrict previous = e.previous;
    double gamma[B], a[B], b[B], w[B];
    if (track) {
        for (uint32_t k = 0; k < B; ++k) {
            const double old = noise[k] > kLeastNoise ? noise[k] : kLeastNoise;
            a[k] = power[k] / old;
        }
        dsp::speechPresenceMany(a, b, B);
        for (uint32_t k = 0; k < B; ++k) {
            const double p = power[k];
            const double old = noise[k] > kLeastNoise ? noise[k] : kLeastNoise;
            const double smoothed =
                kPresenceSmoothing * presence[k] + (1.0 - kPresenceSmoothing) * b[k];
            presence[k] = smoothed;
            const double present =
                dsp::select((smoothed > kPresenceCap) & (b[k] > kPresenceCap), kPresenceCap, b[k]);
            const double expected = (1.0 - present) * p + present * old;
            noise[k] = kNoiseSmoothing * noise[k] + (1.0 - kNoiseSmoothing) * expected;
        }
    }
    // The decision-directed a priori SNR and its log-spectral amplitude gain.
    for (uint32_t k = 0; k < B; ++k) {
        const double share = noise[k] * kNoiseShare;
        const double n = share > kLeastNoise ? share : kLeastNoise;
        const double g = power[k] / n;
        gamma[k] = g;
        // max(g - 1, 0) in arithmetic: a comparison here is compiled into
        // a branch on the noise, which the processor cannot predict.
        const double d = g - 1.0;
        const double excess = (d + std::fabs(d)) * 0.5;
        double prior = kDecisionWeight * previous[k] + (1.0 - kDecisionWeight) * excess;
        prior = prior > leastPrior ? prior : leastPrior;
        w[k] = prior / (1.0 + prior);
        a[k] = w[k] * g;
    }
    dsp::lsaFactorMany(a, b, B);
    // Weighted by the probability of speech, judged on the bin and two
    // neighbours on either side (a harmonic of voiced speech spans about
    // four bins of the window): a lone outlier of the noise is not taken for
    // speech and does not ring on as a short tone.
    a[0] = gamma[0];
    a[1] = gamma[1];
    a[B - 2] = gamma[B - 2];
    a[B - 1] = gamma[B - 1];
    for (uint32_t k = 2; k + 2 < B; ++k)
        a[k] = (gamma[k - 2] + gamma[k - 1] + gamma[k] + gamma[k + 1] + gamma[k + 2]) * kOneFifth;
    double q[B];
    dsp::speechPresenceMany(a, q, B);
    for (uint32_t k = 0; k < B; ++k) {
        double g = w[k] * b[k];
        g = g < 1.0 ? g : 1.0;
        g = q[k] * g + (1.0 - q[k]) * floor;
        gains[k] = g > floor ? g : floor;
    }
    smoothNoiseFrame(power, gains, a);
    for (uint32_t k = 0; k < B; ++k)
        previous[k] = gains[k] * gains[k] * gamma[k];
    for (uint32_t k = 0; k < B; ++k)
        e.steady[k] = power[k] < kSteadyRatio * noise[k] ? 1.0 : 0.0;
}

void gainPassesBaseline(Enhancement& e, const double* power, double* gains, bool track) {
    gainPasses(e, power, gains, track);
}

TARNIX_AVX2 void gainPassesAvx2(Enhancement& e, const double* power, double* gains, bool track) {
    gainPasses(e, power, gains, track);
}

}  // namespace

namespace {

// Bins 2..kBins - 1, where the filter works: the guards judge the band there.
constexpr uint32_t kJudgedLow = 2;
constexpr uint32_t kJudged = engine::kBins - kJudgedLow;

// Each bin's power averaged with two neighbours on either side (fewer at
// the ends).
void averageOverFive(const double* power, double* out) {
    constexpr int32_t B = kEnhancedBins;
    for (int32_t k = 0; k < B; ++k) {
        double sum = 0.0;
        int32_t count = 0;
        for (int32_t j = k - 2; j <= k + 2; ++j) {
            if (j < 0 || j >= B) continue;
            sum += power[j];
            count += 1;
        }
        out[k] = sum / count;
    }
}

// The first frames of a stream. Noise sets the estimate to the largest of
// their powers (an estimate set too high falls within a few frames, one set
// too low would rise for seconds); speech to a small share of the quietest
// they were, so that it is not taken for noise, and the tracking then
// learns the noise between words.
void judgeStart(Enhancement& e, const double* power) {
    constexpr uint32_t B = kEnhancedBins;
    const uint32_t j = e.frames;
    double average[B];
    averageOverFive(power, average);
    if (j == 0) {
        std::copy(power, power + B, e.largest);
        std::copy(average, average + B, e.quietest);
        std::copy(average, average + B, e.lastAverage);
        std::fill(std::begin(e.noise), std::end(e.noise), 0.0);
        return;
    }
    double ratio[kJudged];
    for (uint32_t k = 0; k < kJudged; ++k) {
        const double before = e.lastAverage[k + kJudgedLow];
        ratio[k] = average[k + kJudgedLow] / (before > kLeastNoise ? before : kLeastNoise);
    }
    double middle[kJudged];
    std::copy(ratio, ratio + kJudged, middle);
    std::nth_element(middle, middle + kJudged / 2, middle + kJudged);
    const double median = middle[kJudged / 2];
    uint32_t changed = 0;
    for (uint32_t k = 0; k < kJudged; ++k)
        changed += ratio[k] > kChangeFactor * median || median > kChangeFactor * ratio[k];
    e.changes += static_cast<double>(changed) / kJudged;
    for (uint32_t k = 0; k < B; ++k) {
        e.largest[k] = power[k] > e.largest[k] ? power[k] : e.largest[k];
        e.quietest[k] = average[k] < e.quietest[k] ? average[k] : e.quietest[k];
    }
    std::copy(average, average + B, e.lastAverage);
    if (j + 1 < kJudgedFrames) {
        const bool noiseSoFar = e.changes < kNoiseSoFar * j;
        for (uint32_t k = 0; k < B; ++k)
            e.noise[k] = noiseSoFar ? e.largest[k] : 0.0;
        return;
    }
    const bool speech = e.changes > kSpeechChanges * (kJudgedFrames - 1);
    for (uint32_t k = 0; k < B; ++k)
        e.noise[k] = speech ? e.quietest[k] * kUnderSpeech : e.largest[k];
    // The frames passed while they were judged say nothing of the speech.
    std::fill(std::begin(e.previous), std::end(e.previous), 0.0);
}

// The percentiles of a frame whose band may have risen; false when it has not.
bool risenEvenly(const Enhancement& e, double& rise) {
    double ratio[kJudged];
    for (uint32_t k = 0; k < kJudged; ++k) {
        const double n = e.noise[k + kJudgedLow];
        ratio[k] = e.smoothed[k + kJudgedLow] / (n > kLeastNoise ? n : kLeastNoise);
    }
    constexpr uint32_t tenth = kJudged / 10, half = kJudged / 2;
    std::nth_element(ratio, ratio + tenth, ratio + kJudged);
    rise = ratio[tenth] / kTenthInNoise;
    std::nth_element(ratio + tenth + 1, ratio + half, ratio + kJudged);
    const double middle = ratio[half] / kHalfInNoise;
    return rise > kRiseRatio && middle < kEvenSpread * rise;
}

TARNIX_INLINE void followRise(Enhancement& e, double total) {
    const double before = e.lastTotal;
    e.lastTotal = total;
    // Most frames have a tenth of the bins or more under the rise's
    // threshold: counted first, the percentiles are needed only when the
    // band may have risen.
    constexpr double under = kRiseRatio * kTenthInNoise;
    uint64_t low = 0;
    for (uint32_t k = kJudgedLow; k < engine::kBins; ++k) {
        const double n = e.noise[k] > kLeastNoise ? e.noise[k] : kLeastNoise;
        low += e.smoothed[k] <= under * n;
    }
    const bool steadyTotal = !(total > kSteadyTotal * before || before > kSteadyTotal * total);
    double rise = 0.0;
    if (low > kJudged / 10 || !steadyTotal || !risenEvenly(e, rise)) {
        e.riseRun = 0;
        return;
    }
    e.riseLevel = rise;
    if (++e.riseRun < e.riseFrames) return;
    for (uint32_t k = 0; k < kEnhancedBins; ++k)
        e.noise[k] = (e.noise[k] > kLeastNoise ? e.noise[k] : kLeastNoise) * e.riseLevel;
    e.riseRun = 0;
}

// The minimum search over kMinimumWindows sub-windows of the smoothed power,
// a frame of silence counting as none. Once every sub-window has been
// filled, no estimate stays under the least value found times the bias:
// sound that stays, speech least of all, has its quiet moments within the
// search, so what is under every one of them is noise.
TARNIX_INLINE void searchMinimum(Enhancement& e, bool silent) {
    constexpr uint32_t B = kEnhancedBins;
    if (silent)
        std::fill(e.minimum, e.minimum + B, 0.0);
    else
        for (uint32_t k = 0; k < B; ++k)
            e.minimum[k] = e.smoothed[k] < e.minimum[k] ? e.smoothed[k] : e.minimum[k];
    if (++e.windowCount < e.windowFrames) return;
    std::copy(&e.minima[1][0], &e.minima[0][0] + kMinimumWindows * B, &e.minima[0][0]);
    std::copy(e.minimum, e.minimum + B, e.minima[kMinimumWindows - 1]);
    std::copy(e.smoothed, e.smoothed + B, e.minimum);
    e.windowCount = 0;
    if (e.windowsFilled < kMinimumWindows) e.windowsFilled += 1;
    // The least of the complete sub-windows, kept for the frames to come.
    for (uint32_t k = 0; k < B; ++k) {
        double least = e.minima[0][k];
        for (uint32_t w = 1; w < kMinimumWindows; ++w)
            least = e.minima[w][k] < least ? e.minima[w][k] : least;
        e.least[k] = least;
    }
}

TARNIX_INLINE void boundByMinimum(Enhancement& e) {
    if (e.windowsFilled < kMinimumWindows) return;
    for (uint32_t k = 0; k < kEnhancedBins; ++k) {
        const double least = e.minimum[k] < e.least[k] ? e.minimum[k] : e.least[k];
        const double bound = least * kMinimumBias;
        e.noise[k] = bound > e.noise[k] ? bound : e.noise[k];
    }
}

// The guards' passes over the bins, on vectors where the processor has them.
TARNIX_INLINE void guardPasses(Enhancement& e, const double* power, double total) {
    for (uint32_t k = 0; k < kEnhancedBins; ++k)
        e.smoothed[k] = kGuardSmoothing * e.smoothed[k] + (1.0 - kGuardSmoothing) * power[k];
    followRise(e, total);
    searchMinimum(e, false);
    boundByMinimum(e);
}

void guardPassesBaseline(Enhancement& e, const double* power, double total) {
    guardPasses(e, power, total);
}

TARNIX_AVX2 void guardPassesAvx2(Enhancement& e, const double* power, double total) {
    guardPasses(e, power, total);
}

// The frame's power, summed in four lanes.
double framePower(const double* power) {
    double lanes[4] = {};
    uint32_t k = 0;
    for (; k + 4 <= kEnhancedBins; k += 4)
        for (uint32_t j = 0; j < 4; ++j)
            lanes[j] += power[k + j];
    for (; k < kEnhancedBins; ++k)
        lanes[0] += power[k];
    return (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
}

}  // namespace

void enhancementGains(Enhancement& e, const double* power, double* gains) {
    constexpr uint32_t B = kEnhancedBins;
    const double total = framePower(power);
    if (total < kSilentFramePower) {
        // Nothing to learn from silence, and nothing to take out of it.
        if (e.silentRun < e.gapFrames) e.silentRun += 1;
        if (e.frames >= kJudgedFrames) searchMinimum(e, true);
        std::fill(gains, gains + B, 1.0);
        std::fill(std::begin(e.steady), std::end(e.steady), 0.0);
        return;
    }
    const bool again = e.silentRun >= e.gapFrames;
    e.silentRun = 0;
    const bool judging = e.frames < kJudgedFrames;
    if (judging) {
        judgeStart(e, power);
        e.frames += 1;
    }
    if (judging || again) {
        // Sound after a gap: the smoothed power and the rise start afresh;
        // the estimate is held, as the same noise is usually back.
        std::copy(power, power + B, e.smoothed);
        e.riseRun = 0;
        e.lastTotal = total;
    } else if (dsp::runAvx2()) {
        guardPassesAvx2(e, power, total);
    } else {
        guardPassesBaseline(e, power, total);
    }
    if (dsp::runAvx2())
        gainPassesAvx2(e, power, gains, !judging);
    else
        gainPassesBaseline(e, power, gains, !judging);
}

}  // namespace engine

namespace {

constexpr double kTwoThirds = 2.0 / 3.0;
}  // namespace

// The spectral filter with enhancement on. The enhancement takes the place
// of averaging, the noise-floor subtraction and the equalizer (their
// settings stay and take effect again once it is off): its noise estimate
// does the floor's work, and the equalizer's flattening would lift the
// suppressed noise in the quiet bins again. The minimum amplitudes gate on
// the input's magnitude, as the spectrum view shows it; the heterodyne
// reduction watches the input's magnitudes too, so a steady tone, which the
// tracker learns as noise, is still notched; the band mask, the expandor
// and the absolute gate work on the enhanced level.
void CAudioEngine::filterEnhanced() {
    if (dsp::runAvx2())
        filterEnhancedAvx2();
    else
        filterEnhancedBaseline();
}

void CAudioEngine::filterEnhancedBaseline() {
    filterEnhancedBody();
}

TARNIX_AVX2 void CAudioEngine::filterEnhancedAvx2() {
    filterEnhancedBody();
}

TARNIX_INLINE void CAudioEngine::filterEnhancedBody() {
    const uint32_t w = analysisSlot, f = synthesisSlot, lo = binLow, hi = binHigh;
    constexpr uint32_t N = engine::kFftSize, B = engine::kEnhancedBins;
    frameCount += 1;
    for (uint32_t k = 0; k < lo && k < binCount; ++k)
        equalizerSum[k] = displaySum[k] = 0.0;
    for (uint32_t k = hi; k < binCount; ++k)
        equalizerSum[k] = displaySum[k] = 0.0;

    // The newest frame's magnitudes, unequalized.
    engine::newestMagnitudes(spectrumRe[w], spectrumIm[w], nullptr, magnitude[w], equalizerSum,
                             displaySum, lo, hi);
    if (showPeaks) engine::keepPeaks(peakSpectrum, magnitude[w], lo, hi);

    const double* re = spectrumRe[f];
    const double* im = spectrumIm[f];
    const double* old = magnitude[f];
    double power[B], gains[B];
    for (uint32_t k = 0; k < B; ++k)
        power[k] = re[k] * re[k] + im[k] * im[k];
    engine::enhancementGains(enhancement, power, gains);

    double* level = lanes_.filterLevel;
    double* passes = lanes_.filterPasses;
    for (uint32_t k = lo; k < hi; ++k) {
        level[k] = gains[k] * old[k];
        passes[k] = old[k] > minimumAmplitude[k] ? 1.0 : 0.0;
    }
    uint64_t writes[engine::kBins];
    standingBins(passes, old, writes);
    expandorAndGate(writes, level, lo, hi);
    // The bins outside lo..hi take the enhancement's gain alone, so that a
    // setting that passes everything gives the input back.
    for (uint32_t k = lo; k < hi; ++k)
        gains[k] = writes[k] != 0 ? level[k] / old[k] : 0.0;
    if (showOutput) {
        outputFrameCount += 1;
        for (uint32_t k = lo; k < hi; ++k)
            outputSum[k] += writes[k] != 0 ? level[k] : 0.0;
    }

    // A conjugate-symmetric spectrum; in stereo each channel weighted by the comb.
    auto fill = [&](double* outRe, double* outIm, bool second) {
        for (uint32_t k = 0; k < B; ++k) {
            double g = gains[k];
            if (simulatedStereo && binFrequency[k < binCount ? k : binCount - 1] >= 200.0) {
                const double comb = static_cast<double>(k % 32);
                g = g * (second ? 32.0 - comb : comb) * (1.0 / 16.0);
            }
            outRe[k] = re[k] * g;
            outIm[k] = im[k] * g;
        }
        outIm[0] = 0.0;
        outIm[N / 2] = 0.0;
        for (uint32_t k = 1; k < N / 2; ++k) {
            outRe[N - k] = outRe[k];
            outIm[N - k] = -outIm[k];
        }
    };
    fill(synthRe, synthIm, false);
    if (simulatedStereo) fill(secondSynthRe, secondSynthIm, true);
}

// The frames of the exact synthesis are summed in floating point; the hop
// at the frame's start then has all its parts and goes out, rounded once,
// where the frame's first samples go.
void CAudioEngine::enhancedOverlapAdd(const double* first, const double* second) {
    constexpr uint32_t N = engine::kFftSize;
    const uint32_t h = hop;
    double out[2][engine::kHop];
    for (uint32_t c = 0; c < (second ? 2u : 1u); ++c) {
        double* pending = enhancement.pending[c];
        const double* frame = c == 0 ? first : second;
        // Windowed again on the way out, so that what a gain spreads past a
        // frame's edges fades instead of ending in a step; the squared
        // window's overlapped copies sum to 3/2.
        for (uint32_t i = 0; i < N; ++i)
            pending[i] += frame[i] * window[i] * kTwoThirds;
        for (uint32_t i = 0; i < h; ++i)
            out[c][i] = std::floor(pending[i] + 0.5);
        std::memmove(pending, pending + h, (N - h) * sizeof(double));
        std::fill(pending + N - h, pending + N, 0.0);
    }
    overlapAdd(out[0], second ? out[1] : nullptr, h, 1);
}
