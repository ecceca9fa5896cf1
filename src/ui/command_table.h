// The command table: every menu command identifier of the program, what
// kind of command it is (a dialog, the selection, the display, an engine
// setting) and its radio group, and the engine setting each engine command
// makes (processing options, prefilters, band presets and minimum
// amplitudes). The main window dispatches every menu through this one table;
// the command-line programs set the same engine settings directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>

#include "engine/settings.h"

class CAudioEngine;

namespace ui {

// Menu command identifiers.
enum Command : uint32_t {
    ID_RESET_MIN_AMPLITUDES = 40112,
    ID_SHOW_PEAKS = 40065,
    ID_PREFILTER_OFF = 40117,
    ID_PREFILTER_VOICE = 40115,
    ID_PREFILTER_MUSIC = 40116,
    ID_PASS_ALL = 40032,
    ID_STOP_ALL = 40033,
    ID_VOICE_NARROW = 40012,
    ID_VOICE_MIDDLE = 40025,
    ID_VOICE_WIDE = 40039,
    ID_MUSIC_NARROW = 40013,
    ID_MUSIC_WIDE = 40027,
    ID_NOTCH_NARROW = 40111,
    ID_NOTCH_WIDE = 40017,
    ID_STOP_BELOW_100 = 40016,
    ID_STOP_BELOW_200 = 40037,
    ID_STOP_BELOW_300 = 40038,
    ID_STOP_ABOVE_3000 = 40072,
    ID_STOP_ABOVE_4000 = 40067,
    ID_STOP_ABOVE_5000 = 40068,
    ID_STOP_ABOVE_6000 = 40069,
    ID_HETERODYNE_OFF = 40108,
    ID_HETERODYNE_5000 = 40122,
    ID_HETERODYNE_SLOW = 40109,
    ID_HETERODYNE_FAST = 40110,
    ID_AVERAGING = 40079,
    ID_COMPRESSOR = 40107,
    ID_EQUALIZER = 40094,
    ID_EXPANDOR = 40080,
    ID_EXPONENTIAL_OFF = 40055,
    ID_EXPONENTIAL_09 = 40057,
    ID_EXPONENTIAL_08 = 40056,
    ID_EXPONENTIAL_07 = 40058,
    ID_EXPONENTIAL_06 = 40059,
    ID_EXPONENTIAL_05 = 40060,
    ID_EXPONENTIAL_04 = 40061,
    ID_EXPONENTIAL_03 = 40062,
    ID_EXPONENTIAL_02 = 40063,
    ID_EXPONENTIAL_01 = 40064,
    ID_NOISE_FLOOR_OFF = 40083,
    ID_NOISE_FLOOR_10 = 40090,
    ID_NOISE_FLOOR_20 = 40089,
    ID_NOISE_FLOOR_30 = 40088,
    ID_NOISE_FLOOR_40 = 40087,
    ID_NOISE_FLOOR_50 = 40086,
    ID_NOISE_FLOOR_60 = 40085,
    ID_NOISE_FLOOR_70 = 40084,
    ID_NOISE_FLOOR_80 = 40091,
    ID_NOISE_FLOOR_90 = 40092,
    ID_NOISE_FLOOR_100 = 40095,
    ID_NOISE_FLOOR_110 = 40096,
    ID_NOISE_FLOOR_120 = 40097,
    ID_NOISE_FLOOR_130 = 40098,
    ID_NOISE_FLOOR_140 = 40099,
    ID_NOISE_FLOOR_150 = 40100,
    ID_LMS_FILTER = 40077,
    ID_LINEAR_COMBINER = 40093,
    ID_SPEECH_ENHANCEMENT = 40138,
    ID_NOISE_BLANKER = 40139,
    ID_SHOW_OUTPUT = 40140,
    // The main window's commands that are not engine commands.
    ID_AUDIO_LEVEL_CONTROLS = 40102,
    ID_RECORDING_ASSIGNMENTS = 40103,
    ID_PLAYBACK_ASSIGNMENTS = 40104,
    ID_DUMP_MIXER_SETTINGS = 40105,
    ID_EXIT = 40040,
    ID_RESELECT = 40044,
    ID_SELECT_ALL = 40045,
    ID_PASS_BAND = 40028,
    ID_STOP_BAND = 40029,
    ID_MINIMUM_AMPLITUDE = 40035,
    ID_ZOOM_NORMAL = 40118,
    ID_ZOOM_IN = 40119,
    ID_ZOOM_OUT = 40120,
    ID_ZOOM_HORIZONTAL = 40047,
    ID_SHOW_MIN_AMPLITUDE = 40066,
    ID_LINEAR_PREDICTION = 40106,
    ID_RECURSIVE_LEAST_SQUARES = 40113,
    ID_KALMAN_FILTER = 40114,
    ID_QUICK_HELP = 40137,
    ID_ABOUT = 40001,
};

// The noise floor items in menu order: Off, 10, 20, ..., 140, 150.
inline constexpr uint32_t kNoiseFloorCommands[16] = {
    ID_NOISE_FLOOR_OFF, ID_NOISE_FLOOR_10,  ID_NOISE_FLOOR_20,  ID_NOISE_FLOOR_30,
    ID_NOISE_FLOOR_40,  ID_NOISE_FLOOR_50,  ID_NOISE_FLOOR_60,  ID_NOISE_FLOOR_70,
    ID_NOISE_FLOOR_80,  ID_NOISE_FLOOR_90,  ID_NOISE_FLOOR_100, ID_NOISE_FLOOR_110,
    ID_NOISE_FLOOR_120, ID_NOISE_FLOOR_130, ID_NOISE_FLOOR_140, ID_NOISE_FLOOR_150};

// The exponential filter items in menu order: Off, 0.9, 0.8, ..., 0.1.
inline constexpr uint32_t kExponentialCommands[10] = {
    ID_EXPONENTIAL_OFF, ID_EXPONENTIAL_09, ID_EXPONENTIAL_08, ID_EXPONENTIAL_07, ID_EXPONENTIAL_06,
    ID_EXPONENTIAL_05,  ID_EXPONENTIAL_04, ID_EXPONENTIAL_03, ID_EXPONENTIAL_02, ID_EXPONENTIAL_01};

// The heterodyne reduction items in menu order: Off, 5000 Hz, Slow, Fast.
inline constexpr uint32_t kHeterodyneCommands[4] = {ID_HETERODYNE_OFF, ID_HETERODYNE_5000,
                                                    ID_HETERODYNE_SLOW, ID_HETERODYNE_FAST};

// The prefilter items in menu order: Off, Voice, Music.
inline constexpr uint32_t kPrefilterCommands[3] = {ID_PREFILTER_OFF, ID_PREFILTER_VOICE,
                                                   ID_PREFILTER_MUSIC};

// The band presets: Pass All, Stop All, the voice, music and notch bands, then
// the low and high limits.
inline constexpr uint32_t kBandPresetCommands[16] = {
    ID_PASS_ALL,        ID_STOP_ALL,        ID_VOICE_NARROW,    ID_VOICE_MIDDLE,
    ID_VOICE_WIDE,      ID_MUSIC_NARROW,    ID_MUSIC_WIDE,      ID_NOTCH_NARROW,
    ID_NOTCH_WIDE,      ID_STOP_BELOW_100,  ID_STOP_BELOW_200,  ID_STOP_BELOW_300,
    ID_STOP_ABOVE_3000, ID_STOP_ABOVE_4000, ID_STOP_ABOVE_5000, ID_STOP_ABOVE_6000};

// The Zoom Vertical items in menu order.
inline constexpr uint32_t kZoomVerticalCommands[3] = {ID_ZOOM_NORMAL, ID_ZOOM_IN, ID_ZOOM_OUT};

// What a command does.
enum class CommandKind : uint8_t {
    Dialog,         // opens a dialog: 40102 to 40105, 40137, 40001
    Exit,           // 40040
    Selection,      // Reselect, Select All, Pass Band, Stop Band, Minimum Amplitude
    Display,        // a display setting of a radio group (Zoom Vertical)
    DisplayToggle,  // Zoom Horizontal, Show Minimum Amplitude
    Engine,         // applyEngineCommand; in a radio group or not (presets, Reset)
    EngineToggle,   // applyEngineCommand flips an engine switch
    NoEffect,       // Averaging, Compressor, Linear Prediction, RLS, Kalman
};

enum class RadioGroup : uint8_t {
    None,
    ZoomVertical,
    Prefilter,
    Heterodyne,
    Exponential,
    NoiseFloor
};

// The engine setting a command makes, for Engine and EngineToggle commands.
struct EngineSetting {
    enum class Kind : uint8_t {
        None,
        Toggle,       // value: an engine::Switch, flipped
        Prefilter,    // value: an engine::Prefilter
        Heterodyne,   // value: an engine::HeterodyneMode
        Exponential,  // value: tenths
        NoiseFloor,   // value: steps of ten
        Preset,       // value: an engine::BandPreset
        ResetMinimum,
    };
    Kind kind = Kind::None;
    uint8_t value = 0;
};

// The constructors of the table's settings.
struct Set {
    static constexpr EngineSetting toggle(engine::Switch s) {
        return {EngineSetting::Kind::Toggle, static_cast<uint8_t>(s)};
    }
    static constexpr EngineSetting prefilter(engine::Prefilter p) {
        return {EngineSetting::Kind::Prefilter, static_cast<uint8_t>(p)};
    }
    static constexpr EngineSetting heterodyne(engine::HeterodyneMode m) {
        return {EngineSetting::Kind::Heterodyne, static_cast<uint8_t>(m)};
    }
    static constexpr EngineSetting exponential(int tenths) {
        return {EngineSetting::Kind::Exponential, static_cast<uint8_t>(tenths)};
    }
    static constexpr EngineSetting noiseFloor(int step) {
        return {EngineSetting::Kind::NoiseFloor, static_cast<uint8_t>(step)};
    }
    static constexpr EngineSetting preset(engine::BandPreset p) {
        return {EngineSetting::Kind::Preset, static_cast<uint8_t>(p)};
    }
    static constexpr EngineSetting reset() { return {EngineSetting::Kind::ResetMinimum, 0}; }
};

struct CommandInfo {
    uint32_t id;
    CommandKind kind;
    RadioGroup group;
    EngineSetting setting = {};
};

// Every command identifier of the program, grouped as in the menus.
inline constexpr CommandInfo kCommandTable[] = {
    {ID_AUDIO_LEVEL_CONTROLS, CommandKind::Dialog, RadioGroup::None},
    {ID_RECORDING_ASSIGNMENTS, CommandKind::Dialog, RadioGroup::None},
    {ID_PLAYBACK_ASSIGNMENTS, CommandKind::Dialog, RadioGroup::None},
    {ID_DUMP_MIXER_SETTINGS, CommandKind::Dialog, RadioGroup::None},
    {ID_EXIT, CommandKind::Exit, RadioGroup::None},
    {ID_RESELECT, CommandKind::Selection, RadioGroup::None},
    {ID_SELECT_ALL, CommandKind::Selection, RadioGroup::None},
    {ID_PASS_BAND, CommandKind::Selection, RadioGroup::None},
    {ID_STOP_BAND, CommandKind::Selection, RadioGroup::None},
    {ID_MINIMUM_AMPLITUDE, CommandKind::Selection, RadioGroup::None},
    {ID_RESET_MIN_AMPLITUDES, CommandKind::Engine, RadioGroup::None, Set::reset()},
    {ID_ZOOM_NORMAL, CommandKind::Display, RadioGroup::ZoomVertical},
    {ID_ZOOM_IN, CommandKind::Display, RadioGroup::ZoomVertical},
    {ID_ZOOM_OUT, CommandKind::Display, RadioGroup::ZoomVertical},
    {ID_ZOOM_HORIZONTAL, CommandKind::DisplayToggle, RadioGroup::None},
    {ID_SHOW_PEAKS, CommandKind::EngineToggle, RadioGroup::None,
     Set::toggle(engine::Switch::ShowPeaks)},
    {ID_SHOW_MIN_AMPLITUDE, CommandKind::DisplayToggle, RadioGroup::None},
    {ID_SHOW_OUTPUT, CommandKind::EngineToggle, RadioGroup::None,
     Set::toggle(engine::Switch::ShowOutput)},
    {ID_PREFILTER_OFF, CommandKind::Engine, RadioGroup::Prefilter,
     Set::prefilter(engine::Prefilter::Off)},
    {ID_PREFILTER_VOICE, CommandKind::Engine, RadioGroup::Prefilter,
     Set::prefilter(engine::Prefilter::Voice)},
    {ID_PREFILTER_MUSIC, CommandKind::Engine, RadioGroup::Prefilter,
     Set::prefilter(engine::Prefilter::Music)},
    {ID_PASS_ALL, CommandKind::Engine, RadioGroup::None, Set::preset(engine::BandPreset::PassAll)},
    {ID_STOP_ALL, CommandKind::Engine, RadioGroup::None, Set::preset(engine::BandPreset::StopAll)},
    {ID_VOICE_NARROW, CommandKind::Engine, RadioGroup::None,
     Set::preset(engine::BandPreset::VoiceNarrow)},
    {ID_VOICE_MIDDLE, CommandKind::Engine, RadioGroup::None,
     Set::preset(engine::BandPreset::VoiceMiddle)},
    {ID_VOICE_WIDE, CommandKind::Engine, RadioGroup::None,
     Set::preset(engine::BandPreset::VoiceWide)},
    {ID_MUSIC_NARROW, CommandKind::Engine, RadioGroup::None,
     Set::preset(engine::BandPreset::MusicNarrow)},
    {ID_MUSIC_WIDE, CommandKind::Engine, RadioGroup::None,
     Set::preset(engine::BandPreset::MusicWide)},
    {ID_NOTCH_NARROW, CommandKind::Engine, RadioGroup::None,
     Set::preset(engine::BandPreset::NotchNarrow)},
    {ID_NOTCH_WIDE, CommandKind::Engine, RadioGroup::None,
     Set::preset(engine::BandPreset::NotchWide)},
    {ID_STOP_BELOW_100, CommandKind::Engine, RadioGroup::None,
     Set::preset(engine::BandPreset::StopBelow100)},
    {ID_STOP_BELOW_200, CommandKind::Engine, RadioGroup::None,
     Set::preset(engine::BandPreset::StopBelow200)},
    {ID_STOP_BELOW_300, CommandKind::Engine, RadioGroup::None,
     Set::preset(engine::BandPreset::StopBelow300)},
    {ID_STOP_ABOVE_3000, CommandKind::Engine, RadioGroup::None,
     Set::preset(engine::BandPreset::StopAbove3000)},
    {ID_STOP_ABOVE_4000, CommandKind::Engine, RadioGroup::None,
     Set::preset(engine::BandPreset::StopAbove4000)},
    {ID_STOP_ABOVE_5000, CommandKind::Engine, RadioGroup::None,
     Set::preset(engine::BandPreset::StopAbove5000)},
    {ID_STOP_ABOVE_6000, CommandKind::Engine, RadioGroup::None,
     Set::preset(engine::BandPreset::StopAbove6000)},
    {ID_HETERODYNE_OFF, CommandKind::Engine, RadioGroup::Heterodyne,
     Set::heterodyne(engine::HeterodyneMode::Off)},
    {ID_HETERODYNE_5000, CommandKind::Engine, RadioGroup::Heterodyne,
     Set::heterodyne(engine::HeterodyneMode::Window5000)},
    {ID_HETERODYNE_SLOW, CommandKind::Engine, RadioGroup::Heterodyne,
     Set::heterodyne(engine::HeterodyneMode::Slow)},
    {ID_HETERODYNE_FAST, CommandKind::Engine, RadioGroup::Heterodyne,
     Set::heterodyne(engine::HeterodyneMode::Fast)},
    {ID_AVERAGING, CommandKind::NoEffect, RadioGroup::None},
    {ID_COMPRESSOR, CommandKind::NoEffect, RadioGroup::None},
    {ID_EQUALIZER, CommandKind::EngineToggle, RadioGroup::None,
     Set::toggle(engine::Switch::Equalizer)},
    {ID_EXPANDOR, CommandKind::EngineToggle, RadioGroup::None,
     Set::toggle(engine::Switch::Expandor)},
    {ID_SPEECH_ENHANCEMENT, CommandKind::EngineToggle, RadioGroup::None,
     Set::toggle(engine::Switch::Enhancement)},
    {ID_NOISE_BLANKER, CommandKind::EngineToggle, RadioGroup::None,
     Set::toggle(engine::Switch::Blanker)},
    {ID_EXPONENTIAL_OFF, CommandKind::Engine, RadioGroup::Exponential, Set::exponential(0)},
    {ID_EXPONENTIAL_09, CommandKind::Engine, RadioGroup::Exponential, Set::exponential(9)},
    {ID_EXPONENTIAL_08, CommandKind::Engine, RadioGroup::Exponential, Set::exponential(8)},
    {ID_EXPONENTIAL_07, CommandKind::Engine, RadioGroup::Exponential, Set::exponential(7)},
    {ID_EXPONENTIAL_06, CommandKind::Engine, RadioGroup::Exponential, Set::exponential(6)},
    {ID_EXPONENTIAL_05, CommandKind::Engine, RadioGroup::Exponential, Set::exponential(5)},
    {ID_EXPONENTIAL_04, CommandKind::Engine, RadioGroup::Exponential, Set::exponential(4)},
    {ID_EXPONENTIAL_03, CommandKind::Engine, RadioGroup::Exponential, Set::exponential(3)},
    {ID_EXPONENTIAL_02, CommandKind::Engine, RadioGroup::Exponential, Set::exponential(2)},
    {ID_EXPONENTIAL_01, CommandKind::Engine, RadioGroup::Exponential, Set::exponential(1)},
    {ID_NOISE_FLOOR_OFF, CommandKind::Engine, RadioGroup::NoiseFloor, Set::noiseFloor(0)},
    {ID_NOISE_FLOOR_10, CommandKind::Engine, RadioGroup::NoiseFloor, Set::noiseFloor(1)},
    {ID_NOISE_FLOOR_20, CommandKind::Engine, RadioGroup::NoiseFloor, Set::noiseFloor(2)},
    {ID_NOISE_FLOOR_30, CommandKind::Engine, RadioGroup::NoiseFloor, Set::noiseFloor(3)},
    {ID_NOISE_FLOOR_40, CommandKind::Engine, RadioGroup::NoiseFloor, Set::noiseFloor(4)},
    {ID_NOISE_FLOOR_50, CommandKind::Engine, RadioGroup::NoiseFloor, Set::noiseFloor(5)},
    {ID_NOISE_FLOOR_60, CommandKind::Engine, RadioGroup::NoiseFloor, Set::noiseFloor(6)},
    {ID_NOISE_FLOOR_70, CommandKind::Engine, RadioGroup::NoiseFloor, Set::noiseFloor(7)},
    {ID_NOISE_FLOOR_80, CommandKind::Engine, RadioGroup::NoiseFloor, Set::noiseFloor(8)},
    {ID_NOISE_FLOOR_90, CommandKind::Engine, RadioGroup::NoiseFloor, Set::noiseFloor(9)},
    {ID_NOISE_FLOOR_100, CommandKind::Engine, RadioGroup::NoiseFloor, Set::noiseFloor(10)},
    {ID_NOISE_FLOOR_110, CommandKind::Engine, RadioGroup::NoiseFloor, Set::noiseFloor(11)},
    {ID_NOISE_FLOOR_120, CommandKind::Engine, RadioGroup::NoiseFloor, Set::noiseFloor(12)},
    {ID_NOISE_FLOOR_130, CommandKind::Engine, RadioGroup::NoiseFloor, Set::noiseFloor(13)},
    {ID_NOISE_FLOOR_140, CommandKind::Engine, RadioGroup::NoiseFloor, Set::noiseFloor(14)},
    {ID_NOISE_FLOOR_150, CommandKind::Engine, RadioGroup::NoiseFloor, Set::noiseFloor(15)},
    {ID_LMS_FILTER, CommandKind::EngineToggle, RadioGroup::None,
     Set::toggle(engine::Switch::LmsFilter)},
    {ID_LINEAR_COMBINER, CommandKind::EngineToggle, RadioGroup::None,
     Set::toggle(engine::Switch::LinearCombiner)},
    {ID_LINEAR_PREDICTION, CommandKind::NoEffect, RadioGroup::None},
    {ID_RECURSIVE_LEAST_SQUARES, CommandKind::NoEffect, RadioGroup::None},
    {ID_KALMAN_FILTER, CommandKind::NoEffect, RadioGroup::None},
    {ID_QUICK_HELP, CommandKind::Dialog, RadioGroup::None},
    {ID_ABOUT, CommandKind::Dialog, RadioGroup::None},
};

// The radio groups and the presets follow the engine's vocabularies item
// for item: each list's item i sets the vocabulary's item i.
namespace checks {
// By value, not through pointers: the sanitizers' null checks are not
// constant expressions.
template <size_t N, class Value>
constexpr bool sets(const uint32_t (&commands)[N], EngineSetting::Kind kind, Value value) {
    for (size_t i = 0; i < N; ++i) {
        bool right = false;
        for (const CommandInfo& c : kCommandTable)
            if (c.id == commands[i])
                right = c.setting.kind == kind && c.setting.value == static_cast<uint8_t>(value(i));
        if (!right) return false;
    }
    return true;
}
}  // namespace checks
static_assert(std::size(kBandPresetCommands) == std::size(engine::kBandPresets) &&
              checks::sets(kBandPresetCommands, EngineSetting::Kind::Preset,
                           [](size_t i) { return engine::kBandPresets[i].value; }));
static_assert(std::size(kHeterodyneCommands) == std::size(engine::kHeterodyneModes) &&
              checks::sets(kHeterodyneCommands, EngineSetting::Kind::Heterodyne,
                           [](size_t i) { return engine::kHeterodyneModes[i].value; }));
static_assert(std::size(kPrefilterCommands) == std::size(engine::kPrefilters) &&
              checks::sets(kPrefilterCommands, EngineSetting::Kind::Prefilter,
                           [](size_t i) { return engine::kPrefilters[i].value; }));
static_assert(std::size(kNoiseFloorCommands) == engine::kNoiseFloorSteps &&
              checks::sets(kNoiseFloorCommands, EngineSetting::Kind::NoiseFloor,
                           [](size_t i) { return i; }));
// The exponential items run Off, 0.9 down to 0.1.
static_assert(std::size(kExponentialCommands) == engine::kExponentialSteps &&
              checks::sets(kExponentialCommands, EngineSetting::Kind::Exponential,
                           [](size_t i) { return i == 0 ? 0 : 10 - i; }));

// The entry of a command identifier, or null for an unknown one.
const CommandInfo* findCommand(uint32_t id);
// Whether the core ever checks the item: toggles and radio groups. Every
// other item is a plain command and never shows a mark.
bool hasCheckMark(uint32_t id);
// The items of a radio group in menu order; empty for RadioGroup::None.
std::span<const uint32_t> radioGroupItems(RadioGroup group);
// The state of an engine switch a toggle command flips (EngineToggle), after
// the command: true for 1. False for any other command.
bool engineToggleState(const CAudioEngine& engine, uint32_t id);

// Carries out an engine command through its setting. Returns false for an
// identifier that is not an engine command (the caller handles it, or it has
// no effect).
bool applyEngineCommand(CAudioEngine& engine, uint32_t id);

}  // namespace ui
