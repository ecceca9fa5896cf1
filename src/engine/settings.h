// The processing settings every program sets, as named values. The desktop
// program's menus map onto them through the command table; the file tool, the
// live tool and the plugins set them directly. Each constant is written here
// once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "dsp/noise_blanker.h"
#include "engine/enhancement.h"

class CAudioEngine;

namespace engine {

// Automatic heterodyne reduction. The value is the number of frames a bin must
// stand out before its notch closes; the 5000 Hz mode watches only the bins
// strictly inside its window and closes after kWindowFrames.
enum class HeterodyneMode : uint32_t { Off = 0, Window5000 = 1, Fast = 6, Slow = 20 };
inline constexpr double kHeterodyneWindowLowHz = 4900.0;
inline constexpr double kHeterodyneWindowHighHz = 5100.0;
inline constexpr uint32_t kHeterodyneWindowFrames = 6;

enum class Prefilter : uint8_t { Off, Voice, Music };

// The band presets, in the order of the menus.
enum class BandPreset : uint8_t {
    PassAll,
    StopAll,
    VoiceNarrow,
    VoiceMiddle,
    VoiceWide,
    MusicNarrow,
    MusicWide,
    NotchNarrow,
    NotchWide,
    StopBelow100,
    StopBelow200,
    StopBelow300,
    StopAbove3000,
    StopAbove4000,
    StopAbove5000,
    StopAbove6000,
};
inline constexpr int kBandPresetCount = 16;

// Each vocabulary once, in the order of the menus (and of the plugins'
// lists): the value, the command line's word for it and the plugins' label.
// The menus' own labels, with their access keys, are the menu table's.
template <class T>
struct Named {
    T value;
    const char* option;
    const char* label;
};

inline constexpr Named<BandPreset> kBandPresets[] = {
    {BandPreset::PassAll, "pass-all", "Pass all"},
    {BandPreset::StopAll, "stop-all", "Stop all"},
    {BandPreset::VoiceNarrow, "voice-narrow", "Voice narrow"},
    {BandPreset::VoiceMiddle, "voice-middle", "Voice middle"},
    {BandPreset::VoiceWide, "voice-wide", "Voice wide"},
    {BandPreset::MusicNarrow, "music-narrow", "Music narrow"},
    {BandPreset::MusicWide, "music-wide", "Music wide"},
    {BandPreset::NotchNarrow, "notch-narrow", "Notch narrow"},
    {BandPreset::NotchWide, "notch-wide", "Notch wide"},
    {BandPreset::StopBelow100, "stop-below-100", "Stop below 100 Hz"},
    {BandPreset::StopBelow200, "stop-below-200", "Stop below 200 Hz"},
    {BandPreset::StopBelow300, "stop-below-300", "Stop below 300 Hz"},
    {BandPreset::StopAbove3000, "stop-above-3000", "Stop above 3000 Hz"},
    {BandPreset::StopAbove4000, "stop-above-4000", "Stop above 4000 Hz"},
    {BandPreset::StopAbove5000, "stop-above-5000", "Stop above 5000 Hz"},
    {BandPreset::StopAbove6000, "stop-above-6000", "Stop above 6000 Hz"},
};

inline constexpr Named<HeterodyneMode> kHeterodyneModes[] = {
    {HeterodyneMode::Off, "off", "Off"},
    {HeterodyneMode::Window5000, "5000", "5000 Hz"},
    {HeterodyneMode::Slow, "slow", "Slow"},
    {HeterodyneMode::Fast, "fast", "Fast"},
};

inline constexpr Named<Prefilter> kPrefilters[] = {
    {Prefilter::Off, "off", "Off"},
    {Prefilter::Voice, "voice", "Voice"},
    {Prefilter::Music, "music", "Music"},
};

// The position of a value in its vocabulary.
template <class T, size_t N>
constexpr size_t indexIn(const Named<T> (&table)[N], T value) {
    for (size_t i = 0; i < N; ++i)
        if (table[i].value == value) return i;
    return N;
}
template <class T, size_t N>
constexpr bool inEnumOrder(const Named<T> (&table)[N]) {
    for (size_t i = 0; i < N; ++i)
        if (static_cast<size_t>(table[i].value) != i) return false;
    return true;
}
static_assert(std::size(kBandPresets) == kBandPresetCount && inEnumOrder(kBandPresets),
              "a band preset's number is its place in the menu");
static_assert(inEnumOrder(kPrefilters), "a prefilter's number is its place in the menu");

// The engine's on/off switches.
enum class Switch : uint8_t {
    ShowPeaks,
    Averaging,
    Equalizer,
    Expandor,
    LmsFilter,
    LinearCombiner,
    Enhancement,  // switching it on starts it afresh
    Blanker,      // likewise
    ShowOutput    // the output's spectrum gathered for the display
};

// Noise-floor subtraction in steps of ten: 0 is off, 1 to 15 are 10 to 150,
// the command line's words for them.
inline constexpr int kNoiseFloorSteps = 16;
inline constexpr const char* kNoiseFloorNames[kNoiseFloorSteps] = {
    "off", "10", "20",  "30",  "40",  "50",  "60",  "70",
    "80",  "90", "100", "110", "120", "130", "140", "150"};
// The factor of each step; the last, 150, is 2.5.
inline constexpr double kNoiseFloorFactors[kNoiseFloorSteps] = {
    0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0, 1.1, 1.2, 1.3, 1.4, 2.5};

// The exponential smoother in tenths: 0 is off, 1 to 9 are 0.1 to 0.9, the
// command line's words for them.
inline constexpr int kExponentialSteps = 10;
inline constexpr const char* kExponentialNames[kExponentialSteps] = {
    "off", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7", "0.8", "0.9"};
inline constexpr double kExponentialFactors[kExponentialSteps] = {0.0, 0.1, 0.2, 0.3, 0.4,
                                                                  0.5, 0.6, 0.7, 0.8, 0.9};

// What Reset Minimum Amplitudes sets every bin to.
inline constexpr double kDefaultMinimumAmplitude = 1200.0;

// The choices a program without menus makes once, after start-up; the
// defaults are the engine's own after start-up.
struct Settings {
    Prefilter prefilter = Prefilter::Off;
    bool lmsFilter = false;
    bool linearCombiner = false;
    int exponential = 0;  // tenths
    int noiseFloor = 0;   // steps of ten
    HeterodyneMode heterodyne = HeterodyneMode::Window5000;
    bool equalizer = true;
    bool expandor = true;
    bool averaging = false;
    bool enhancement = false;
    int enhancementFloor = kDefaultEnhancementFloorDb;  // dB
    bool blanker = false;
    double blankerThreshold = CNoiseBlanker::kDefaultThreshold;
};
void applySettings(CAudioEngine& e, const Settings& s);
// The samples the input stages chosen in `s` delay the signal by at a rate
// (the noise blanker's look-ahead), on top of the pipeline's delay.
uint32_t inputDelayFor(const Settings& s, int32_t sampleRate);

void setHeterodyne(CAudioEngine& e, HeterodyneMode mode);
void setPrefilter(CAudioEngine& e, Prefilter p);
// Steps outside the range take the nearest end.
void setNoiseFloor(CAudioEngine& e, int step);
void setExponential(CAudioEngine& e, int tenths);
void setSwitch(CAudioEngine& e, Switch s, bool on);
bool switchOn(const CAudioEngine& e, Switch s);
// Speech enhancement (Switch::Enhancement); switching it on starts it afresh.
void setEnhancement(CAudioEngine& e, bool on);
// The noise blanker (Switch::Blanker) and its threshold, in multiples of the
// running level of the prediction error (clamped to the blanker's range).
void setBlanker(CAudioEngine& e, bool on);
void setBlankerThreshold(CAudioEngine& e, double threshold);
void applyBandPreset(CAudioEngine& e, BandPreset preset);
void resetMinimumAmplitudes(CAudioEngine& e);

// Passes or stops the bins from the first whose frequency is at least lowHz up
// to, not including, the first whose frequency is at least highHz, as a
// selection of those bins would.
struct BinRange {
    uint32_t low;
    uint32_t high;
};
BinRange binsForFrequencies(const CAudioEngine& e, double lowHz, double highHz);
void passBand(CAudioEngine& e, double lowHz, double highHz);
void stopBand(CAudioEngine& e, double lowHz, double highHz);

}  // namespace engine
