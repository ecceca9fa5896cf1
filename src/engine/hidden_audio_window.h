// The invisible audio window: both wave devices post their completion
// messages to it, its creation starts the engine and its destruction closes
// the devices.
//
// A message box that the engine shows (a failed device call) runs a modal loop
// that keeps delivering posted messages, so a completion can arrive while the
// engine is inside one of its own handlers (or inside start-up or shutdown).
// Such a completion is held back and handled as soon as the outer handler
// returns, so the engine never runs inside itself and no buffer is lost.
#pragma once

#include "engine/audio_engine.h"
#include "platform/fixed_ring.h"
#include "platform/host.h"

namespace engine {

class HiddenAudioWindow final : public platform::MessageTarget {
  public:
    // rate and stereo are the start-up choices that the engine copies.
    HiddenAudioWindow(CAudioEngine& engine, int32_t rate, uint32_t stereo)
        : engine_(engine), rate_(rate), stereo_(stereo) {}

    // Creation and destruction deliver kWmCreate and kWmDestroy at once, as
    // creating and destroying a window does.
    void create() { handleMessage(platform::kWmCreate, 0, 0); }
    void destroy() { handleMessage(platform::kWmDestroy, 0, 0); }

    intptr_t handleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

    // Completions held back so far (for tests).
    uint32_t deferredTotal() const { return deferredTotal_; }

  private:
    struct Deferred {
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
    };
    // Every buffer completes at most once before it is queued again.
    static constexpr uint32_t kDeferredCapacity = 2 * kBufferCount;

    void handleNow(uint32_t message, uintptr_t wParam, intptr_t lParam);

    CAudioEngine& engine_;
    int32_t rate_;
    uint32_t stereo_;
    bool busy_ = false;
    platform::FixedRing<Deferred, kDeferredCapacity> deferred_;
    uint32_t deferredTotal_ = 0;
};

}  // namespace engine
