// Speech enhancement for broadband noise: a noise-power tracker that follows
// the noise through speech, a decision-directed a priori SNR and the
// log-spectral amplitude gain weighted by the probability of speech, above a
// floor. Off by default; when on, the spectral filter takes its gains and
// synthesises exactly (a conjugate-symmetric spectrum, overlap-added in
// floating point and rounded once).
#pragma once

#include <cstdint>

#include "engine/constants.h"

namespace engine {

// Bins 0 to kBins, the half spectrum with its Nyquist bin.
inline constexpr uint32_t kEnhancedBins = kBins + 1;

// The strongest attenuation of a bin, in dB: the floor under the gain.
inline constexpr int kDefaultEnhancementFloorDb = 30;
inline constexpr int kMaxEnhancementFloorDb = 40;

struct Enhancement {
    uint32_t on = 0;
    double floorGain = 1.0;  // 10^(-floor / 20)
    uint32_t frames = 0;     // frames with sound seen since the stage was reset
    double noise[kEnhancedBins] = {};
    double presence[kEnhancedBins] = {};  // smoothed probability of speech
    double previous[kEnhancedBins] = {};  // last frame's speech power estimate over the noise
    // The overlap-add of the exact synthesis, per channel.
    double pending[2][kFftSize] = {};
};

// Clears what the stage has learnt and its pending output; the floor stays.
void resetEnhancement(Enhancement& e);
// Sets the floor in dB (0 passes everything; clamped to 0..kMaxEnhancementFloorDb).
void setEnhancementFloor(Enhancement& e, int db);

// The gains of bins 0..kBins for a frame whose powers are `power`, updating
// the noise estimate and the stage's memory.
void enhancementGains(Enhancement& e, const double* power, double* gains);

}  // namespace engine
