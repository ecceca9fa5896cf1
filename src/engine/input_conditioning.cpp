// Input conditioning: the captured block converted to doubles with its peak
// recorded, then the enabled time-domain filters, each over the whole block.
#include "engine/audio_engine.h"

void CAudioEngine::conditionInput(uint32_t i) {
    const int16_t* captured = captureBuffers[i];
    double* x = inputRing[i];
    int32_t peak = inputPeak;  // a local, so that the loop runs on vectors
    for (uint32_t n = 0; n < engine::kSlotCapacity; ++n)
        peak = captured[n] > peak ? captured[n] : peak;
    inputPeak = peak;
    // Frames read no further than the block length into a slot.
    for (uint32_t n = 0; n < blockLength; ++n)
        x[n] = captured[n];
    if (!filters_) return;
    engine::InputFilters& f = *filters_;
    const uint32_t length = blockLength;
    if (voicePrefilterOn)
        for (uint32_t n = 0; n < length; ++n)
            x[n] = f.prefilters.voiceHigh.filter(x[n]) + f.prefilters.voiceLow.filter(x[n]);
    if (musicPrefilterOn)
        for (uint32_t n = 0; n < length; ++n)
            x[n] = f.prefilters.music.filter(x[n]);
    if (lmsFilterOn)
        for (uint32_t n = 0; n < length; ++n)
            x[n] = f.lms.filter(x[n]);
    if (linearCombinerOn)
        for (uint32_t n = 0; n < length; ++n)
            x[n] = f.combiner.filter(x[n]);
    const double a = exponentialFactor;
    if (a != 0.0) {
        for (uint32_t n = 0; n < length; ++n) {
            const double y = (1 - a) * f.exponentialMemory + a * x[n];
            f.exponentialMemory = y;
            x[n] = y;
        }
    }
}
