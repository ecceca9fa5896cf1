// The pieces of a statistically optimal spectral gain, read from tables so
// that they cost a few operations per bin and give the same bits everywhere.
#pragma once

#include <bit>
#include <cstdint>

#include "dsp/enhancement_tables.h"

namespace dsp {

// a where c holds, else b, chosen on the bits so that loops stay on vectors.
inline double select(bool c, double a, double b) {
    const uint64_t m = uint64_t{0} - c;
    return std::bit_cast<double>((std::bit_cast<uint64_t>(a) & m) |
                                 (std::bit_cast<uint64_t>(b) & ~m));
}

// exp(E1(v) / 2), the factor by which the log-spectral amplitude estimator's
// gain exceeds the Wiener gain, for v > 0; linear between the table's points
// (within 2e-3 relative). Below 2^-16 it reads as at 2^-16, from 64 on it is
// 1. Written without branches, so that loops of it run on vectors.
inline double lsaFactor(double v) {
    using namespace enhancement_tables;
    constexpr double kLow = 1.0 / (1 << -kLowOctave);
    constexpr double kHigh = 1 << kHighOctave;
    const bool inside = v < kHigh;
    const double c = select(inside & (v > kLow), v, kLow);
    const uint64_t bits = std::bit_cast<uint64_t>(c);
    const int32_t octave = static_cast<int32_t>(bits >> 52) - 1023;
    // The mantissa as a value in [1, 2), spread over the octave's steps.
    const double t =
        (std::bit_cast<double>((bits & ((uint64_t{1} << 52) - 1)) | std::bit_cast<uint64_t>(1.0)) -
         1.0) *
        kOctaveSteps;
    const int32_t step = static_cast<int32_t>(t);
    const int32_t i = (octave - kLowOctave) * kOctaveSteps + step;
    const double f = kLsaFactor[i] + (t - step) * (kLsaFactor[i + 1] - kLsaFactor[i]);
    return select(inside, f, 1.0);
}

// The probability that speech is present in a bin whose power is `gamma`
// times the noise power, with speech and absence equally likely beforehand
// and present speech 15 dB above the noise; linear between the table's
// points, without branches.
inline double speechPresence(double gamma) {
    using namespace enhancement_tables;
    constexpr int32_t kLast = kPresenceEnd * kPresenceStep;
    const bool inside = gamma < kPresenceEnd;
    // A negative ratio reads the table's first point, never before it.
    const double t = select(inside && gamma > 0.0, gamma, 0.0) * kPresenceStep;
    int32_t i = static_cast<int32_t>(t);
    i = i < kLast ? i : kLast - 1;
    const double p = kPresence[i] + (t - i) * (kPresence[i + 1] - kPresence[i]);
    return select(inside, p, 1.0);
}

// Both for many values at once, with the same results (the arrays must not
// overlap).
void lsaFactorMany(const double* v, double* out, uint32_t count);
void speechPresenceMany(const double* gamma, double* out, uint32_t count);

}  // namespace dsp
