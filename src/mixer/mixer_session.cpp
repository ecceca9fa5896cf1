#include "mixer/mixer_session.h"

void MixerSession::open(platform::MixerDevice* device, platform::MessageTarget* owner,
                        std::string version) {
    if (opened_ || closed_) return;
    opened_ = true;
    version_ = std::move(version);
    mixer_.initialize(device, owner, version_.c_str());
}

void MixerSession::assign() {
    if (!opened_ || closed_ || ready_) return;
    mixer_.startUpAssignment();
    if (!closed_) ready_ = true;
}

void MixerSession::routeForStart() {
    if (!ready_ || routed_) return;
    routed_ = true;
    applyStartUpRouting(mixer_);
}

bool MixerSession::notify(uint32_t message, uint32_t id) {
    if (!ready_) return false;
    if (message == platform::kMmMixmLineChange) {
        mixer_.lineChanged(id);
    } else {
        mixer_.controlChanged(id);
    }
    return true;
}

void MixerSession::close() {
    if (closed_) return;
    closed_ = true;
    // Notifications that the routing below causes find the mixer going away.
    const bool routed = ready_;
    ready_ = false;
    if (routed) applyShutdownRouting(mixer_);
    if (opened_) mixer_.release();
}
