#include "engine/audio_session.h"

namespace engine {

void AudioSession::startEngine(int32_t rate, bool stereo) {
    if (window_) return;
    rate_ = rate;
    stereo_ = stereo;
    engine_.latencyMode = mode_;
    window_.emplace(engine_, rate, stereo ? 1 : 0);
    window_->create();
}

void AudioSession::designFilters() {
    designInputFilters(filters_, static_cast<uint32_t>(rate_), engine_.host());
}

void AudioSession::stop() {
    if (!window_ || stopped_) return;
    stopped_ = true;
    window_->destroy();
}

}  // namespace engine
