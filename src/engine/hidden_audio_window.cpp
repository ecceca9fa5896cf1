#include "engine/hidden_audio_window.h"

namespace engine {

intptr_t HiddenAudioWindow::handleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (busy_) {
        const bool completion = message == platform::kMmWimData || message == platform::kMmWomDone;
        if (completion && deferredCount_ < kDeferredCapacity) {
            deferred_[(deferredHead_ + deferredCount_) % kDeferredCapacity] = {message, wParam,
                                                                               lParam};
            ++deferredCount_;
            ++deferredTotal_;
            return 0;
        }
    }
    const bool outer = !busy_;
    busy_ = true;
    handleNow(message, wParam, lParam);
    if (outer) {
        while (deferredCount_ > 0) {
            const Deferred d = deferred_[deferredHead_];
            deferredHead_ = (deferredHead_ + 1) % kDeferredCapacity;
            --deferredCount_;
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
