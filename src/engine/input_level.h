// The automatic input level step as the engine sees it: run once per captured
// block, after the input conditioning has raised the peak and before the
// output pump runs. The mixer supplies the real step; the engine knows only
// this interface.
#pragma once

#include <cstdint>

namespace engine {

class InputLevel {
  public:
    virtual ~InputLevel() = default;
    // Consumes the block's peak: reads it and sets it back to 0.
    virtual void adjustInputLevel(int32_t& inputPeak) = 0;
};

// Until a mixer is attached: only consume the peak.
class PeakOnlyInputLevel final : public InputLevel {
  public:
    void adjustInputLevel(int32_t& inputPeak) override { inputPeak = 0; }
};

}  // namespace engine
