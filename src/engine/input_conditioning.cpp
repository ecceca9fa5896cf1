// Input conditioning: the captured block converted to doubles with its peak
// recorded, then the enabled time-domain filters, each over the whole block.
#include "dsp/cpu.h"
#include "engine/audio_engine.h"

namespace {

// The peak over the whole slot, and the samples as doubles up to the block
// length: frames read no further into a slot.
TARNIX_INLINE int32_t convertBody(const int16_t* __restrict captured, double* __restrict x,
                                  uint32_t length, int32_t peak) {
    for (uint32_t n = 0; n < engine::kSlotCapacity; ++n)
        peak = captured[n] > peak ? captured[n] : peak;
    for (uint32_t n = 0; n < length; ++n)
        x[n] = captured[n];
    return peak;
}

int32_t convertBaseline(const int16_t* captured, double* x, uint32_t length, int32_t peak) {
    return convertBody(captured, x, length, peak);
}

#ifdef TARNIX_VECTOR_COPIES
TARNIX_AVX2 int32_t convertAvx2(const int16_t* captured, double* x, uint32_t length, int32_t peak) {
    return convertBody(captured, x, length, peak);
}
#endif

}  // namespace

void CAudioEngine::conditionInput(uint32_t i) {
    double* x = inputRing[i];
#ifdef TARNIX_VECTOR_COPIES
    if (dsp::runAvx2())
        inputPeak = convertAvx2(captureBuffers[i], x, blockLength, inputPeak);
    else
#endif
        inputPeak = convertBaseline(captureBuffers[i], x, blockLength, inputPeak);
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
