// The menu commands that act on the engine: processing options, prefilters,
// band presets and minimum amplitudes. The desktop front ends dispatch their
// menus through this and the file tool maps its options onto the same
// commands, so every setting has one implementation.
#pragma once

#include <cstdint>

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

// Carries out an engine command. Returns false for an identifier that is not
// an engine command (the caller handles it, or it has no effect).
bool applyEngineCommand(CAudioEngine& engine, uint32_t id);

// The bins from the first whose frequency is at least lowHz up to, not
// including, the first whose frequency is at least highHz; used to pass or stop
// a band given in hertz, as a selection of those bins would.
struct BinRange {
    uint32_t low;
    uint32_t high;
};
BinRange binsForFrequencies(const CAudioEngine& engine, double lowHz, double highHz);

}  // namespace ui
