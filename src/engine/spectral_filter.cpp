// The frequency-domain noise reduction: each bin of the frame two hops back
// keeps its phase and gets a processed magnitude (averaging, noise-floor
// subtraction, minimum-amplitude gate, steady-tone notch, band mask, expandor,
// absolute gate), written for one channel or for two with the stereo comb.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "dsp/cpu.h"
#include "dsp/power.h"
#include "engine/audio_engine.h"
#include "engine/filter_steps.h"
#include "engine/settings.h"

namespace {
constexpr double kOneThird = 1.0 / 3.0;
constexpr double kOneEleventh = 1.0 / 11.0;
constexpr double kPeakRatio = 1.5;
constexpr uint32_t kCounterLimit = 100;
constexpr uint32_t kMaskStop = 1;
constexpr uint32_t kMaskNotch = 2;
constexpr uint32_t kWindowMode = static_cast<uint32_t>(engine::HeterodyneMode::Window5000);

// Whether a bin lies strictly inside the 5000 Hz mode's window.
inline bool inWindow(double f) {
    return engine::kHeterodyneWindowLowHz < f && f < engine::kHeterodyneWindowHighHz;
}

// `value` where the mask is all ones, 0.0 where it is zero: a select done on
// the bits, which the compiler takes on vectors where a branch would stop it.
TARNIX_INLINE double kept(double value, uint64_t mask) {
    return std::bit_cast<double>(std::bit_cast<uint64_t>(value) & mask);
}

// All ones for true, 0 for false.
TARNIX_INLINE uint64_t ones(bool b) {
    return uint64_t{0} - b;
}

// a where c holds, else b: chosen on the bits, both already computed, so
// that the compiler keeps the loop on vectors (a sum or product it would have
// to compute on one side of a branch only stops it).
TARNIX_INLINE double chosen(bool c, double a, double b) {
    const uint64_t m = ones(c);
    return std::bit_cast<double>((std::bit_cast<uint64_t>(a) & m) |
                                 (std::bit_cast<uint64_t>(b) & ~m));
}
}  // namespace

inline void CAudioEngine::silenceBin(uint32_t j) {
    const uint32_t mirror = indexMask - j;
    synthRe[j] = 0.0;
    synthIm[j] = 0.0;
    synthRe[mirror] = 0.0;
    synthIm[mirror] = 0.0;
    secondSynthRe[j] = 0.0;
    secondSynthIm[j] = 0.0;
    secondSynthRe[mirror] = 0.0;
    secondSynthIm[mirror] = 0.0;
}

inline void CAudioEngine::releaseNotch(uint32_t k) {
    for (uint32_t j = k - 2; j <= k + 2; ++j)
        if (j < binCount && bandMask[j] == kMaskNotch) bandMask[j] = 0;
}

// Returns true when the bin was silenced and its work ends.
bool CAudioEngine::heterodyneReduction(uint32_t k, double m) {
    const bool watched = heterodyneMode > kWindowMode ||
                         (heterodyneMode == kWindowMode && inWindow(binFrequency[k]));
    if (!watched) {
        if (heterodyneCounters[k] != 0) {
            heterodyneCounters[k] = 0;
            releaseNotch(k);
        }
        return false;
    }
    const uint32_t threshold =
        heterodyneMode == kWindowMode ? engine::kHeterodyneWindowFrames : heterodyneMode;
    const double* stored = magnitude[synthesisSlot];
    const double below = k >= 2 ? stored[k - 2] : 0.0;
    const double above = k + 2 < binCount ? stored[k + 2] : 0.0;
    // With enhancement on, a peak counts only where the bin stays near the
    // tracked noise: a steady tone, not a harmonic of voiced speech.
    const bool steady = enhancement.on == 0 || enhancement.steady[k] != 0.0;
    if (steady && m > kPeakRatio * below && m > kPeakRatio * above) {
        if (heterodyneCounters[k] != kCounterLimit) heterodyneCounters[k] += 1;
    } else if (heterodyneCounters[k] != 0) {
        heterodyneCounters[k] -= 1;
    }
    if (heterodyneCounters[k] > threshold) {
        for (uint32_t j = k - 2; j <= k + 2; ++j) {
            if (j >= binCount) continue;
            if (bandMask[j] == 0) bandMask[j] = kMaskNotch;
            silenceBin(j);
        }
        return true;
    }
    if (heterodyneCounters[k] == threshold) releaseNotch(k);
    return false;
}

