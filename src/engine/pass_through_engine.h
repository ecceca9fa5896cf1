// An engine whose synthesis spectrum is an unchanged copy of the analysed
// one, so that the pipeline's framing, delay and scaling can be checked on
// their own. Only tests and the file tool's hidden check option use it.
#pragma once

#include "engine/block_pipeline.h"

namespace engine {

class PassThroughEngine : public CAudioEngine {
  public:
    static constexpr uint32_t kAnalysedBins = engine::kFftSize;
    void processBlock() override { runBlockWith<PassThroughEngine, &PassThroughEngine::copy>(); }
    void processFrame() override { runFrameWith<PassThroughEngine, &PassThroughEngine::copy>(); }

  private:
    void copy() {
        // In stereo both channels carry the whole spectrum at the weight 16
        // that plays each at the mono level.
        const double g = simulatedStereo ? 16.0 : 1.0;
        for (uint32_t k = 0; k < fftSize; ++k) {
            synthRe[k] = spectrumRe[synthesisSlot][k] * g;
            synthIm[k] = spectrumIm[synthesisSlot][k] * g;
            secondSynthRe[k] = synthRe[k];
            secondSynthIm[k] = synthIm[k];
        }
    }
};

}  // namespace engine
