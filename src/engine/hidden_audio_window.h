// The invisible audio window: both wave devices post their completion
// messages to it, its creation starts the engine and its destruction closes
// the devices.
#pragma once

#include "engine/audio_engine.h"
#include "platform/host.h"

namespace engine {

class HiddenAudioWindow final : public platform::MessageTarget {
  public:
    // rate and stereo are the start-up choices that the engine copies.
    HiddenAudioWindow(CAudioEngine& engine, int32_t rate, uint32_t stereo)
        : engine_(engine), rate_(rate), stereo_(stereo) {}

    // Creation and destruction deliver WM_CREATE and WM_DESTROY at once, as
    // creating and destroying a window does.
    void create() { handleMessage(platform::WM_CREATE, 0, 0); }
    void destroy() { handleMessage(platform::WM_DESTROY, 0, 0); }

    intptr_t handleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

  private:
    CAudioEngine& engine_;
    int32_t rate_;
    uint32_t stereo_;
};

}  // namespace engine