// Output writing for every processed bin at once: a bin whose mask in
// `writes` is all ones gets the gain level over its own magnitude (in stereo weighted by the
// comb), every other bin is silenced. The bins do not depend on each other
// here, so the loops run on vectors.
TARNIX_INLINE void CAudioEngine::writeOutputs(const uint64_t* writes, const double* level) {
    const uint32_t lo = binLow, hi = binHigh, f = synthesisSlot;
    const double* __restrict old = magnitude[f];
    const double* __restrict re = spectrumRe[f];
    const double* __restrict im = spectrumIm[f];
    const uint64_t one = std::bit_cast<uint64_t>(1.0);
    double gain[engine::kBins], second[engine::kBins];
    for (uint32_t k = lo; k < hi; ++k) {
        // A silenced bin divides by 1.0 instead; its gain is dropped.
        const uint64_t w = writes[k];
        const double d = std::bit_cast<double>((std::bit_cast<uint64_t>(old[k]) & w) | (one & ~w));
        gain[k] = kept(level[k] / d, w);
    }
    if (simulatedStereo) {
        for (uint32_t k = lo; k < hi; ++k) {
            const double g = gain[k];
            const int32_t comb = static_cast<int32_t>(k % 32);
            const double low = 16 * g, first = comb * g, other = (32 - comb) * g;
            const bool under = binFrequency[k] < 200.0;
            gain[k] = chosen(under, low, first);
            second[k] = chosen(under, low, other);
        }
    }
    const int32_t mirror = static_cast<int32_t>(indexMask);
    auto fill = [&](double* __restrict outRe, double* __restrict outIm, const double* g) {
        for (int32_t k = lo; k < static_cast<int32_t>(hi); ++k) {
            outRe[k] = kept(re[k] * g[k], writes[k]);
            outIm[k] = kept(im[k] * g[k], writes[k]);
        }
        // The mirror half at 1023 - k, real and imaginary parts exchanged.
        for (int32_t k = lo; k < static_cast<int32_t>(hi); ++k) {
            outRe[mirror - k] = kept(im[k] * g[k], writes[k]);
            outIm[mirror - k] = kept(re[k] * g[k], writes[k]);
        }
    };
    fill(synthRe, synthIm, gain);
    // In mono the second channel is never played, and a stereo frame writes
    // every one of its values, so it is left alone here.
    if (simulatedStereo) fill(secondSynthRe, secondSynthIm, second);
}

// Which bins of the filter slot stand after the band mask and heterodyne
// reduction: all ones in `writes` for those, 0 for the others.
void CAudioEngine::standingBins(const double* passes, const double* level, uint64_t* writes) {
    standingBinsBody(passes, level, writes);
}

