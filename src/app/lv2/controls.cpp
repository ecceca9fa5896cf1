#include "app/lv2/controls.h"

#include <cmath>

#include "engine/audio_engine.h"
#include "ui/engine_commands.h"

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
    auto command = [&](uint32_t id) { ui::applyEngineCommand(e, id); };
    auto toggle = [&](float value, uint32_t flag, uint32_t id) {
        if (!std::isnan(value) && on(value) != (flag != 0)) command(id);
    };
    // Like a menu item, each changes the engine's switch between blocks.
    toggle(c.equalizer, e.equalizerOn, ui::ID_EQUALIZER);
    toggle(c.expandor, e.expandorOn, ui::ID_EXPANDOR);
    toggle(c.lms, e.lmsFilterOn, ui::ID_LMS_FILTER);
    toggle(c.combiner, e.linearCombinerOn, ui::ID_LINEAR_COMBINER);
    // No menu command sets averaging; this is the control that does.
    if (!std::isnan(c.averaging)) e.averagingOn = on(c.averaging) ? 1 : 0;

    // Each menu is a list of commands; a value picks one of them.
    auto choose = [&](float value, int32_t& applied, const uint32_t* commands, int32_t count) {
        if (std::isnan(value)) return;
        int32_t index = item(value, count);
        // The exponential menu lists Off, then the factors from 0.9 down to 0.1.
        if (commands == ui::kExponentialCommands && index != 0) index = count - index;
        if (index == applied) return;
        applied = index;
        command(commands[index]);
    };
    choose(c.noiseFloor / 10.0f, noiseFloor_, ui::kNoiseFloorCommands, 16);
    choose(c.heterodyne, heterodyne_, ui::kHeterodyneCommands, 4);
    choose(c.prefilter, prefilter_, ui::kPrefilterCommands, 3);
    choose(c.exponential * 10.0f, exponential_, ui::kExponentialCommands, 10);
    choose(c.band, band_, ui::kBandPresetCommands, 16);

    if (std::isfinite(c.minAmplitude) && (!amplitudeSet_ || c.minAmplitude != minAmplitude_)) {
        amplitudeSet_ = true;
        minAmplitude_ = c.minAmplitude;
        e.setAllMinimumAmplitudes(c.minAmplitude);
    }
}

}  // namespace lv2_plugin
