// The frame loop of one captured block, and the single frame of the
// streaming path, shared by the product's processBlock and processFrame and
// by tests that stand another spectral stage in for the filter.
#pragma once

#include <cstring>

#include "engine/audio_engine.h"

template <class Self, void (Self::*Stage)()>
void CAudioEngine::runBlockWith() {
    // The forward transforms of a batch of frames run side by side; each
    // frame is then filtered in order, and the inverse transforms run side by
    // side again before the overlap-adds, which keep their order.
    constexpr uint32_t L = CFft::kLanes, N = engine::kFftSize;
    const uint32_t frames = blockLength / hop;
    for (uint32_t first = 0; first < frames; first += L) {
        const uint32_t lanes = frames - first < L ? frames - first : L;
        // Frames that all lie in the current slot are read where they are;
        // the others are gathered first.
        const double* rows = lanes_.stageRe;
        uint32_t rowStride = N;
        if (lanes == L && frameLength == N && readPos + (L - 1) * hop + N <= blockLength) {
            rows = &inputRing[readSlot][readPos];
            rowStride = hop;
            for (uint32_t l = 0; l < lanes; ++l)
                advanceRead(hop);
        } else {
            for (uint32_t l = 0; l < lanes; ++l) {
                readFrame(lanes_.stageRe + l * N, frameLength);
                advanceRead(hop);
            }
        }
        CFft::toLanes(rows, lanes_.lanesIn, N, window, rowStride);
        fft.transformLanes(N, 0, lanes_.lanesIn, nullptr, lanes_.lanesRe, lanes_.lanesIm);
        double* spectraRe = lanes_.stageSpectraRe[lanes_.stageSet];
        double* spectraIm = lanes_.stageSpectraIm[lanes_.stageSet];
        lanes_.stageSet ^= 1;
        // Only the bins the stage reads are moved out of the lane layout.
        CFft::fromLanes(lanes_.lanesRe, spectraRe, N, Self::kAnalysedBins);
        CFft::fromLanes(lanes_.lanesIm, spectraIm, N, Self::kAnalysedBins);

        for (uint32_t l = 0; l < lanes; ++l) {
            spectrumRe[analysisSlot] = spectraRe + l * N;
            spectrumIm[analysisSlot] = spectraIm + l * N;
            synthRe = lanes_.stageRe + l * N;
            synthIm = lanes_.stageIm + l * N;
            secondSynthRe = lanes_.stageSecondRe + l * N;
            secondSynthIm = lanes_.stageSecondIm + l * N;
            (static_cast<Self*>(this)->*Stage)();
            analysisSlot = (analysisSlot + 1) % engine::kSpectrumSlots;
            synthesisSlot = (synthesisSlot + 1) % engine::kSpectrumSlots;
            host().yieldTimeSlice();
        }

        inverseTransforms();
        for (uint32_t l = 0; l < lanes; ++l)
            addFrameOutput(l);
    }
    if (equalizerOn) updateEqualizer();
}

template <class Self, void (Self::*Stage)()>
void CAudioEngine::runFrameWith() {
    // The frame goes through lane 0 of the same transforms; the other lanes
    // hold zeros, which stay zeros. Each lane is computed on its own, so the
    // values are those of the frame in a batch.
    constexpr uint32_t N = engine::kFftSize;
    readFrame(lanes_.stageRe, frameLength);
    advanceRead(hop);
    CFft::toLanes(lanes_.stageRe, lanes_.lanesIn, N, window);
    fft.transformLanes(N, 0, lanes_.lanesIn, nullptr, lanes_.lanesRe, lanes_.lanesIm);
    // The stage spectra are scratch here: the spectrum is kept in its own
    // slot, since the filter reads the two before it as well.
    CFft::fromLanes(lanes_.lanesRe, lanes_.stageSpectraRe[0], N, Self::kAnalysedBins);
    CFft::fromLanes(lanes_.lanesIm, lanes_.stageSpectraIm[0], N, Self::kAnalysedBins);
    double* re = lanes_.recentSpectraRe[analysisSlot];
    double* im = lanes_.recentSpectraIm[analysisSlot];
    std::memcpy(re, lanes_.stageSpectraRe[0], Self::kAnalysedBins * sizeof(double));
    std::memcpy(im, lanes_.stageSpectraIm[0], Self::kAnalysedBins * sizeof(double));
    spectrumRe[analysisSlot] = re;
    spectrumIm[analysisSlot] = im;
    synthRe = lanes_.stageRe;
    synthIm = lanes_.stageIm;
    secondSynthRe = lanes_.stageSecondRe;
    secondSynthIm = lanes_.stageSecondIm;
    (static_cast<Self*>(this)->*Stage)();
    analysisSlot = (analysisSlot + 1) % engine::kSpectrumSlots;
    synthesisSlot = (synthesisSlot + 1) % engine::kSpectrumSlots;
    host().yieldTimeSlice();

    inverseTransforms();
    addFrameOutput(0);
}
