#include "engine/settings.h"

#include "engine/audio_engine.h"

namespace engine {

namespace {

int clampStep(int step, int count) {
    return step < 0 ? 0 : step >= count ? count - 1 : step;
}

uint32_t* switchField(CAudioEngine& e, Switch s) {
    switch (s) {
        case Switch::ShowPeaks:
            return &e.showPeaks;
        case Switch::Averaging:
            return &e.averagingOn;
        case Switch::Equalizer:
            return &e.equalizerOn;
        case Switch::Expandor:
            return &e.expandorOn;
        case Switch::LmsFilter:
            return &e.lmsFilterOn;
        case Switch::LinearCombiner:
            return &e.linearCombinerOn;
        case Switch::Enhancement:
            return &e.enhancement.on;
        case Switch::Blanker:
            return &e.blankerOn;
        case Switch::ShowOutput:
            return &e.showOutput;
    }
    return &e.showPeaks;
}

// The band operation of each preset that only adds to or replaces the mask.
constexpr uint32_t kPresetCodes[kBandPresetCount] = {
    kBandPass,          kBandStop,          kBandVoiceNarrow,   kBandVoiceMiddle,
    kBandVoiceWide,     kBandMusicNarrow,   kBandMusicWide,     kBandNotchNarrow,
    kBandNotchWide,     kBandStopBelow100,  kBandStopBelow200,  kBandStopBelow300,
    kBandStopAbove3000, kBandStopAbove4000, kBandStopAbove5000, kBandStopAbove6000};

}  // namespace

void applySettings(CAudioEngine& e, const Settings& s) {
    setPrefilter(e, s.prefilter);
    setSwitch(e, Switch::LmsFilter, s.lmsFilter);
    setSwitch(e, Switch::LinearCombiner, s.linearCombiner);
    setExponential(e, s.exponential);
    setNoiseFloor(e, s.noiseFloor);
    setHeterodyne(e, s.heterodyne);
    setSwitch(e, Switch::Equalizer, s.equalizer);
    setSwitch(e, Switch::Expandor, s.expandor);
    setSwitch(e, Switch::Averaging, s.averaging);
    setEnhancementFloor(e.enhancement, s.enhancementFloor);
    setEnhancement(e, s.enhancement);
    setBlankerThreshold(e, s.blankerThreshold);
    setBlanker(e, s.blanker);
}

uint32_t inputDelayFor(const Settings& s, int32_t sampleRate) {
    return s.blanker ? CNoiseBlanker::delayFor(sampleRate) : 0;
}

void setBlanker(CAudioEngine& e, bool on) {
    setSwitch(e, Switch::Blanker, on);
}

void setBlankerThreshold(CAudioEngine& e, double threshold) {
    e.blanker.setThreshold(threshold);
}

void setEnhancement(CAudioEngine& e, bool on) {
    setSwitch(e, Switch::Enhancement, on);
}

void setHeterodyne(CAudioEngine& e, HeterodyneMode mode) {
    e.heterodyneMode = static_cast<uint32_t>(mode);
}

void setPrefilter(CAudioEngine& e, Prefilter p) {
    e.voicePrefilterOn = p == Prefilter::Voice ? 1 : 0;
    e.musicPrefilterOn = p == Prefilter::Music ? 1 : 0;
}

void setNoiseFloor(CAudioEngine& e, int step) {
    e.noiseFloorFactor = kNoiseFloorFactors[clampStep(step, kNoiseFloorSteps)];
}

void setExponential(CAudioEngine& e, int tenths) {
    e.exponentialFactor = kExponentialFactors[clampStep(tenths, kExponentialSteps)];
}

void setSwitch(CAudioEngine& e, Switch s, bool on) {
    if (s == Switch::Enhancement && on && !e.enhancement.on) resetEnhancement(e.enhancement);
    if (s == Switch::Blanker && on && !e.blankerOn) e.blanker.reset();
    // Sums left from an earlier time it was shown would be drawn as this one's.
    if (s == Switch::ShowOutput && on && !e.showOutput) {
        for (double& v : e.outputSum)
            v = 0.0;
        e.outputFrameCount = 0;
    }
    *switchField(e, s) = on ? 1 : 0;
}

bool switchOn(const CAudioEngine& e, Switch s) {
    return *switchField(const_cast<CAudioEngine&>(e), s) == 1;
}

void applyBandPreset(CAudioEngine& e, BandPreset preset) {
    const uint32_t code = kPresetCodes[static_cast<int>(preset)];
    // Pass All and Stop All cover the whole half spectrum; the other presets
    // choose their bins by frequency.
    const bool whole = preset == BandPreset::PassAll || preset == BandPreset::StopAll;
    e.applyBandOperation(code, 0, whole ? e.halfSize : 0);
}

void resetMinimumAmplitudes(CAudioEngine& e) {
    e.setAllMinimumAmplitudes(kDefaultMinimumAmplitude);
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

void passBand(CAudioEngine& e, double lowHz, double highHz) {
    const BinRange r = binsForFrequencies(e, lowHz, highHz);
    e.applyBandOperation(kBandPass, r.low, r.high);
}

void stopBand(CAudioEngine& e, double lowHz, double highHz) {
    const BinRange r = binsForFrequencies(e, lowHz, highHz);
    e.applyBandOperation(kBandStop, r.low, r.high);
}

}  // namespace engine
