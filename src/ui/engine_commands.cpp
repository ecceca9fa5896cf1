#include "ui/engine_commands.h"

#include "engine/audio_engine.h"

namespace ui {

namespace {

bool setExponential(CAudioEngine& e, uint32_t id) {
    static constexpr double kFactors[10] = {0.0, 0.9, 0.8, 0.7, 0.6, 0.5, 0.4, 0.3, 0.2, 0.1};
    for (int i = 0; i < 10; ++i) {
        if (kExponentialCommands[i] == id) {
            e.exponentialFactor = kFactors[i];
            return true;
        }
    }
    return false;
}

bool setNoiseFloor(CAudioEngine& e, uint32_t id) {
    // The last item, "150", is the factor 2.5.
    static constexpr double kFactors[16] = {0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7,
                                            0.8, 0.9, 1.0, 1.1, 1.2, 1.3, 1.4, 2.5};
    for (int i = 0; i < 16; ++i) {
        if (kNoiseFloorCommands[i] == id) {
            e.noiseFloorFactor = kFactors[i];
            return true;
        }
    }
    return false;
}

uint32_t toggled(uint32_t flag) {
    return flag ? 0 : 1;
}

}  // namespace

bool applyEngineCommand(CAudioEngine& e, uint32_t id) {
    switch (id) {
        case ID_RESET_MIN_AMPLITUDES:
            e.setAllMinimumAmplitudes(1200.0);
            return true;
        case ID_SHOW_PEAKS:
            e.showPeaks = toggled(e.showPeaks);
            return true;
        case ID_PREFILTER_OFF:
            e.voicePrefilterOn = 0;
            e.musicPrefilterOn = 0;
            return true;
        case ID_PREFILTER_VOICE:
            e.voicePrefilterOn = 1;
            e.musicPrefilterOn = 0;
            return true;
        case ID_PREFILTER_MUSIC:
            e.voicePrefilterOn = 0;
            e.musicPrefilterOn = 1;
            return true;
        case ID_PASS_ALL:
            e.applyBandOperation(engine::kBandPass, 0, e.halfSize);
            return true;
        case ID_STOP_ALL:
            e.applyBandOperation(engine::kBandStop, 0, e.halfSize);
            return true;
        case ID_VOICE_NARROW:
            e.applyBandOperation(engine::kBandVoiceNarrow, 0, 0);
            return true;
        case ID_VOICE_MIDDLE:
            e.applyBandOperation(engine::kBandVoiceMiddle, 0, 0);
            return true;
        case ID_VOICE_WIDE:
            e.applyBandOperation(engine::kBandVoiceWide, 0, 0);
            return true;
        case ID_MUSIC_NARROW:
            e.applyBandOperation(engine::kBandMusicNarrow, 0, 0);
            return true;
        case ID_MUSIC_WIDE:
            e.applyBandOperation(engine::kBandMusicWide, 0, 0);
            return true;
        case ID_NOTCH_NARROW:
            e.applyBandOperation(engine::kBandNotchNarrow, 0, 0);
            return true;
        case ID_NOTCH_WIDE:
            e.applyBandOperation(engine::kBandNotchWide, 0, 0);
            return true;
        case ID_STOP_BELOW_100:
            e.applyBandOperation(engine::kBandStopBelow100, 0, 0);
            return true;
        case ID_STOP_BELOW_200:
            e.applyBandOperation(engine::kBandStopBelow200, 0, 0);
            return true;
        case ID_STOP_BELOW_300:
            e.applyBandOperation(engine::kBandStopBelow300, 0, 0);
            return true;
        case ID_STOP_ABOVE_3000:
            e.applyBandOperation(engine::kBandStopAbove3000, 0, 0);
            return true;
        case ID_STOP_ABOVE_4000:
            e.applyBandOperation(engine::kBandStopAbove4000, 0, 0);
            return true;
        case ID_STOP_ABOVE_5000:
            e.applyBandOperation(engine::kBandStopAbove5000, 0, 0);
            return true;
        case ID_STOP_ABOVE_6000:
            e.applyBandOperation(engine::kBandStopAbove6000, 0, 0);
            return true;
        case ID_HETERODYNE_OFF:
            e.heterodyneMode = 0;
            return true;
        case ID_HETERODYNE_5000:
            e.heterodyneMode = 1;
            return true;
        case ID_HETERODYNE_SLOW:
            e.heterodyneMode = 20;
            return true;
        case ID_HETERODYNE_FAST:
            e.heterodyneMode = 6;
            return true;
        case ID_EQUALIZER:
            e.equalizerOn = toggled(e.equalizerOn);
            return true;
        case ID_EXPANDOR:
            e.expandorOn = toggled(e.expandorOn);
            return true;
        case ID_LMS_FILTER:
            e.lmsFilterOn = toggled(e.lmsFilterOn);
            return true;
        case ID_LINEAR_COMBINER:
            e.linearCombinerOn = toggled(e.linearCombinerOn);
            return true;
        default:
            return setExponential(e, id) || setNoiseFloor(e, id);
    }
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
    switch (id) {
        case ID_SHOW_PEAKS:
            return e.showPeaks == 1;
        case ID_EQUALIZER:
            return e.equalizerOn == 1;
        case ID_EXPANDOR:
            return e.expandorOn == 1;
        case ID_LMS_FILTER:
            return e.lmsFilterOn == 1;
        case ID_LINEAR_COMBINER:
            return e.linearCombinerOn == 1;
        default:
            return false;
    }
}

BinRange binsForFrequencies(const CAudioEngine& e, double lowHz, double highHz) {
    auto firstAtLeast = [&](double hz) {
        uint32_t k = 0;
        while (k < e.halfSize && e.binFrequency[k] < hz)
            ++k;
        return k;
    };
    return {firstAtLeast(lowHz), firstAtLeast(highHz)};
}

}  // namespace ui
