// The frame loop of one captured block, shared by the product's processBlock
// and by tests that stand another spectral stage in for the filter.
#pragma once

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
        const double* rows = stageRe_;
        uint32_t rowStride = N;
        if (lanes == L && frameLength == N && readPos + (L - 1) * hop + N <= blockLength) {
            rows = &inputRing[readSlot][readPos];
            rowStride = hop;
            for (uint32_t l = 0; l < lanes; ++l)
                advanceRead(hop);
        } else {
            for (uint32_t l = 0; l < lanes; ++l) {
                readFrame(stageRe_ + l * N, frameLength);
                advanceRead(hop);
            }
        }
        CFft::toLanes(rows, lanesIn_, N, window, rowStride);
        fft.transformLanes(N, 0, lanesIn_, nullptr, lanesRe_, lanesIm_);
        double* spectraRe = stageSpectraRe_[stageSet_];
        double* spectraIm = stageSpectraIm_[stageSet_];
        stageSet_ ^= 1;
        // Only the bins the stage reads are moved out of the lane layout.
        CFft::fromLanes(lanesRe_, spectraRe, N, Self::kAnalysedBins);
        CFft::fromLanes(lanesIm_, spectraIm, N, Self::kAnalysedBins);

        for (uint32_t l = 0; l < lanes; ++l) {
            spectrumRe[analysisSlot] = spectraRe + l * N;
            spectrumIm[analysisSlot] = spectraIm + l * N;
            synthRe = stageRe_ + l * N;
            synthIm = stageIm_ + l * N;
            secondSynthRe = stageSecondRe_ + l * N;
            secondSynthIm = stageSecondIm_ + l * N;
            (static_cast<Self*>(this)->*Stage)();
            analysisSlot = (analysisSlot + 1) % engine::kSpectrumSlots;
            synthesisSlot = (synthesisSlot + 1) % engine::kSpectrumSlots;
            platform::host().yieldTimeSlice();
        }

        // Only the real parts of the inverse transforms are used: the first
        // channel's land in stageRe_, the second channel's in stageIm_.
        CFft::toLanes(stageRe_, lanesRe_, N);
        CFft::toLanes(stageIm_, lanesIm_, N);
        fft.transformLanesRealOut(N, 1, lanesRe_, lanesIm_, lanesIn_, lanesWork_);
        CFft::fromLanes(lanesIn_, stageRe_, N);
        if (simulatedStereo) {
            CFft::toLanes(stageSecondRe_, lanesRe_, N);
            CFft::toLanes(stageSecondIm_, lanesIm_, N);
            fft.transformLanesRealOut(N, 1, lanesRe_, lanesIm_, lanesIn_, lanesWork_);
            CFft::fromLanes(lanesIn_, stageIm_, N);
        }
        for (uint32_t l = 0; l < lanes; ++l) {
            if (simulatedStereo) {
                overlapAdd(stageRe_ + l * N, stageIm_ + l * N, N, 32);
                advanceWrite(2 * hop);
            } else {
                overlapAdd(stageRe_ + l * N, nullptr, N, 2);
                advanceWrite(hop);
            }
        }
    }
    if (equalizerOn) updateEqualizer();
}
