// The sizes and timing rules of the engine, written once for every program.
#pragma once

#include <cstdint>

namespace engine {

inline constexpr uint32_t kBufferCount = 10;
inline constexpr uint32_t kSlotCapacity = 4096;
inline constexpr uint32_t kSpectrumSlots = 3;
inline constexpr uint32_t kFftSize = 1024;
inline constexpr uint32_t kBins = kFftSize / 2;
// Frames overlap by three quarters; the filter works on the frame two hops
// back, so every output sample leaves the pipeline kPipelineDelay samples
// after its input sample entered.
inline constexpr uint32_t kHop = kFftSize / 4;
inline constexpr uint32_t kPipelineDelay = 2 * kHop;
// The sampling rates the engine runs at.
inline constexpr int32_t kMinSampleRate = 8000;
inline constexpr int32_t kMaxSampleRate = 48000;
// Captured blocks that must wait before the output pump processes the oldest;
// a stream that feeds the engine block by block is delayed by this many.
inline constexpr uint32_t kBlocksNeeded = 3;
// The expandor raises a magnitude m to m^1.2 / 12, which must exceed 200 to
// pass the absolute gate: it does exactly from this value up, so the powers
// of the magnitudes below it are never needed (the tests check every double
// near it).
inline constexpr double kExpandorPassesFrom = 0x1.47f42e222d995p+9;  // about 655.9077
// The samples of one capture or playback block at a rate: about a fifth of a
// second at the lower rates, a tenth at the higher.
constexpr uint32_t blockLengthFor(int32_t sampleRate) {
    return sampleRate < 22050 ? 2048 : 4096;
}

}  // namespace engine
