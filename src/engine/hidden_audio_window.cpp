#include "engine/hidden_audio_window.h"

namespace engine {

intptr_t HiddenAudioWindow::handleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (engine_.onWaveMessage(this, message, wParam, lParam)) return 0;
    if (message == platform::WM_CREATE) {
        engine_.startup(this, rate_, stereo_);
    } else if (message == platform::WM_DESTROY) {
        engine_.closeDevices();
        platform::host().postQuitMessage(0);
    }
    return 0;
}

}  // namespace engine