TARNIX_INLINE void CAudioEngine::standingBinsBody(const double* passes, const double* level,
                                                  uint64_t* writes) {
    const uint32_t lo = binLow, hi = binHigh;
    const double* __restrict old = magnitude[synthesisSlot];
    // A bin stands when it passed, is not masked and had a magnitude two hops
    // back; a standing bin gets a mask of all ones in `writes`.
    // (The mask is compared as a double so that every operand has 64 bits
    // and the loop takes vectors.)
    for (uint32_t k = lo; k < hi; ++k) {
        const double masked = bandMask[k];
        writes[k] = ones(passes[k] != 0.0) & ones(old[k] != 0.0) & ones(masked == 0.0);
    }

    // Heterodyne reduction runs in rising order on the bins that passed. It
    // acts on a bin it watches or whose count is left from another setting:
    // it changes the masks up to two bins either side and may silence the two
    // bins below. A bin further than two above any such bin sees none of it
    // in time, so only runs from each acting bin to two past the last one
    // within reach are redone here, in order.
    // (Tested in this order so that the branches follow the few watched
    // bins, not the noise in `passes`.)
    const auto acts = [&](uint32_t k) {
        return (heterodyneCounters[k] != 0 || heterodyneMode > kWindowMode ||
                (heterodyneMode == kWindowMode && inWindow(binFrequency[k]))) &&
               passes[k] != 0.0;
    };
    // Only the watched bins can act, unless a count is left somewhere.
    uint32_t first = lo, last = lo;
    if (heterodyneMode > kWindowMode) {
        last = hi;
    } else if (heterodyneMode == kWindowMode) {
        // The bin frequencies rise through the half spectrum.
        const double* f = binFrequency;
        first = static_cast<uint32_t>(
            std::partition_point(f + lo, f + hi,
                                 [](double v) { return !(engine::kHeterodyneWindowLowHz < v); }) -
            f);
        last = static_cast<uint32_t>(
            std::partition_point(f + first, f + hi,
                                 [](double v) { return v < engine::kHeterodyneWindowHighHz; }) -
            f);
    }
    uint32_t counted = 0;
    for (uint32_t k = lo; k < first; ++k)
        counted |= heterodyneCounters[k];
    for (uint32_t k = last; k < hi; ++k)
        counted |= heterodyneCounters[k];
    if (counted != 0) first = lo, last = hi;

    for (uint32_t k = first; k < last; ++k) {
        if (!acts(k)) continue;
        uint32_t end = k + 3;
        for (uint32_t j = k + 1; j < end && j < hi; ++j)
            if (acts(j)) end = j + 3;
        end = end < hi ? end : hi;
        for (uint32_t j = k; j < end; ++j) {
            writes[j] = 0;
            if (passes[j] == 0.0) continue;
            if (heterodyneReduction(j, level[j])) {
                for (uint32_t i = j >= lo + 2 ? j - 2 : lo; i < j; ++i)
                    writes[i] = 0;
                continue;
            }
            if (bandMask[j] == 0 && old[j] != 0.0) writes[j] = ~uint64_t{0};
        }
        k = end - 1;
    }
}

void CAudioEngine::filterSpectrum() {
    if (dsp::runAvx2())
        filterSpectrumAvx2();
    else
        filterSpectrumBaseline();
}

void CAudioEngine::filterSpectrumBaseline() {
    filterSpectrumBody();
}

TARNIX_AVX2 void CAudioEngine::filterSpectrumAvx2() {
    filterSpectrumBody();
}

// The bins outside the band hold nothing and play nothing.
TARNIX_INLINE void CAudioEngine::clearOutsideBand(uint32_t lo, uint32_t hi) {
    auto clearEdge = [this](uint32_t k) {
        equalizerSum[k] = 0.0;
        displaySum[k] = 0.0;
        silenceBin(k);
    };
    for (uint32_t k = 0; k < lo && k < binCount; ++k)
        clearEdge(k);
    for (uint32_t k = hi; k < binCount; ++k)
        clearEdge(k);
}

