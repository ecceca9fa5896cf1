// The sizes and timing rules of the engine, written once for every program.
#pragma once

#include <cstdint>
#include <string>

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

// When the processed samples come out. Both timings run the same frames in
// the same order with the same per-block events, so the samples are the same.
//  - Design: the output pump waits for captured blocks and keeps a cushion
//    of played blocks (about seven blocks from input to speaker).
//  - Low: every hop is processed as soon as the frame it completes is in,
//    and every output hop is played as soon as it is final; the devices move
//    one hop per buffer.
enum class LatencyMode : uint8_t { Design, Low };
// The timing a command line names ("design" or "low"): what is wrong with
// the text, or empty when `mode` holds it.
inline std::string parseLatencyMode(const std::string& text, LatencyMode& mode) {
    if (text == "low" || text == "design") {
        mode = text == "low" ? LatencyMode::Low : LatencyMode::Design;
        return {};
    }
    return "'" + text + "' is not one of design, low";
}

// The samples from an input sample's arrival to the moment its output sample
// is final, on the streaming path. Output sample n (aligned to the input) is
// the pipeline's value n + kPipelineDelay, which the frame starting at
// floor((n + kPipelineDelay) / kHop) * kHop completes; that frame's last input
// sample is kFftSize - 1 further on. The first sample of a hop waits longest.
inline constexpr uint32_t kStreamingLatency = kFftSize + kPipelineDelay - 1;
constexpr uint32_t streamingLatency(int32_t /*sampleRate*/) {
    return kStreamingLatency;
}
// The same for the design's pump fed block by block, every block handed over
// as soon as it is complete: the blocks the pump waits for, less the sample
// that completes the last of them, plus the pipeline's delay.
constexpr uint32_t designStreamLatency(int32_t sampleRate) {
    return kBlocksNeeded * blockLengthFor(sampleRate) - 1 + kPipelineDelay;
}
constexpr uint32_t latencyFor(LatencyMode mode, int32_t sampleRate) {
    return mode == LatencyMode::Low ? streamingLatency(sampleRate)
                                    : designStreamLatency(sampleRate);
}

}  // namespace engine
