// The speech enhancement stage and the spectral filter's path through it.
//
// Noise power: each bin's periodogram is split by the probability that
// speech is present (speech assumed 15 dB above the noise when present), and
// the noise estimate follows the expected noise part by recursive averaging.
// It follows the noise through speech, falls as fast as the noise does, and
// rises within a second or two. The first frames with sound set it.
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
constexpr uint32_t kLearningFrames = 4;
constexpr double kOneFifth = 1.0 / 5.0;

}  // namespace

void resetEnhancement(Enhancement& e) {
    e.frames = 0;
    std::fill(std::begin(e.noise), std::end(e.noise), 0.0);
    std::fill(std::begin(e.presence), std::end(e.presence), 0.0);
    std::fill(std::begin(e.previous), std::end(e.previous), 0.0);
    std::memset(e.pending, 0, sizeof e.pending);
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
}

void gainPassesBaseline(Enhancement& e, const double* power, double* gains, bool track) {
    gainPasses(e, power, gains, track);
}

TARNIX_AVX2 void gainPassesAvx2(Enhancement& e, const double* power, double* gains, bool track) {
    gainPasses(e, power, gains, track);
}

}  // namespace

void enhancementGains(Enhancement& e, const double* power, double* gains) {
    constexpr uint32_t B = kEnhancedBins;
    const bool learning = e.frames < kLearningFrames;
    if (learning) {
        double total = 0.0;
        for (uint32_t k = 0; k < B; ++k)
            total += power[k];
        if (total == 0.0) {
            // Silence before the first sound teaches nothing.
            std::fill(gains, gains + B, 1.0);
            return;
        }
        // The largest of the first frames: the stream's first frames are
        // partly silence, and a noise estimate set too high falls within a
        // few frames where one set too low would rise for seconds.
        for (uint32_t k = 0; k < B; ++k)
            e.noise[k] = e.noise[k] > power[k] ? e.noise[k] : power[k];
        e.frames += 1;
    }
    if (dsp::runAvx2())
        gainPassesAvx2(e, power, gains, !learning);
    else
        gainPassesBaseline(e, power, gains, !learning);
}

}  // namespace engine

namespace {
constexpr double kOneTwelfth = 1.0 / 12.0;
constexpr double kAbsoluteGate = 200.0;
constexpr double kNeverAbove200 = 650.0;
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
    {
        const double* re = spectrumRe[w];
        const double* im = spectrumIm[w];
        double* newest = magnitude[w];
        for (uint32_t k = lo; k < hi; ++k) {
            newest[k] = std::sqrt(re[k] * re[k] + im[k] * im[k]);
            equalizerSum[k] += newest[k];
            displaySum[k] += newest[k];
        }
        if (showPeaks)
            for (uint32_t k = lo; k < hi; ++k)
                peakSpectrum[k] = peakSpectrum[k] < newest[k] ? newest[k] : peakSpectrum[k];
    }

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
    if (expandorOn) {
        double bases[engine::kBins], powers[engine::kBins];
        for (uint32_t k = lo; k < hi; ++k) {
            writes[k] = level[k] < kNeverAbove200 ? 0 : writes[k];
            bases[k] = writes[k] != 0 ? level[k] : kNeverAbove200;
        }
        dsp::powMany(bases + lo, powers + lo, hi - lo, 1.2);
        for (uint32_t k = lo; k < hi; ++k)
            level[k] = powers[k] * kOneTwelfth;
    }
    // The bins outside lo..hi take the enhancement's gain alone, so that a
    // setting that passes everything gives the input back.
    for (uint32_t k = lo; k < hi; ++k)
        gains[k] = writes[k] != 0 && level[k] > kAbsoluteGate ? level[k] / old[k] : 0.0;

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