// The first pass over the filter slot: each bin on its own through
// averaging, the noise floor and its minimum amplitude, into its level and
// whether it passes (1.0) or is gated (0.0).
TARNIX_INLINE void CAudioEngine::levelsAndFirstPass(uint32_t slot, const double* newest,
                                                    uint32_t lo, uint32_t hi) {
    const double* __restrict old = magnitude[slot];
    double* __restrict level = lanes_.filterLevel;
    double* __restrict passes = lanes_.filterPasses;
    if (averagingOn) {
        const double *m0 = magnitude[0], *m1 = magnitude[1], *m2 = magnitude[2];
        for (uint32_t k = lo; k < hi; ++k) {
            // Not the plain mean: a slot that does not exceed the running sum is skipped.
            double m = 0.0;
            m = chosen(m0[k] > m, m + m0[k], m);
            m = chosen(m1[k] > m, m + m1[k], m);
            m = chosen(m2[k] > m, m + m2[k], m);
            level[k] = m * kOneThird;
        }
    } else {
        for (uint32_t k = lo; k < hi; ++k)
            level[k] = old[k];
    }
    if (noiseFloorFactor != 0.0) {
        const double factor = noiseFloorFactor;
        double* __restrict floor = floorAverage;
        for (uint32_t k = lo; k < hi; ++k) {
            floor[k] = (10 * floor[k] + newest[k]) * kOneEleventh;
            const double t = factor * floor[k];
            passes[k] = level[k] > t ? 1.0 : 0.0;
            level[k] = chosen(level[k] > t, level[k] - t, level[k]);
        }
        for (uint32_t k = lo; k < hi; ++k)
            passes[k] = level[k] > minimumAmplitude[k] ? passes[k] : 0.0;
    } else {
        for (uint32_t k = lo; k < hi; ++k)
            passes[k] = level[k] > minimumAmplitude[k] ? 1.0 : 0.0;
    }
}

TARNIX_INLINE void CAudioEngine::filterSpectrumBody() {
    if (enhancement.on) return filterEnhanced();
    const uint32_t w = analysisSlot, f = synthesisSlot, lo = binLow, hi = binHigh;
    frameCount += 1;
    clearOutsideBand(lo, hi);

    // The newest frame.
    engine::newestMagnitudes(spectrumRe[w], spectrumIm[w], equalizerOn ? equalizerGain : nullptr,
                             magnitude[w], equalizerSum, displaySum, lo, hi);
    const double* newest = magnitude[w];
    if (showPeaks) engine::keepPeaks(peakSpectrum, newest, lo, hi);

    // The filter slot in two passes. The first takes each bin on its own
    // through averaging, the noise floor and its minimum amplitude; a bin it
    // gates is silenced whatever happens to the others, so only the bins it
    // passes go through the second, in rising order: heterodyne reduction
    // (which touches the neighbours), the band mask, the expandor and the
    // absolute gate.
    levelsAndFirstPass(f, newest, lo, hi);
    double* level = lanes_.filterLevel;
    uint64_t writes[engine::kBins];
    standingBinsBody(lanes_.filterPasses, level, writes);
    expandorAndGate(writes, level, lo, hi);
    writeOutputs(writes, level);
    if (showOutput) {
        outputFrameCount += 1;
        for (uint32_t k = lo; k < hi; ++k)
            outputSum[k] += kept(level[k], writes[k]);
    }
}

namespace {
// The gains' update for bins lo..hi - 1 from the sums' average. Every bin
// stands alone, so the loop runs on vectors.
TARNIX_INLINE void updateGains(double* __restrict sums, double* __restrict gains, double average,
                               uint32_t lo, uint32_t hi) {
    for (uint32_t k = lo; k < hi; ++k) {
        const double r = average / (sums[k] < 0.01 ? 0.01 : sums[k]);
        gains[k] = (49 * gains[k] + (r > 25.0 ? 25.0 : r)) * 0.02;
        sums[k] = 0.0;
    }
}

void updateGainsBaseline(double* sums, double* gains, double average, uint32_t lo, uint32_t hi) {
    updateGains(sums, gains, average, lo, hi);
}

#ifdef TARNIX_VECTOR_COPIES
TARNIX_AVX2 void updateGainsAvx2(double* sums, double* gains, double average, uint32_t lo,
                                 uint32_t hi) {
    updateGains(sums, gains, average, lo, hi);
}
#endif
}  // namespace

void CAudioEngine::updateEqualizer() {
    const uint32_t lo = binLow, hi = binHigh;
    // The sum in order, one bin after the other.
    double sum = 0.0;
    for (uint32_t k = lo; k < hi; ++k)
        sum += equalizerSum[k];
    const double average = sum / hi;
#ifdef TARNIX_VECTOR_COPIES
    if (dsp::runAvx2()) return updateGainsAvx2(equalizerSum, equalizerGain, average, lo, hi);
#endif
    updateGainsBaseline(equalizerSum, equalizerGain, average, lo, hi);
}
