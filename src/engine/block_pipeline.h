// The frame loop of one captured block, shared by the product's processBlock
// and by tests that stand another spectral stage in for the filter.
#pragma once

#include "engine/audio_engine.h"

template <class Self, void (Self::*Stage)()>
void CAudioEngine::runBlockWith() {
    for (uint32_t done = 0; done < blockLength; done += hop) {
        readFrame(frame, frameLength);
        advanceRead(hop);
        fft.applyWindow(window, frame, 1024);
        fft.transform(fftSize, 0, frame, nullptr, spectrumRe[analysisSlot],
                      spectrumIm[analysisSlot]);
        (static_cast<Self*>(this)->*Stage)();
        fft.transform(fftSize, 1, synthRe, synthIm, frame, frameImag);
        if (simulatedStereo) {
            fft.transform(fftSize, 1, secondSynthRe, secondSynthIm, secondFrame, secondFrameImag);
            overlapAdd(frame, secondFrame, 1024, 32);
            advanceWrite(2 * hop);
        } else {
            overlapAdd(frame, nullptr, 1024, 2);
            advanceWrite(hop);
        }
        analysisSlot = (analysisSlot + 1) % engine::kSpectrumSlots;
        synthesisSlot = (synthesisSlot + 1) % engine::kSpectrumSlots;
        platform::host().yieldTimeSlice();
    }
    if (equalizerOn) updateEqualizer();
}
