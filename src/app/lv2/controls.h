// The plugin's settings, as the host's control ports hold them, carried over
// to the engine's typed settings.
#pragma once

#include <cstdint>

class CAudioEngine;

namespace lv2_plugin {

// One value per control port, in port order. Enumerations hold the item's
// value: the noise floor 0 (off) or 10 to 150, the exponential factor 0 (off)
// or 0.1 to 0.9, and the others the item's index in menu order. A value that
// is not a number leaves its setting as it is (a port nobody connected).
struct Controls {
    float equalizer;
    float expandor;
    float averaging;
    float noiseFloor;
    float heterodyne;  // off, 5000 Hz, slow, fast
    float prefilter;   // off, voice, music
    float lms;
    float combiner;
    float exponential;
    float band;  // a band preset; applied when it changes
    float minAmplitude;
    float enhance;
    float enhanceFloor;  // dB
    float blanker;
    float blankerThreshold;  // times the prediction error's level
};
// The fields in port order.
inline constexpr float Controls::*kControlFields[] = {
    &Controls::equalizer,    &Controls::expandor,     &Controls::averaging,
    &Controls::noiseFloor,   &Controls::heterodyne,   &Controls::prefilter,
    &Controls::lms,          &Controls::combiner,     &Controls::exponential,
    &Controls::band,         &Controls::minAmplitude, &Controls::enhance,
    &Controls::enhanceFloor, &Controls::blanker,      &Controls::blankerThreshold};
inline constexpr uint32_t kControlCount = sizeof kControlFields / sizeof kControlFields[0];

// Applies what changed since the last call. The first call after start-up
// applies every setting, which leaves the engine as it started for the
// defaults, so a preset or an amplitude never has to be remembered here.
class ControlMapper {
  public:
    void apply(const Controls& c, CAudioEngine& engine);

  private:
    int32_t noiseFloor_ = -1;
    int32_t heterodyne_ = -1;
    int32_t prefilter_ = -1;
    int32_t exponential_ = -1;
    int32_t band_ = -1;
    int32_t enhanceFloor_ = -1;
    bool amplitudeSet_ = false;
    float minAmplitude_ = 0.0f;
};

}  // namespace lv2_plugin
