// 71-tap adaptive linear predictor trained with the least-mean-square rule:
// it keeps the predictable part of the signal (tones, voiced speech) and drops
// the unpredictable part (noise).
#pragma once

#include <cstdint>

class CLmsFilter {
  public:
    static constexpr uint32_t kTaps = 71;

    double filter(double x);

    double daLmsWeights[kTaps] = {};
    double daLmsHistory[kTaps] = {};
    uint32_t nLmsPosition = 0;  // the oldest sample, overwritten by the next input
    double dLmsStep = 0.00000000001;
};
