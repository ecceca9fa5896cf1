#include "app/lv2/controls.h"

#include <cmath>

#include "engine/audio_engine.h"
#include "engine/settings.h"

namespace lv2_plugin {

namespace {

// The nearest item of an enumeration of `count` items; out-of-range values
// take the nearest end.
int32_t item(float v, int32_t count) {
    if (v <= 0.0f) return 0;
    if (v >= static_cast<float>(count - 1)) return count - 1;
    return static_cast<int32_t>(std::lround(v));
}

bool on(float v) {
    return v >= 0.5f;
}

}  // namespace

void ControlMapper::apply(const Controls& c, CAudioEngine& e) {
    // Like a menu item, each changes the engine's setting between blocks.
    auto toggle = [&](float value, engine::Switch s) {
        if (!std::isnan(value)) engine::setSwitch(e, s, on(value));
    };
    toggle(c.equalizer, engine::Switch::Equalizer);
    toggle(c.expandor, engine::Switch::Expandor);
    toggle(c.lms, engine::Switch::LmsFilter);
    toggle(c.combiner, engine::Switch::LinearCombiner);
    toggle(c.averaging, engine::Switch::Averaging);

    // Each list picks one of `count` items; a choice is made again only when
    // it changes.
    auto choose = [&](float value, int32_t& applied, int32_t count, auto set) {
        if (std::isnan(value)) return;
        const int32_t index = item(value, count);
        if (index == applied) return;
        applied = index;
        set(index);
    };
    choose(c.noiseFloor / 10.0f, noiseFloor_, engine::kNoiseFloorSteps,
           [&](int32_t i) { engine::setNoiseFloor(e, i); });
    choose(c.heterodyne, heterodyne_, static_cast<int32_t>(std::size(engine::kHeterodyneModes)),
           [&](int32_t i) { engine::setHeterodyne(e, engine::kHeterodyneModes[i].value); });
    choose(c.prefilter, prefilter_, static_cast<int32_t>(std::size(engine::kPrefilters)),
           [&](int32_t i) { engine::setPrefilter(e, static_cast<engine::Prefilter>(i)); });
    choose(c.exponential * 10.0f, exponential_, engine::kExponentialSteps,
           [&](int32_t i) { engine::setExponential(e, i); });
    choose(c.band, band_, engine::kBandPresetCount,
           [&](int32_t i) { engine::applyBandPreset(e, static_cast<engine::BandPreset>(i)); });

    choose(c.enhanceFloor, enhanceFloor_, engine::kMaxEnhancementFloorDb + 1,
           [&](int32_t db) { engine::setEnhancementFloor(e.enhancement, db); });
    if (!std::isnan(c.enhance)) engine::setEnhancement(e, on(c.enhance));
    if (!std::isnan(c.blankerThreshold)) engine::setBlankerThreshold(e, c.blankerThreshold);
    if (!std::isnan(c.blanker)) engine::setBlanker(e, on(c.blanker));

    if (std::isfinite(c.minAmplitude) && (!amplitudeSet_ || c.minAmplitude != minAmplitude_)) {
        amplitudeSet_ = true;
        minAmplitude_ = c.minAmplitude;
        e.setAllMinimumAmplitudes(c.minAmplitude);
    }
}

}  // namespace lv2_plugin
