// The arrays the block pipeline moves frames through: the frames of a block
// are transformed CFft::kLanes at a time, side by side. Their sizes and
// relative places are chosen for the transforms' caches (see below).
#pragma once

#include <cstdint>

#include "dsp/fft.h"
#include "engine/constants.h"

namespace engine {

inline constexpr uint32_t kLaneValues = kFftSize * CFft::kLanes;

struct FrameLanes {
    // The frames of a block are transformed kLanes at a time, side by side.
    // Frames go through the stage arrays one after the other (frame l at
    // l * kFftSize) and through the lane arrays in the transform's layout.
    // The spectra alternate between two sets, as the filter still reads the
    // frames two back from the batch before.
    alignas(64) double stageSpectraRe[2][kLaneValues] = {};
    alignas(64) double stageSpectraIm[2][kLaneValues] = {};
    uint32_t stageSet = 0;
    // The streaming path transforms one frame at a time (in lane 0, the other
    // lanes carrying zeros) and keeps the spectra of the last three frames
    // here, one per spectrum slot.
    alignas(64) double recentSpectraRe[kSpectrumSlots][kFftSize] = {};
    alignas(64) double recentSpectraIm[kSpectrumSlots][kFftSize] = {};
    // The filter's outputs; the frames read and the inverse transforms'
    // results pass through them too.
    alignas(64) double stageRe[kLaneValues] = {};
    alignas(64) double stageIm[kLaneValues] = {};
    alignas(64) double stageSecondRe[kLaneValues] = {};
    alignas(64) double stageSecondIm[kLaneValues] = {};
    // The filter slot's processed magnitudes, and 1.0 or 0.0 for whether each
    // bin passed the gates (doubles, so that the loops take vectors).
    alignas(64) double filterLevel[kBins] = {};
    alignas(64) double filterPasses[kBins] = {};
    // The transforms work on a real and an imaginary array at once, at the
    // same offsets in both; arrays whose distance is a multiple of 4 KB put
    // those values into the same cache sets, which then overflow. The gap
    // sets the imaginary arrays 2 KB off their real ones (lanesIn and
    // lanesWork are the inverse's pair).
    alignas(64) double lanesIn[kLaneValues] = {};
    alignas(64) double lanesRe[kLaneValues] = {};
    double lanesGap[256] = {};
    alignas(64) double lanesIm[kLaneValues] = {};
    // Work space of the inverse transforms, whose imaginary outputs nobody reads.
    alignas(64) double lanesWork[kLaneValues] = {};
};

}  // namespace engine
