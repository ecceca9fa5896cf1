#include "engine/hidden_audio_window.h"

namespace engine {

intptr_t HiddenAudioWindow::handleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (busy_) {
        const bool completion = message == platform::kMmWimData || message == platform::kMmWomDone;
        if (completion && deferred_.push({message, wParam, lParam})) {
            ++deferredTotal_;
            return 0;
        }
    }
    const bool outer = !busy_;
    busy_ = true;
    handleNow(message, wParam, lParam);
    if (outer) {
        while (!deferred_.empty()) {
            const Deferred d = deferred_.pop();
            handleNow(d.message, d.wParam, d.lParam);
        }
        busy_ = false;
    }
    return 0;
}

void HiddenAudioWindow::handleNow(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (engine_.onWaveMessage(this, message, wParam, lParam)) return;
    if (message == platform::kWmCreate) {
        engine_.startup(this, rate_, stereo_);
    } else if (message == platform::kWmDestroy) {
        engine_.closeDevices();
        engine_.host().postQuitMessage(0);
    }
}

}  // namespace engine
