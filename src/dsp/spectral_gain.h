// The pieces of a statistically optimal spectral gain, read from tables so
// that they cost a few operations per bin and give the same bits everywhere.
#pragma once

#include <bit>
#include <cstdint>

#include "dsp/enhancement_tables.h"

namespace dsp {

// exp(E1(v) / 2), the factor by which the log-spectral amplitude estimator's
// gain exceeds the Wiener gain, for v > 0; linear between the table's points
// (within 2e-3 relative). Below 2^-16 it reads as at 2^-16, from 64 on it is 1.
inline double lsaFactor(double v) {
    using namespace enhancement_tables;
    constexpr double kLow = 1.0 / (1 << -kLowOctave);
    constexpr double kHigh = 1 << kHighOctave;
    if (!(v < kHigh)) return 1.0;
    v = v > kLow ? v : kLow;
    const uint64_t bits = std::bit_cast<uint64_t>(v);
    const int32_t octave = static_cast<int32_t>(bits >> 52) - 1023;
    // The mantissa as a value in [1, 2), spread over the octave's steps.
    const double t =
        (std::bit_cast<double>((bits & ((uint64_t{1} << 52) - 1)) | std::bit_cast<uint64_t>(1.0)) -
         1.0) *
        kOctaveSteps;
    const int32_t step = static_cast<int32_t>(t);
    const int32_t i = (octave - kLowOctave) * kOctaveSteps + step;
    return kLsaFactor[i] + (t - step) * (kLsaFactor[i + 1] - kLsaFactor[i]);
}

// The probability that speech is present in a bin whose power is `gamma`
// times the noise power, with speech and absence equally likely beforehand
// and present speech 15 dB above the noise; linear between the table's points.
inline double speechPresence(double gamma) {
    using namespace enhancement_tables;
    if (!(gamma < kPresenceEnd)) return 1.0;
    const double t = gamma * kPresenceStep;
    const int32_t i = static_cast<int32_t>(t);
    return kPresence[i] + (t - i) * (kPresence[i + 1] - kPresence[i]);
}

}  // namespace dsp
