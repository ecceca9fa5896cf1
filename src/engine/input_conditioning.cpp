// Input conditioning: the captured block converted to doubles with its peak
// recorded, then the enabled time-domain filters, each over the whole block.
#include "dsp/cpu.h"
#include "engine/audio_engine.h"

namespace {

// The peak over `span` captured values (a whole slot for a block), and the
// samples as doubles up to the length: frames read no further into a slot.
TARNIX_INLINE int32_t convertBody(const int16_t* __restrict captured, double* __restrict x,
                                  uint32_t length, uint32_t span, int32_t peak) {
    for (uint32_t n = 0; n < span; ++n)
        peak = captured[n] > peak ? captured[n] : peak;
    for (uint32_t n = 0; n < length; ++n)
        x[n] = captured[n];
    return peak;
}

int32_t convertBaseline(const int16_t* captured, double* x, uint32_t length, uint32_t span,
                        int32_t peak) {
    return convertBody(captured, x, length, span, peak);
}

#ifdef TARNIX_VECTOR_COPIES
TARNIX_AVX2 int32_t convertAvx2(const int16_t* captured, double* x, uint32_t length, uint32_t span,
                                int32_t peak) {
    return convertBody(captured, x, length, span, peak);
}
#endif

}  // namespace

namespace {
int32_t convert(const int16_t* captured, double* x, uint32_t length, uint32_t span, int32_t peak) {
#ifdef TARNIX_VECTOR_COPIES
    if (dsp::runAvx2()) return convertAvx2(captured, x, length, span, peak);
#endif
    return convertBaseline(captured, x, length, span, peak);
}
}  // namespace

void CAudioEngine::conditionInput(uint32_t i) {
    double* x = inputRing[i];
    inputPeak = convert(captureBuffers[i], x, blockLength, engine::kSlotCapacity, inputPeak);
    filterInput(x, blockLength);
}

void CAudioEngine::conditionSamples(const int16_t* captured, double* x, uint32_t length) {
    inputPeak = convert(captured, x, length, length, inputPeak);
    filterInput(x, length);
}

void CAudioEngine::filterInput(double* x, uint32_t length) {
    // Clicks go first, before any filter spreads them.
    if (blankerOn) blanker.process(x, length);
    if (!filters_) return;
    engine::InputFilters& f = *filters_;
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
