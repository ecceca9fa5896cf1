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

// The sub-windows of the search for each bin's recent minimum.
inline constexpr uint32_t kMinimumWindows = 4;

struct Enhancement {
    uint32_t on = 0;
    double floorGain = 1.0;  // 10^(-floor / 20)
    uint32_t frames = 0;     // frames with sound seen since the stage was reset
    // Frame counts of the tracking's time spans, set from the rate.
    uint32_t gapFrames = 11;     // digital silence after which sound is a new start
    uint32_t riseFrames = 6;     // a rise of the whole band held this long is followed
    uint32_t windowFrames = 16;  // one sub-window of the minimum search
    uint32_t silentRun = 0;      // digitally silent frames in a row
    double changes = 0.0;        // the first frames' share of bins that changed, summed
    uint32_t riseRun = 0;        // frames in a row that looked like risen noise
    double riseLevel = 0.0;      // the rise the last of them showed
    double lastTotal = 0.0;      // the last frame's power
    uint32_t windowCount = 0;    // frames in the current sub-window
    uint32_t windowsFilled = 0;  // sub-windows completed since the last start
    double noise[kEnhancedBins] = {};
    double presence[kEnhancedBins] = {};  // smoothed probability of speech
    double previous[kEnhancedBins] = {};  // last frame's speech power estimate over the noise
    double smoothed[kEnhancedBins] = {};  // the power smoothed over frames
    // The first frames: the largest of their powers, the quietest and the last
    // of their powers averaged over five bins.
    double largest[kEnhancedBins] = {};
    double quietest[kEnhancedBins] = {};
    double lastAverage[kEnhancedBins] = {};
    double minimum[kEnhancedBins] = {};  // its least value in the current sub-window
    double minima[kMinimumWindows][kEnhancedBins] = {};  // the last complete sub-windows'
    double least[kEnhancedBins] = {};                    // and the least of those
    // 1 where the bin's power stays near the tracked noise: a steady tone there
    // is noise, not a harmonic of speech.
    double steady[kEnhancedBins] = {};
    // The overlap-add of the exact synthesis, per channel.
    double pending[2][kFftSize] = {};
};

// Clears what the stage has learnt and its pending output; the floor stays.
void resetEnhancement(Enhancement& e);
// Sets the floor in dB (0 passes everything; clamped to 0..kMaxEnhancementFloorDb).
void setEnhancementFloor(Enhancement& e, int db);
// Sets the tracking's time spans for a sampling rate (frames come every kHop samples).
void setEnhancementRate(Enhancement& e, int32_t sampleRate);

// The gains of bins 0..kBins for a frame whose powers are `power`, updating
// the noise estimate and the stage's memory.
void enhancementGains(Enhancement& e, const double* power, double* gains);

}  // namespace engine
