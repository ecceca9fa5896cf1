// The analysis, synthesis and spectral filter's state: the per-bin arrays the
// filter keeps from frame to frame and the menus and the selection write
// (band mask, minimum amplitudes), the spectra of the last frames and the
// transform with its sizes.
#pragma once

#include <cstdint>

#include "dsp/fft.h"
#include "engine/constants.h"

namespace engine {

struct SpectralState {
    uint32_t binLow = 0;
    uint32_t binHigh = 0;
    uint32_t binCount = 0;
    uint32_t showPeaks = 0;
    uint32_t averagingOn = 0;
    uint32_t expandorOn = 0;
    uint32_t equalizerOn = 0;
    double noiseFloorFactor = 0.0;
    uint32_t heterodyneMode = 0;
    uint32_t analysisSlot = 0;
    uint32_t synthesisSlot = 0;
    uint32_t frameCount = 0;
    uint32_t heterodyneCounters[kBins] = {};
    double peakSpectrum[kBins] = {};
    double equalizerSum[kBins] = {};
    double displaySum[kBins] = {};
    // The output's spectrum for the display, gathered only while it is shown:
    // the sum, over outputFrameCount frames, of each bin's magnitude as the
    // filter left it, in the scale of displaySum (the input as drawn, times
    // the filter's gain), so that a bin the filter passes unchanged lies on
    // the input's trace.
    uint32_t showOutput = 0;
    uint32_t outputFrameCount = 0;
    double outputSum[kBins] = {};
    double window[kFftSize] = {};
    // The spectra of the last frames and the filter's output for one frame.
    // While blocks are processed they point into the pipeline's stage arrays,
    // so that no frame is copied; before that at zeroed storage of their own.
    double* spectrumRe[kSpectrumSlots] = {spectrumStore[0], spectrumStore[1], spectrumStore[2]};
    double* spectrumIm[kSpectrumSlots] = {spectrumStore[3], spectrumStore[4], spectrumStore[5]};
    double* synthRe = synthStore[0];
    double* synthIm = synthStore[1];
    double magnitude[kSpectrumSlots][kBins] = {};
    double* secondSynthRe = synthStore[2];
    double* secondSynthIm = synthStore[3];
    double floorAverage[kBins] = {};
    double binFrequency[kBins] = {};
    double minimumAmplitude[kBins] = {};
    double equalizerGain[kBins] = {};
    uint32_t bandMask[kBins] = {};

    // Transform state.
    uint32_t fftSize = 0;
    uint32_t halfSize = 0;
    uint32_t indexMask = 0;
    uint32_t frameLength = 0;
    uint32_t hop = 0;
    CFft fft;

  protected:
    // Zeroed storage the spectra point at until blocks are processed.
    double spectrumStore[2 * kSpectrumSlots][kFftSize] = {};
    double synthStore[4][kFftSize] = {};
};

}  // namespace engine
