// The steps the spectral filter takes alike on both of its paths (with and
// without speech enhancement): the newest frame's magnitudes and peaks, and
// the expandor and the absolute gate, the last rule. Private to the engine;
// included where the filter's bodies are compiled, so that they are inlined
// into each of their vector copies.
#pragma once

#include <cmath>
#include <cstdint>

#include "dsp/cpu.h"
#include "dsp/power.h"
#include "engine/audio_engine.h"

namespace engine {
inline constexpr double kExpandorOneTwelfth = 1.0 / 12.0;
inline constexpr double kAbsoluteGate = 200.0;

// For bins lo..hi - 1: the magnitude, its raw sum, the equalized
// magnitude (when there are gains) and its display sum. Every bin stands
// alone and the arrays are distinct, so the loop runs on vectors.
TARNIX_INLINE void newestMagnitudes(const double* __restrict re, const double* __restrict im,
                                    const double* __restrict gains, double* __restrict newest,
                                    double* __restrict sums, double* __restrict shown, uint32_t lo,
                                    uint32_t hi) {
    if (gains) {
        for (uint32_t k = lo; k < hi; ++k) {
            const double raw = std::sqrt(re[k] * re[k] + im[k] * im[k]);
            sums[k] += raw;
            newest[k] = raw * gains[k];
            shown[k] += newest[k];
        }
    } else {
        for (uint32_t k = lo; k < hi; ++k) {
            newest[k] = std::sqrt(re[k] * re[k] + im[k] * im[k]);
            sums[k] += newest[k];
            shown[k] += newest[k];
        }
    }
}

// The peak of each bin lo..hi - 1 since the display last took them.
TARNIX_INLINE void keepPeaks(double* __restrict peaks, const double* __restrict newest, uint32_t lo,
                             uint32_t hi) {
    for (uint32_t k = lo; k < hi; ++k)
        peaks[k] = peaks[k] < newest[k] ? newest[k] : peaks[k];
}
}  // namespace engine

// The expandor and the absolute gate on the bins still standing, the
// powers at once: the bins in runs of vectors (nearly all stand when
// there is sound), a bin that does not stand raising a stand-in whose
// level is not used. A magnitude below kExpandorPassesFrom stays at or
// below the gate after the expandor, so it is dropped before, and groups
// of bins where none is left raise nothing.
TARNIX_INLINE void CAudioEngine::expandorAndGate(uint64_t* writes, double* level, uint32_t lo,
                                                 uint32_t hi) {
    if (expandorOn) {
        double bases[engine::kBins], powers[engine::kBins];
        for (uint32_t k = lo; k < hi; ++k) {
            writes[k] = level[k] < engine::kExpandorPassesFrom ? 0 : writes[k];
            bases[k] = writes[k] != 0 ? level[k] : engine::kExpandorPassesFrom;
        }
        constexpr uint32_t kGroup = 16;
        const auto standing = [&](uint32_t from) {
            uint64_t any = 0;
            for (uint32_t k = from; k < from + kGroup; ++k)
                any |= k < hi ? writes[k] : 0;
            return any != 0;
        };
        for (uint32_t from = lo; from < hi;) {
            if (!standing(from)) {
                for (uint32_t k = from; k < from + kGroup && k < hi; ++k)
                    powers[k] = 0.0;
                from += kGroup;
                continue;
            }
            uint32_t to = from + kGroup;
            while (to < hi && standing(to))
                to += kGroup;
            to = to < hi ? to : hi;
            dsp::powMany(bases + from, powers + from, to - from, 1.2);
            from = to;
        }
        for (uint32_t k = lo; k < hi; ++k)
            level[k] = powers[k] * engine::kExpandorOneTwelfth;
    }
    for (uint32_t k = lo; k < hi; ++k)
        writes[k] = level[k] > engine::kAbsoluteGate ? writes[k] : 0;
}
