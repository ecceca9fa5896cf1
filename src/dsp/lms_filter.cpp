#include "dsp/lms_filter.h"

double CLmsFilter::filter(double x) {
    const uint32_t p = nLmsPosition;
    // History in age order starting at the oldest sample: h[p..70], h[0..p-1].
    const uint32_t firstRun = kTaps - p;
    const double* w = daLmsWeights;
    const double* h = daLmsHistory;

    double y = 0.0;
    for (uint32_t i = 0; i < firstRun; ++i)
        y += w[i] * h[p + i];
    for (uint32_t i = firstRun; i < kTaps; ++i)
        y += w[i] * h[i - firstRun];

    const double e = (x - y) * dLmsStep;
    for (uint32_t i = 0; i < firstRun; ++i)
        daLmsWeights[i] = daLmsWeights[i] + e * h[p + i];
    for (uint32_t i = firstRun; i < kTaps; ++i)
        daLmsWeights[i] = daLmsWeights[i] + e * h[i - firstRun];

    daLmsHistory[p] = x;
    nLmsPosition = p + 1 == kTaps ? 0 : p + 1;
    return y;
}
