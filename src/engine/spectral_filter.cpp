// The frequency-domain noise reduction: each bin of the frame two hops back
// keeps its phase and gets a processed magnitude (averaging, noise-floor
// subtraction, minimum-amplitude gate, steady-tone notch, band mask, expandor,
// absolute gate), written for one channel or for two with the stereo comb.
#include <cmath>

#include "dsp/math_functions.h"
#include "engine/audio_engine.h"

namespace {
constexpr double kOneThird = 1.0 / 3.0;
constexpr double kOneEleventh = 1.0 / 11.0;
constexpr double kOneTwelfth = 1.0 / 12.0;
constexpr double kAbsoluteGate = 200.0;
constexpr double kPeakRatio = 1.5;
constexpr uint32_t kCounterLimit = 100;
constexpr uint32_t kMaskStop = 1;
constexpr uint32_t kMaskNotch = 2;
}  // namespace

void CAudioEngine::silenceBin(uint32_t j) {
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

void CAudioEngine::releaseNotch(uint32_t k) {
    for (uint32_t j = k - 2; j <= k + 2; ++j)
        if (j < binCount && bandMask[j] == kMaskNotch) bandMask[j] = 0;
}

// Returns true when the bin was silenced and its work ends.
bool CAudioEngine::heterodyneReduction(uint32_t k, double m) {
    const bool watched = heterodyneMode > 1 || (heterodyneMode == 1 && 4900.0 < binFrequency[k] &&
                                                binFrequency[k] < 5100.0);
    if (!watched) {
        if (heterodyneCounters[k] != 0) {
            heterodyneCounters[k] = 0;
            releaseNotch(k);
        }
        return false;
    }
    const uint32_t threshold = heterodyneMode == 1 ? 6 : heterodyneMode;
    const double* stored = magnitude[synthesisSlot];
    const double below = k >= 2 ? stored[k - 2] : 0.0;
    const double above = k + 2 < binCount ? stored[k + 2] : 0.0;
    if (m > kPeakRatio * below && m > kPeakRatio * above) {
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

void CAudioEngine::writeOutput(uint32_t k, double g) {
    const uint32_t mirror = indexMask - k;
    const double re = spectrumRe[synthesisSlot][k];
    const double im = spectrumIm[synthesisSlot][k];
    if (!simulatedStereo) {
        synthRe[k] = re * g;
        synthIm[k] = im * g;
        synthRe[mirror] = im * g;
        synthIm[mirror] = re * g;
        return;
    }
    double gL, gR;
    if (binFrequency[k] < 200.0) {
        gL = 16 * g;
        gR = 16 * g;
    } else {
        gL = (k % 32) * g;
        gR = (32 - (k % 32)) * g;
    }
    synthRe[k] = re * gL;
    synthIm[k] = im * gL;
    synthRe[mirror] = im * gL;
    synthIm[mirror] = re * gL;
    secondSynthRe[k] = re * gR;
    secondSynthIm[k] = im * gR;
    secondSynthRe[mirror] = im * gR;
    secondSynthIm[mirror] = re * gR;
}

void CAudioEngine::filterSpectrum() {
    const uint32_t w = analysisSlot, f = synthesisSlot, lo = binLow, hi = binHigh;
    frameCount += 1;

    for (uint32_t k = 0; k < binCount; ++k) {
        if (k >= lo && k < hi) continue;
        equalizerSum[k] = 0.0;
        displaySum[k] = 0.0;
        silenceBin(k);
    }

    double* newest = magnitude[w];
    const double* re = spectrumRe[w];
    const double* im = spectrumIm[w];
    for (uint32_t k = lo; k < hi; ++k) {
        newest[k] = std::sqrt(re[k] * re[k] + im[k] * im[k]);
        equalizerSum[k] += newest[k];
        if (equalizerOn) newest[k] = newest[k] * equalizerGain[k];
        displaySum[k] += newest[k];
        if (showPeaks && peakSpectrum[k] < newest[k]) peakSpectrum[k] = newest[k];
    }

    const double* old = magnitude[f];
    for (uint32_t k = lo; k < hi; ++k) {
        double m;
        if (!averagingOn) {
            m = old[k];
        } else {
            // Not the plain mean: a slot that does not exceed the running sum is skipped.
            m = 0.0;
            for (uint32_t s = 0; s < engine::kSpectrumSlots; ++s)
                if (magnitude[s][k] > m) m += magnitude[s][k];
            m = m * kOneThird;
        }

        if (noiseFloorFactor != 0.0) {
            floorAverage[k] = (10 * floorAverage[k] + newest[k]) * kOneEleventh;
            const double t = noiseFloorFactor * floorAverage[k];
            if (m > t) {
                m = m - t;
            } else {
                silenceBin(k);
                continue;
            }
        }

        if (m <= minimumAmplitude[k]) {
            silenceBin(k);
            continue;
        }

        if (heterodyneReduction(k, m)) continue;

        if (bandMask[k] != 0) {
            silenceBin(k);
            continue;
        }

        if (expandorOn) m = dsp::pow(m, 1.2) * kOneTwelfth;

        if (m <= kAbsoluteGate || old[k] == 0.0) {
            silenceBin(k);
            continue;
        }

        writeOutput(k, m / old[k]);
    }
}

void CAudioEngine::updateEqualizer() {
    const uint32_t lo = binLow, hi = binHigh;
    double sum = 0.0;
    for (uint32_t k = lo; k < hi; ++k)
        sum += equalizerSum[k];
    const double average = sum / hi;
    for (uint32_t k = lo; k < hi; ++k) {
        if (equalizerSum[k] < 0.01) equalizerSum[k] = 0.01;
        double r = average / equalizerSum[k];
        if (r > 25.0) r = 25.0;
        equalizerGain[k] = (49 * equalizerGain[k] + r) * 0.02;
        equalizerSum[k] = 0.0;
    }
}
