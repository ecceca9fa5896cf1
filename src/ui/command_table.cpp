#include "ui/command_table.h"

#include "engine/audio_engine.h"

namespace ui {

bool applyEngineCommand(CAudioEngine& e, uint32_t id) {
    const CommandInfo* c = findCommand(id);
    if (!c) return false;
    const uint8_t v = c->setting.value;
    using Kind = EngineSetting::Kind;
    switch (c->setting.kind) {
        case Kind::None:
            return false;
        case Kind::Toggle: {
            const auto s = static_cast<engine::Switch>(v);
            engine::setSwitch(e, s, !engine::switchOn(e, s));
            return true;
        }
        case Kind::Prefilter:
            engine::setPrefilter(e, static_cast<engine::Prefilter>(v));
            return true;
        case Kind::Heterodyne:
            engine::setHeterodyne(e, static_cast<engine::HeterodyneMode>(v));
            return true;
        case Kind::Exponential:
            engine::setExponential(e, v);
            return true;
        case Kind::NoiseFloor:
            engine::setNoiseFloor(e, v);
            return true;
        case Kind::Preset:
            engine::applyBandPreset(e, static_cast<engine::BandPreset>(v));
            return true;
        case Kind::ResetMinimum:
            engine::resetMinimumAmplitudes(e);
            return true;
    }
    return false;
}

const CommandInfo* findCommand(uint32_t id) {
    for (const CommandInfo& c : kCommandTable)
        if (c.id == id) return &c;
    return nullptr;
}

bool hasCheckMark(uint32_t id) {
    const CommandInfo* c = findCommand(id);
    return c && (c->group != RadioGroup::None || c->kind == CommandKind::DisplayToggle ||
                 c->kind == CommandKind::EngineToggle);
}

std::span<const uint32_t> radioGroupItems(RadioGroup group) {
    switch (group) {
        case RadioGroup::ZoomVertical:
            return kZoomVerticalCommands;
        case RadioGroup::Prefilter:
            return kPrefilterCommands;
        case RadioGroup::Heterodyne:
            return kHeterodyneCommands;
        case RadioGroup::Exponential:
            return kExponentialCommands;
        case RadioGroup::NoiseFloor:
            return kNoiseFloorCommands;
        case RadioGroup::None:
            break;
    }
    return {};
}

bool engineToggleState(const CAudioEngine& e, uint32_t id) {
    const CommandInfo* c = findCommand(id);
    if (!c || c->setting.kind != EngineSetting::Kind::Toggle) return false;
    return engine::switchOn(e, static_cast<engine::Switch>(c->setting.value));
}

}  // namespace ui
